// Files stored once: every name of a hard-linked file, and with -dedupe every
// file of equal contents, point at one copy of the data in every layout; the
// UDF entry of a hard-linked file counts its names; the equality of contents
// is decided by their bytes, reading only files that share a size; and the
// files whose places a disc format fixes keep copies of their own.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/image_layout.h"
#include "support/bytes_read.h"
#include "support/scanned_tree.h"
#ifdef KESTREL_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

namespace kestrel::test {
namespace {

constexpr uint64_t clip_bytes = 300000;
constexpr uint64_t photo_bytes = 70000;

// One file under three names, two copies of a photo, and a file of the
// photo's size with other bytes.
void make_shared_tree(const ScratchFolder& source) {
  source.file("a/clip.bin", clip_bytes, 1);
  source.hard_link("a/clip.bin", "b/clip link.bin");
  source.hard_link("a/clip.bin", "third.bin");
  source.file("photos/one.jpg", photo_bytes, 2);
  source.file("backup/one copy.jpg", photo_bytes, 2);
  source.file("other.jpg", photo_bytes, 3);
}

SourceNode& node_at(const ImageWriter& writer, std::initializer_list<std::u16string_view> path) {
  const SourceNode* node = writer.tree.root;
  for (std::u16string_view name : path) {
    node = node == nullptr ? nullptr : child_named(*node, name);
  }
  EXPECT_NE(node, nullptr);
  return *const_cast<SourceNode*>(node);
}

// The sector of UDF file structure block `block`: in the partition (1.02), or
// in the metadata file, which starts one 32-sector unit into the partition (2.50).
uint64_t udf_structure_sector(const ImageWriter& writer, uint32_t block) {
  if (writer.settings.udf_revision >= udf_revision_250)
    return uint64_t{udf250_partition_start} + image_alignment_sectors + block;
  return writer.layout.data_base + block;
}

uint16_t udf_link_count(const MemoryImage& image, uint64_t sector) {
  constexpr size_t link_count_offset = 48;  // ECMA-167 4/14.9, the same in 4/14.17
  const uint8_t* entry = image.sector(sector);
  return static_cast<uint16_t>(entry[link_count_offset] | entry[link_count_offset + 1] << 8);
}

bool holds_pattern(const MemoryImage& image, const ImageWriter& writer, const SourceNode& file,
                   uint32_t seed) {
  const uint8_t* data = image.sector(writer.layout.file_data_sector(file));
  for (uint64_t i = 0; i < file.size; ++i) {
    if (data[i] != pattern_byte(seed, i)) return false;
  }
  return true;
}

class SharedData : public ::testing::TestWithParam<FsSetting> {
 protected:
  SharedData() { make_shared_tree(source); }
  ScratchFolder source{"shared"};
};

TEST_P(SharedData, HardLinksAndEqualFilesLieInOneCopyUnderEveryName) {
  ImageWriter writer(1700000000);
  writer.settings.fs_flags = GetParam().fs_flags;
  writer.settings.udf_revision = GetParam().udf_revision;
  writer.store_equal_files_once = true;
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));

  const SourceNode& clip = node_at(writer, {u"a", u"clip.bin"});
  const SourceNode& link = node_at(writer, {u"b", u"clip link.bin"});
  const SourceNode& third = node_at(writer, {u"third.bin"});
  const SourceNode& photo = node_at(writer, {u"photos", u"one.jpg"});
  const SourceNode& copy = node_at(writer, {u"backup", u"one copy.jpg"});
  const SourceNode& other = node_at(writer, {u"other.jpg"});
  EXPECT_EQ(writer.shared.hard_links, 2u);
  EXPECT_EQ(writer.shared.equal_files, 1u);
  EXPECT_EQ(writer.shared.saved_bytes, 2 * clip_bytes + photo_bytes);
  // The data area holds the clip once and each of the two photos once.
  EXPECT_EQ(writer.layout.data_sectors,
            sectors_for_bytes(clip_bytes) + 2 * sectors_for_bytes(photo_bytes));

