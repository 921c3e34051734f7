// The volume label store and the volume structure of whole UDF images built
// in memory: recognition sequence, volume descriptor sequences, integrity
// sequence, anchors and, for UDF 2.50, the metadata partition layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "disc/field_writer.h"
#include "engine/source_tree.h"
#include "support/scanned_tree.h"
#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// The volume label as the UDF descriptors record it.
std::array<uint8_t, udf::label_dstring_bytes> label_of(const ImageWriter& writer) {
  uint8_t dstring[udf::label_dstring_bytes];
  udf::make_label_dstring(writer, dstring);
  std::array<uint8_t, udf::label_dstring_bytes> out;
  std::copy(std::begin(dstring), std::end(dstring), out.begin());
  return out;
}

using test::build_in_memory;
using test::MemoryImage;

std::string dstring_text(const uint8_t* field, size_t width) {
  return std::string(reinterpret_cast<const char*>(field + 1), field[width - 1] - 1u);
}

std::u16string units_of(const uint8_t* field, size_t width) {
  std::u16string text;
  for (size_t i = 1; i + 1 < field[width - 1]; i += 2)
    text += static_cast<char16_t>(read_be16(field + i));
  return text;
}

TEST(UdfLabel, DefaultLabelAndBuildTimestamp) {
  ImageWriter writer(1709644029);
  EXPECT_EQ(label_of(writer)[0], 8);
  EXPECT_EQ(dstring_text(label_of(writer).data(), 128), "NEW_DISC");
  uint8_t stamp[12];
  udf::make_udf_timestamp(1709644029, stamp);
  EXPECT_EQ(0, std::memcmp(stamp, writer.settings.build_timestamp, 12));
  // An empty label (or one that is only U+0000) keeps it.
  set_volume_label(writer.settings, u"");
  set_volume_label(writer.settings, std::u16string(3, u'\0'));
  EXPECT_EQ(dstring_text(label_of(writer).data(), 128), "NEW_DISC");
  uint8_t copy[32];
  udf::copy_label_dstring(writer, copy, sizeof copy);
  EXPECT_EQ(dstring_text(copy, 32), "NEW_DISC");
}

TEST(UdfLabel, EightBitLabelsAndTheirShortCopies) {
  ImageWriter writer(0);
  set_volume_label(writer.settings, u"Data");
  const uint8_t data[] = {8, 'D', 'a', 't', 'a'};
  EXPECT_EQ(0, std::memcmp(label_of(writer).data(), data, sizeof data));
  for (size_t i = 5; i < 127; ++i) ASSERT_EQ(label_of(writer)[i], 0) << i;
  EXPECT_EQ(label_of(writer)[127], 5);
  uint8_t copy[32];
  udf::copy_label_dstring(writer, copy, sizeof copy);
  EXPECT_EQ(0, std::memcmp(copy, data, sizeof data));
  EXPECT_EQ(copy[31], 5);

  // 130 Latin letters: 126 kept, 30 in a 32-byte copy.
  std::u16string latin;
  for (int i = 0; i < 130; ++i) latin += static_cast<char16_t>(u'a' + i % 26);
  set_volume_label(writer.settings, latin);
  EXPECT_EQ(label_of(writer)[0], 8);
  EXPECT_EQ(label_of(writer)[127], 127);
  EXPECT_EQ(label_of(writer)[126], 'a' + 125 % 26);
  udf::copy_label_dstring(writer, copy, sizeof copy);
  EXPECT_EQ(copy[31], 31);
  EXPECT_EQ(copy[30], 'a' + 29 % 26);

  // Characters below U+0100 stay one byte each (Latin-1).
  set_volume_label(writer.settings, u"Caf\u00E9");
  EXPECT_EQ(label_of(writer)[0], 8);
  EXPECT_EQ(label_of(writer)[4], 0xE9);
  EXPECT_EQ(label_of(writer)[127], 5);
}

TEST(UdfLabel, SixteenBitLabelsKeepWholeCharacters) {
  ImageWriter writer(0);
  std::u16string greek;
  for (int i = 0; i < 40; ++i) greek += static_cast<char16_t>(u'\u03B1' + i % 24);
  set_volume_label(writer.settings, greek);
  EXPECT_EQ(label_of(writer)[0], 16);
  EXPECT_EQ(label_of(writer)[127], 81);
  EXPECT_EQ(units_of(label_of(writer).data(), 128), greek);
  uint8_t copy[32];
  udf::copy_label_dstring(writer, copy, sizeof copy);
  EXPECT_EQ(copy[0], 16);
  EXPECT_EQ(copy[31], 31);
  EXPECT_EQ(units_of(copy, 32), greek.substr(0, 15));

  // 62 characters and a pair: the pair would be cut at 63 units, so it goes.
  const std::u16string long_label = std::u16string(62, u'\u03A9') + u"\U0001F4BF";
  set_volume_label(writer.settings, long_label);
  EXPECT_EQ(label_of(writer)[127], 125);
  EXPECT_EQ(units_of(label_of(writer).data(), 128), std::u16string(62, u'\u03A9'));

  // A pair at units 15-16 of the label fits the label but not a 32-byte copy.
  const std::u16string pair_at_copy_cut = std::u16string(14, u'\u03A9') + u"\U0001F4BFxyz";
  set_volume_label(writer.settings, pair_at_copy_cut);
  EXPECT_EQ(units_of(label_of(writer).data(), 128), pair_at_copy_cut);
  udf::copy_label_dstring(writer, copy, sizeof copy);
  EXPECT_EQ(units_of(copy, 32), std::u16string(14, u'\u03A9'));
  EXPECT_EQ(copy[31], 29);
}

