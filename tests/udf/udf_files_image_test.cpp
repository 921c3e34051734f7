// The UDF file structure of whole images built in memory from scratch
// folders: block addresses, identifiers, entries and data positions, read
// back with a small independent walker.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/source_tree.h"
#include "support/scanned_tree.h"
#include "tests/udf/udf_tag_checks.h"
#include "udf/udf_tags.h"

namespace kestrel::udf {
namespace {

using test::build_in_memory;
using test::MemoryImage;

using test::expect_valid_tag;
using test::ScratchFolder;
using test::write_file;

struct Identifier {
  uint8_t characteristics;
  std::u16string name;
  uint32_t icb_block;
  uint16_t partition;
  uint32_t unique_id;
  uint8_t compression = 0;  // of the name: 8 or 16 (OSTA CS0)
};

// Reads the identifiers of a directory whose stream starts at `first`
// (partition block, absolute sector `base` + block), checking every tag.
std::vector<Identifier> read_directory(const MemoryImage& image, uint64_t base, uint32_t first,
                                       uint32_t bytes) {
  std::vector<uint8_t> stream(image.sector(base + first), image.sector(base + first) + bytes);
  std::vector<Identifier> entries;
  for (uint32_t at = 0; at < bytes;) {
    const uint8_t* fid = stream.data() + at;
    const uint8_t name_length = fid[19];
    const uint32_t length = (38u + name_length + 3u) & ~3u;
    expect_valid_tag(fid, udf::tag_file_identifier_descriptor, static_cast<uint16_t>(length - 16),
                     first + at / 2048);
    Identifier entry{fid[18], {}, read_le32(fid + 24), read_le16(fid + 28), read_le32(fid + 32)};
    if (name_length > 0) {
      entry.compression = fid[38];
      EXPECT_TRUE(entry.compression == 8 || entry.compression == 16);
      if (entry.compression == 8) {
        for (uint32_t i = 1; i < name_length; ++i) entry.name += static_cast<char16_t>(fid[38 + i]);
      } else {
        for (uint32_t i = 1; i + 1 < name_length; i += 2)
          entry.name += static_cast<char16_t>(read_be16(fid + 38 + i));
      }
    }
    entries.push_back(entry);
    at += length;
  }
  return entries;
}

TEST(UdfFileStructure, WorkedLayoutOfRevision102) {
  ScratchFolder source;
  const std::string a_text(3000, 'A');
  ASSERT_TRUE(write_file(source / KESTREL_NATIVE("a.txt"), a_text));
  ASSERT_TRUE(create_directories(source / KESTREL_NATIVE("d")));
  ASSERT_TRUE(write_file(source / KESTREL_NATIVE("d") + native_separator + KESTREL_NATIVE("f.bin"),
                         std::string(100, 'F')));
  ImageWriter writer(1700000000);
  writer.settings.fs_flags = fs_udf;
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));

  ASSERT_EQ(writer.layout.data_base, 257u);
  EXPECT_EQ(writer.layout.metadata_blocks, 8u);
  const uint64_t base = writer.layout.data_base;
  expect_valid_tag(image.sector(base + 0), udf::tag_file_set_descriptor, 496, 0);
  expect_valid_tag(image.sector(base + 1), udf::tag_terminating_descriptor, 496, 1);
  const uint8_t* root = image.sector(base + 2);
  expect_valid_tag(root, udf::tag_file_entry, 300, 2);
  EXPECT_EQ(root[27], 4);
  EXPECT_EQ(read_le16(root + 48), 2);     // itself and 'd'
  EXPECT_EQ(read_le64(root + 56), 136u);  // 40 + 52 + 44
  EXPECT_EQ(read_le64(root + 160), 0u);
  EXPECT_EQ(read_le32(root + 308), 136u);
  EXPECT_EQ(read_le32(root + 312), 3u);

  const std::vector<Identifier> top = read_directory(image, base, 3, 136);
  ASSERT_EQ(top.size(), 3u);
  EXPECT_EQ(top[0].characteristics, 0x0A);
  EXPECT_EQ(top[0].icb_block, 2u);
  EXPECT_EQ(top[0].unique_id, 0u);
  EXPECT_EQ(top[1].name, u"a.txt");
  EXPECT_EQ(top[1].characteristics, 0);
  EXPECT_EQ(top[1].icb_block, 4u);
  EXPECT_EQ(top[1].unique_id, 16u);
  EXPECT_EQ(top[2].name, u"d");
  EXPECT_EQ(top[2].characteristics, 0x02);
  EXPECT_EQ(top[2].icb_block, 5u);
  EXPECT_EQ(top[2].unique_id, 17u);
  for (const Identifier& entry : top) EXPECT_EQ(entry.partition, 0);