  // The first name in data placement order holds the copy; the others,
  // whatever the order of the scan, point at it.
  const SourceNode& clip_copy = clip.shares_data_of == nullptr ? clip : *clip.shares_data_of;
  for (const SourceNode* name : {&clip, &link, &third}) {
    EXPECT_EQ(writer.layout.file_data_sector(*name), writer.layout.file_data_sector(clip_copy));
    EXPECT_TRUE(holds_pattern(image, writer, *name, 1));
  }
  EXPECT_EQ(writer.layout.file_data_sector(photo), writer.layout.file_data_sector(copy));
  EXPECT_TRUE(holds_pattern(image, writer, copy, 2));
  EXPECT_NE(writer.layout.file_data_sector(other), writer.layout.file_data_sector(photo));
  EXPECT_TRUE(holds_pattern(image, writer, other, 3));

  if (writer.settings.fs_flags & fs_udf) {
    // One entry names the clip three times; the equal photos are two files.
    EXPECT_EQ(link.icb_block, clip_copy.icb_block);
    EXPECT_EQ(third.icb_block, clip_copy.icb_block);
    EXPECT_EQ(link.unique_id, clip_copy.unique_id);
    EXPECT_EQ(udf_link_count(image, udf_structure_sector(writer, clip_copy.icb_block)), 3);
    EXPECT_NE(photo.icb_block, copy.icb_block);
    EXPECT_EQ(udf_link_count(image, udf_structure_sector(writer, copy.icb_block)), 1);
  }
}

TEST_P(SharedData, EqualFilesKeepTheirOwnCopiesUnlessAskedToShare) {
  ImageWriter writer(1700000000);
  writer.settings.fs_flags = GetParam().fs_flags;
  writer.settings.udf_revision = GetParam().udf_revision;
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));
  EXPECT_EQ(writer.shared.hard_links, 2u);
  EXPECT_EQ(writer.shared.equal_files, 0u);
  EXPECT_EQ(writer.layout.data_sectors,
            sectors_for_bytes(clip_bytes) + 3 * sectors_for_bytes(photo_bytes));
  const SourceNode& copy = node_at(writer, {u"backup", u"one copy.jpg"});
  EXPECT_NE(writer.layout.file_data_sector(copy),
            writer.layout.file_data_sector(node_at(writer, {u"photos", u"one.jpg"})));
  EXPECT_TRUE(holds_pattern(image, writer, copy, 2));
}

INSTANTIATE_TEST_SUITE_P(Layouts, SharedData, ::testing::ValuesIn(all_fs_settings),
                         fs_setting_name);

// Where the listing does not count a file's names (Windows), the layout asks
// for the identity of each file that shares its size with another.
TEST(SharedDataIdentity, FilesAskedForTheirIdentityAreJoinedAsTheListingWouldJoinThem) {
  ScratchFolder source("identity");
  make_shared_tree(source);
  auto writer = scanned_writer(source, all_fs_settings[3]);
#ifndef _WIN32
  ASSERT_EQ(writer->linked_files.size(), 3u);
#endif
  writer->linked_files.clear();
  writer->link_counts_unknown = true;
  ASSERT_NE(writer->lay_out(), 0u);
  EXPECT_EQ(writer->shared.hard_links, 2u);
  const SourceNode& link = node_at(*writer, {u"b", u"clip link.bin"});
  EXPECT_EQ(link.data_offset, node_at(*writer, {u"a", u"clip.bin"}).data_offset);
  EXPECT_EQ(link.icb_block, node_at(*writer, {u"a", u"clip.bin"}).icb_block);
}