// Checks the tag of a descriptor: identifier, location, CRC and checksum.
void expect_tag(const uint8_t* descriptor, uint16_t identifier, uint32_t location,
                uint16_t version) {
  SCOPED_TRACE("tag " + std::to_string(identifier) + " at " + std::to_string(location));
  EXPECT_EQ(read_le16(descriptor), identifier);
  EXPECT_EQ(read_le16(descriptor + 2), version);
  EXPECT_EQ(read_le16(descriptor + 6), 1);
  EXPECT_EQ(read_le32(descriptor + 12), location);
  const uint16_t crc_length = read_le16(descriptor + 10);
  EXPECT_EQ(read_le16(descriptor + 8), udf::descriptor_crc(descriptor + 16, crc_length));
  unsigned sum = 0;
  for (int i = 0; i < 16; ++i) sum += i == 4 ? 0 : descriptor[i];
  EXPECT_EQ(descriptor[4], sum % 256);
}

std::string text_at(const uint8_t* p, size_t n) {
  return std::string(reinterpret_cast<const char*>(p), n);
}

void expect_volume_sequence(const MemoryImage& image, uint32_t first, const ImageWriter& writer,
                            uint16_t version) {
  const uint16_t identifiers[] = {1, 4, 5, 6, 7, 8};
  for (uint32_t i = 0; i < 6; ++i) {
    expect_tag(image.sector(first + i), identifiers[i], first + i, version);
    if (i < 5) {
      EXPECT_EQ(read_le32(image.sector(first + i) + 16), i);
    }
  }
  const uint8_t* pvd = image.sector(first);
  EXPECT_EQ(read_le16(pvd + 10), 496);
  char set_identifier[17];
  std::snprintf(set_identifier, sizeof set_identifier, "%08X%08X",
                static_cast<unsigned>(writer.settings.build_time), writer.layout.image_sectors);
  EXPECT_EQ(pvd[72], 8);
  EXPECT_EQ(dstring_text(pvd + 72, 128), set_identifier);
  EXPECT_EQ(text_at(pvd + 345, 12), "*Kestrel 1.5");
  EXPECT_EQ(text_at(pvd + 389, 8), "*Kestrel");
  EXPECT_EQ(0, std::memcmp(pvd + 376, writer.settings.build_timestamp, 12));
  EXPECT_EQ(0, std::memcmp(image.sector(first + 1) + 116, label_of(writer).data(), 128));
  EXPECT_EQ(text_at(image.sector(first + 1) + 21, 12), "*UDF LV Info");
  EXPECT_EQ(read_le16(image.sector(first + 1) + 20 + 24), writer.settings.udf_revision);
  const uint8_t* pd = image.sector(first + 2);
  EXPECT_EQ(read_le32(pd + 188), writer.layout.data_base);
  EXPECT_EQ(read_le32(pd + 192), writer.layout.partition_length);
  EXPECT_EQ(read_le32(pd + 184), 1u);
  const uint8_t* lvd = image.sector(first + 3);
  EXPECT_EQ(read_le32(lvd + 212), 2048u);
  EXPECT_EQ(read_le32(lvd + 248), 4096u);  // file set descriptor extent
  EXPECT_EQ(read_le32(lvd + 432), 4096u);  // integrity sequence extent
  EXPECT_EQ(read_le32(lvd + 436), 64u);
  EXPECT_EQ(lvd[440], 1);
  EXPECT_EQ(lvd[441], 6);
  EXPECT_EQ(read_le16(image.sector(first + 4) + 10), 8);
}

void expect_anchor(const MemoryImage& image, uint32_t sector, uint32_t reserve) {
  const uint8_t* avdp = image.sector(sector);
  expect_tag(avdp, 2, sector, read_le16(avdp + 2));
  EXPECT_EQ(read_le32(avdp + 16), 32768u);
  EXPECT_EQ(read_le32(avdp + 20), 32u);
  EXPECT_EQ(read_le32(avdp + 24), 32768u);
  EXPECT_EQ(read_le32(avdp + 28), reserve);
}