  const uint8_t* a_entry = image.sector(base + 4);
  expect_valid_tag(a_entry, udf::tag_file_entry, 300, 4);
  EXPECT_EQ(read_le64(a_entry + 56), 3000u);
  EXPECT_EQ(read_le64(a_entry + 160), 16u);
  EXPECT_EQ(read_le32(a_entry + 308), 3000u);
  EXPECT_EQ(read_le32(a_entry + 312), 8u);  // partition block 8, sector 265
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.sector(265)), 3000), a_text);

  const uint8_t* d_entry = image.sector(base + 5);
  expect_valid_tag(d_entry, udf::tag_file_entry, 300, 5);
  EXPECT_EQ(read_le64(d_entry + 160), 17u);
  EXPECT_EQ(read_le32(d_entry + 308), 92u);
  EXPECT_EQ(read_le32(d_entry + 312), 6u);
  const std::vector<Identifier> inner = read_directory(image, base, 6, 92);
  ASSERT_EQ(inner.size(), 2u);
  EXPECT_EQ(inner[0].icb_block, 2u);  // the parent entry names the root
  EXPECT_EQ(inner[1].name, u"f.bin");
  EXPECT_EQ(inner[1].icb_block, 7u);
  EXPECT_EQ(inner[1].unique_id, 18u);

  const uint8_t* f_entry = image.sector(base + 7);
  expect_valid_tag(f_entry, udf::tag_file_entry, 300, 7);
  EXPECT_EQ(read_le64(f_entry + 160), 18u);
  EXPECT_EQ(read_le32(f_entry + 312), 10u);
  EXPECT_EQ(image.sector(base + 10)[0], 'F');
}

TEST(UdfFileStructure, DvdVideoNamesReadBackAsTyped) {
  ScratchFolder source;
  ASSERT_TRUE(create_directories(source / KESTREL_NATIVE("VIDEO_TS")));
  ASSERT_TRUE(write_file(
      source / KESTREL_NATIVE("VIDEO_TS") + native_separator + KESTREL_NATIVE("VIDEO_TS.IFO"),
      std::string(100, 'v')));
  const std::u16string latin = u"caf\u00E9.txt";
  const std::u16string other = u"Don\u2019t stop \u20AC.txt";
  for (const std::u16string& name : {latin, other})
    ASSERT_TRUE(write_file(source / native_from_utf16(name), "x"));
  ImageWriter writer(1700000000);
  writer.settings.fs_flags = fs_iso9660 | fs_udf;
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));
  ASSERT_TRUE(writer.tree.dvd_video_mode);
  const std::vector<Identifier> top = read_directory(
      image, writer.layout.data_base, writer.tree.root->fid_block, writer.tree.root->fid_bytes);
  // The DVD folders first; then the other names, in the order found.
  ASSERT_EQ(top.size(), 5u);
  EXPECT_EQ(top[1].name, u"AUDIO_TS");
  EXPECT_EQ(top[2].name, u"VIDEO_TS");
  std::map<std::u16string, uint8_t> compression;
  for (const Identifier& entry : top) compression[entry.name] = entry.compression;
  EXPECT_EQ(compression,
            (std::map<std::u16string, uint8_t>{
                {u"", 0}, {u"AUDIO_TS", 8}, {u"VIDEO_TS", 8}, {latin, 8}, {other, 16}}));
}

TEST(UdfFileStructure, LargeDirectoryAcrossManyBlocksInRevision250) {
  ScratchFolder source;
  // 1500 names of 100 units: 240-byte identifiers, 176 blocks, several
  // windows of the identifier writer and many records across block ends.
  std::vector<std::u16string> names;
  for (int i = 0; i < 1500; ++i) {
    std::string name = std::to_string(i);
    name.insert(0, 4 - name.size(), '0');
    name += std::string(96, 'n');
    names.emplace_back(name.begin(), name.end());
    ASSERT_TRUE(write_file(source / NativeString(name.begin(), name.end()), i == 7 ? "seven" : ""));
  }
  ImageWriter writer(1700000000);
  writer.settings.fs_flags = fs_udf;
  writer.settings.udf_revision = udf_revision_250;
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));

  // The metadata partition starts at sector 320; the root entry is block 2.
  const uint64_t base = 320;
  const uint8_t* root = image.sector(base + 2);
  expect_valid_tag(root, udf::tag_extended_file_entry, 208, 2);
  const uint32_t bytes = read_le32(root + 216);
  ASSERT_EQ(bytes, 40u + 1500 * 240);
  const std::vector<Identifier> entries = read_directory(image, base, read_le32(root + 220), bytes);
  ASSERT_EQ(entries.size(), 1501u);
  EXPECT_EQ(entries[0].partition, 1);
  for (size_t i = 1; i < entries.size(); ++i) {
    ASSERT_EQ(entries[i].name, names[i - 1]);
    ASSERT_EQ(entries[i].partition, 1);  // the metadata partition
  }
  // The one file with data: a long descriptor into the physical partition.
  const uint8_t* entry = image.sector(base + entries[8].icb_block);
  expect_valid_tag(entry, udf::tag_extended_file_entry, 216, entries[8].icb_block);
  EXPECT_EQ(read_le16(entry + 34), 0x21);
  EXPECT_EQ(read_le32(entry + 216), 5u);
  EXPECT_EQ(read_le16(entry + 224), 0);
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(image.sector(288 + read_le32(entry + 220))), 5),
      "seven");
  // The metadata mirror holds the same blocks.
  EXPECT_TRUE(std::equal(image.sector(base), image.sector(base + writer.layout.metadata_blocks),
                         image.sector(writer.layout.mirror_data_sector)));
}

}  // namespace
}  // namespace kestrel::udf