// Files of one size are read only as far as it takes to tell them apart, and
// are joined only when every byte agrees.
TEST(EqualContents, OnlyFilesSharingASizeAreReadAndOnlyEqualBytesAreJoined) {
  constexpr uint64_t mib = 1024 * 1024;
  ScratchFolder source("equal");
  for (int i = 0; i < 20; ++i) source.file("sizes/f" + std::to_string(i), 70000 + i, 7);
  // Below 64 KiB equal files are not looked for: a shared copy would save
  // little, and reading them would cost much in a tree of small files.
  source.file("tiny/a", 3000, 8);
  source.file("tiny/b", 3000, 8);
  // Equal sizes, different from the first byte on.
  source.file("early/a", 8 * mib, 1);
  source.file("early/b", 8 * mib, 2);
  // Equal sizes and equal first 64 KiB, different in the last byte: two
  // files, then three, and three equal ones among them.
  source.file("late/two/a", 3 * mib + 5, 3);
  source.file("late/two/b", 3 * mib + 5, 3);
  source.file("late/three/a", 2 * mib, 4);
  source.file("late/three/b", 2 * mib, 4);
  source.file("late/three/c", 2 * mib, 4);
  source.file("late/three/d", 2 * mib, 4);
  for (const char* changed : {"late/two/b", "late/three/b"}) {
    std::fstream out(std::filesystem::path(source.at(changed)),
                     std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(-1, std::ios::end);
    out.put('\x5A');
  }

  // Nothing shares a size with another in "sizes": nothing is read there.
  ScratchFolder sizes_only("equal-sizes");
  for (int i = 0; i < 20; ++i) sizes_only.file("f" + std::to_string(i), 70000 + i, 7);
  sizes_only.file("tiny/a", 3000, 8);
  sizes_only.file("tiny/b", 3000, 8);
  for (const bool dedupe : {false, true}) {
    auto writer = scanned_writer(sizes_only, all_fs_settings[1]);
    writer->store_equal_files_once = dedupe;
#ifdef KESTREL_FAULT_INJECTION
    fault_injection::reset();
#endif
    const uint64_t before = bytes_read_by_process();
    ASSERT_NE(writer->lay_out(), 0u);
    // Reading /proc/self/io is itself a read of a few hundred bytes.
    EXPECT_LT(bytes_read_by_process() - before, 1024u) << "dedupe " << dedupe;
#ifdef KESTREL_FAULT_INJECTION
    EXPECT_EQ(fault_injection::call_count(fault_injection::FileOperation::open), 0u);
    EXPECT_EQ(fault_injection::call_count(fault_injection::FileOperation::read), 0u);
#endif
  }

  auto writer = scanned_writer(source, all_fs_settings[3]);
  writer->store_equal_files_once = true;
  const uint64_t before = bytes_read_by_process();
  ASSERT_NE(writer->lay_out(), 0u);
  const uint64_t read = bytes_read_by_process() - before;
  const auto shares = [&](std::initializer_list<std::u16string_view> path) {
    return node_at(*writer, path).shares_data_of != nullptr;
  };
  EXPECT_FALSE(shares({u"early", u"b"}));
  EXPECT_FALSE(shares({u"tiny", u"a"}) || shares({u"tiny", u"b"}));
  EXPECT_FALSE(shares({u"late", u"two", u"b"}));
  EXPECT_FALSE(shares({u"late", u"three", u"b"}));
  // Of the three equal files, the first the scan listed holds the copy.
  EXPECT_EQ(int{shares({u"late", u"three", u"a"})} + int{shares({u"late", u"three", u"c"})} +
                int{shares({u"late", u"three", u"d"})},
            2);
  EXPECT_EQ(writer->shared.equal_files, 2u);
#ifdef __linux__
  // "early": the first 64 KiB of each; "late": the two files compared once,
  // the four hashed and the three equal ones compared with the first.
  EXPECT_LT(read, 2 * 64 * 1024 + 2 * (3 * mib + 5) + 4 * 2 * mib + 4 * 2 * mib + 8 * 64 * 1024)
      << "more was read than it takes to tell the files apart";
#else
  (void)read;
#endif
}

// The files of a DVD title set keep their own places in DVD order, even the
// backups that equal the information files; a copy of a title's object
// outside the DVD folders points at it.
TEST(SharedDataDiscFolders, DvdFilesKeepTheirCopiesAndOrderWhileOthersPointAtThem) {
  ScratchFolder source("shared-dvd");
  source.file("VIDEO_TS/VIDEO_TS.IFO", 70000, 1);
  source.file("VIDEO_TS/VIDEO_TS.BUP", 70000, 1);
  source.file("VIDEO_TS/VTS_01_0.IFO", 72000, 2);
  source.file("VIDEO_TS/VTS_01_1.VOB", 500000, 3);
  source.file("VIDEO_TS/VTS_01_0.BUP", 72000, 2);
  source.hard_link("VIDEO_TS/VTS_01_1.VOB", "extra/title link.vob");
  source.file("extra/title copy.vob", 500000, 3);
  auto writer = scanned_writer(source, all_fs_settings[1]);
  ASSERT_TRUE(writer->tree.dvd_video_mode);
  writer->store_equal_files_once = true;
  ASSERT_NE(writer->lay_out(), 0u);

  // VIDEO_TS.IFO, its backup, VTS_01_0.IFO, VTS_01_1.VOB, its backup: each in
  // a run of its own, one after the other.
  const SourceNode& video_ts = node_at(*writer, {u"VIDEO_TS"});
  uint32_t next = 0;
  for (const SourceNode* file = video_ts.first_child; file != nullptr; file = file->next) {
    EXPECT_EQ(file->shares_data_of, nullptr);
    EXPECT_EQ(file->data_offset, next);
    next += file->sectors;
  }
  const SourceNode& vob = node_at(*writer, {u"VIDEO_TS", u"VTS_01_1.VOB"});
  EXPECT_EQ(node_at(*writer, {u"extra", u"title link.vob"}).data_offset, vob.data_offset);
  EXPECT_EQ(node_at(*writer, {u"extra", u"title copy.vob"}).data_offset, vob.data_offset);
  EXPECT_EQ(writer->layout.data_sectors, next);
}

// In a Blu-ray folder the navigation files and their backups keep their own
// copies; an equal file outside points at one of them, whatever the order in
// which the folders are listed.
TEST(SharedDataDiscFolders, BlurayBackupsKeepTheirCopiesAndEqualFilesOutsidePointAtThem) {
  ScratchFolder source("shared-bluray");
  for (const char* name : {"AA/first.clpi", "BDMV/CLIPINF/00001.clpi",
                           "BDMV/BACKUP/CLIPINF/00001.clpi", "ZZ/last.clpi"})
    source.file(name, 70000, 9);
  source.file("BDMV/index.bdmv", 100, 10);
  auto writer = scanned_writer(source, all_fs_settings[3]);
  writer->store_equal_files_once = true;
  ASSERT_NE(writer->lay_out(), 0u);
  const SourceNode& clip_info = node_at(*writer, {u"BDMV", u"CLIPINF", u"00001.clpi"});
  const SourceNode& backup = node_at(*writer, {u"BDMV", u"BACKUP", u"CLIPINF", u"00001.clpi"});
  EXPECT_EQ(clip_info.shares_data_of, nullptr);
  EXPECT_EQ(backup.shares_data_of, nullptr);
  EXPECT_NE(clip_info.data_offset, backup.data_offset);
  for (const SourceNode* outside :
       {&node_at(*writer, {u"AA", u"first.clpi"}), &node_at(*writer, {u"ZZ", u"last.clpi"})}) {
    EXPECT_TRUE(outside->shares_data_of == &clip_info || outside->shares_data_of == &backup);
  }
}

// A boot file whose copy carries a boot information table shares with no
// other name: the other names hold the file's own bytes.
TEST(SharedDataBoot, ABootFileWithItsTableKeepsItsCopyApartFromItsOtherNames) {
  ScratchFolder source("shared-boot");
  source.file("boot/loader.bin", 9001, 5);
  source.hard_link("boot/loader.bin", "loader copy.bin");
  ImageWriter writer(1700000000);
  writer.settings.fs_flags = fs_iso9660;
  writer.boot_request =
      BootSetup{{BootFile{BootPlatform::bios, native("boot/loader.bin"), 4, true}}};
  MemoryImage image;
  ASSERT_TRUE(build_in_memory(writer, source, image));
  const SourceNode& copy = node_at(writer, {u"loader copy.bin"});
  EXPECT_EQ(copy.shares_data_of, nullptr);
  EXPECT_TRUE(holds_pattern(image, writer, copy, 5));
  EXPECT_EQ(writer.shared.hard_links, 0u);
}

}  // namespace
}  // namespace kestrel::test