TEST(UdfVolume, EmptyFolderUdf250Layout) {
  const test::ScratchFolder source;
  ImageWriter writer(1709644029);
  writer.settings.fs_flags = fs_udf;
  writer.settings.udf_revision = udf_revision_250;
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));
  EXPECT_EQ(writer.layout.metadata_blocks, 32u);
  EXPECT_EQ(writer.layout.data_start, 64u);
  EXPECT_EQ(writer.layout.mirror_entry_sector, 352u);
  EXPECT_EQ(writer.layout.mirror_data_sector, 384u);
  EXPECT_EQ(writer.layout.partition_length, 128u);
  ASSERT_EQ(image.sectors(), 448u);

  EXPECT_EQ(text_at(image.sector(16) + 1, 5), "BEA01");
  EXPECT_EQ(text_at(image.sector(17) + 1, 5), "NSR03");
  EXPECT_EQ(text_at(image.sector(18) + 1, 5), "TEA01");
  expect_volume_sequence(image, 32, writer, 3);
  expect_volume_sequence(image, 416, writer, 3);
  // The two sequences differ only in their tags.
  for (uint32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(0,
              std::memcmp(image.sector(32 + i) + 16, image.sector(416 + i) + 16, sector_bytes - 16))
        << i;
  }
  const uint8_t* pd = image.sector(34);
  EXPECT_EQ(text_at(pd + 25, 6), "+NSR03");
  const uint8_t* lvd = image.sector(35);
  EXPECT_EQ(read_le16(lvd + 10), 494);
  EXPECT_EQ(read_le16(lvd + 248 + 8), 1);  // the file set lies in the metadata partition
  EXPECT_EQ(read_le32(lvd + 264), 70u);
  EXPECT_EQ(read_le32(lvd + 268), 2u);
  const uint8_t* map = lvd + 446;
  EXPECT_EQ(map[0], 2);
  EXPECT_EQ(map[1], 64);
  EXPECT_EQ(text_at(map + 5, 23), "*UDF Metadata Partition");
  EXPECT_EQ(read_le16(map + 4 + 24), 0x0250);
  EXPECT_EQ(read_le16(map + 36), 1);
  EXPECT_EQ(read_le32(map + 40), 0u);
  EXPECT_EQ(read_le32(map + 44), 64u);
  EXPECT_EQ(read_le32(map + 48), 0xFFFFFFFFu);
  EXPECT_EQ(read_le32(map + 52), 32u);
  EXPECT_EQ(read_le16(map + 56), 32);
  EXPECT_EQ(map[58], 1);

  const uint8_t* lvid = image.sector(64);
  expect_tag(lvid, 9, 64, 3);
  EXPECT_EQ(read_le16(lvid + 10), 126);
  EXPECT_EQ(read_le32(lvid + 28), 1u);
  EXPECT_EQ(read_le64(lvid + 40), 16u);
  EXPECT_EQ(read_le32(lvid + 72), 2u);
  EXPECT_EQ(read_le32(lvid + 76), 46u);
  EXPECT_EQ(read_le32(lvid + 80), 0u);
  EXPECT_EQ(read_le32(lvid + 84), 0u);
  EXPECT_EQ(read_le32(lvid + 88), 128u);
  EXPECT_EQ(read_le32(lvid + 92), 32u);
  EXPECT_EQ(text_at(lvid + 97, 8), "*Kestrel");
  EXPECT_EQ(read_le32(lvid + 128), 0u);  // files
  EXPECT_EQ(read_le32(lvid + 132), 1u);  // directories: the root
  EXPECT_EQ(read_le16(lvid + 136), 0x0250);
  EXPECT_EQ(read_le16(lvid + 140), 0x0250);
  expect_tag(image.sector(65), 8, 65, 3);

  expect_anchor(image, 256, 416);
  expect_anchor(image, 447, 416);

  // Metadata file entry at partition block 0, its mirror at block 64.
  const uint8_t* entry = image.sector(288);
  expect_tag(entry, 266, 0, 3);
  EXPECT_EQ(read_le16(entry + 10), 208);
  EXPECT_EQ(entry[27], 250);
  EXPECT_EQ(read_le64(entry + 56), 65536u);
  EXPECT_EQ(read_le64(entry + 72), 32u);
  EXPECT_EQ(read_le32(entry + 212), 8u);
  EXPECT_EQ(read_le32(entry + 216), 65536u);
  EXPECT_EQ(read_le32(entry + 220), 32u);
  const uint8_t* mirror = image.sector(352);
  expect_tag(mirror, 266, 64, 3);
  EXPECT_EQ(mirror[27], 251);
  EXPECT_EQ(read_le32(mirror + 216), 65536u);
  EXPECT_EQ(read_le32(mirror + 220), 96u);

  // The metadata and its mirror hold the same file structure.
  EXPECT_EQ(0, std::memcmp(image.sector(320), image.sector(384), 32 * sector_bytes));
  expect_tag(image.sector(320), 256, 0, 3);
  // Everything else in the system and gap areas is zero.
  for (uint32_t sector :
       {0u, 15u, 19u, 31u, 38u, 63u, 66u, 255u, 257u, 287u, 289u, 319u, 353u, 383u, 422u, 446u}) {
    const uint8_t* p = image.sector(sector);
    EXPECT_TRUE(std::all_of(p, p + sector_bytes, [](uint8_t b) { return b == 0; })) << sector;
  }
}

TEST(UdfVolume, BridgeImageUdf102Structure) {
  const test::ScratchFolder source;
  ASSERT_TRUE(test::write_file(source / KESTREL_NATIVE("a.txt"), "hello"));
  create_directories(source / KESTREL_NATIVE("sub"));
  ASSERT_TRUE(
      test::write_file(source / KESTREL_NATIVE("sub") + native_separator + KESTREL_NATIVE("b.bin"),
                       std::string(5000, 'x')));
  ImageWriter writer(0x123456789);
  writer.settings.fs_flags = fs_iso9660 | fs_udf;
  writer.settings.udf_revision = udf_revision_102;
  set_volume_label(writer.settings, u"Data");
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));
  ASSERT_EQ(image.sectors(), writer.layout.image_sectors);
  EXPECT_EQ(image.sectors() % 32, 0u);

  EXPECT_EQ(text_at(image.sector(18) + 1, 5), "BEA01");
  EXPECT_EQ(text_at(image.sector(19) + 1, 5), "NSR02");
  EXPECT_EQ(text_at(image.sector(20) + 1, 5), "TEA01");
  EXPECT_EQ(image.sector(19)[6], 1);
  expect_volume_sequence(image, 32, writer, 2);
  expect_volume_sequence(image, 48, writer, 2);
  EXPECT_EQ(dstring_text(image.sector(32) + 24, 32), "Data");
  EXPECT_EQ(text_at(image.sector(34) + 25, 6), "+NSR02");
  EXPECT_EQ(image.sector(34)[24], 0);  // not a DVD-video source
  EXPECT_EQ(read_le32(image.sector(34) + 188), 257u + 2 * writer.iso.primary.path_table_sectors +
                                                   writer.iso.primary.directory_sectors);
  const uint8_t* lvd = image.sector(35);
  EXPECT_EQ(read_le16(lvd + 10), 430);
  EXPECT_EQ(read_le32(lvd + 264), 6u);
  EXPECT_EQ(read_le32(lvd + 268), 1u);
  EXPECT_EQ(read_le16(lvd + 248 + 8), 0);
  EXPECT_EQ(read_le16(lvd + 216 + 24), 0x0102);
  EXPECT_EQ(lvd[216 + 26], 3);

  const uint8_t* lvid = image.sector(64);
  expect_tag(lvid, 9, 64, 2);
  EXPECT_EQ(read_le16(lvid + 10), 118);
  EXPECT_EQ(read_le64(lvid + 40), 16u + 2 + 1);
  EXPECT_EQ(read_le32(lvid + 72), 1u);
  EXPECT_EQ(read_le32(lvid + 84), writer.layout.partition_length);
  EXPECT_EQ(read_le32(lvid + 120), 2u);  // files
  EXPECT_EQ(read_le32(lvid + 124), 2u);  // directories, the root included
  EXPECT_EQ(read_le16(lvid + 128), 0x0102);
  EXPECT_EQ(read_le16(lvid + 132), 0x0102);
  expect_tag(image.sector(65), 8, 65, 2);
  expect_anchor(image, 256, 48);
  expect_anchor(image, static_cast<uint32_t>(image.sectors() - 1), 48);
  // The file set descriptor opens the partition.
  expect_tag(image.sector(writer.layout.data_base), 256, 0, 2);
  expect_tag(image.sector(writer.layout.data_base + 1), 8, 1, 2);
}

TEST(UdfVolume, DvdVideoPartitionContentsAreProtected) {
  const test::ScratchFolder source;
  create_directories(source / KESTREL_NATIVE("VIDEO_TS"));
  ASSERT_TRUE(test::write_file(
      source / KESTREL_NATIVE("VIDEO_TS") + native_separator + KESTREL_NATIVE("VIDEO_TS.IFO"),
      std::string(100, 'v')));
  ImageWriter writer(0);
  writer.settings.fs_flags = fs_iso9660 | fs_udf;
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));
  ASSERT_TRUE(writer.tree.dvd_video_mode);
  EXPECT_EQ(image.sector(34)[24], 2);
  EXPECT_EQ(image.sector(50)[24], 2);
}

}  // namespace
}  // namespace kestrel::udf
