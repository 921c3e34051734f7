// Image layout and the placement of file contents, for every file-system choice.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "disc/tree_walk.h"
#include "engine/build_job.h"
#include "engine/image_layout.h"
#include "support/bytes_read.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

class EveryLayout : public ::testing::TestWithParam<FsSetting> {};

TEST_P(EveryLayout, EachFileLiesAtItsDataSectorAndTheImageHasItsLaidOutSize) {
  ScratchFolder source("contents");
  source.file("a.txt", 3000, 1);
  source.file("zero.bin", 0, 2);
  source.file("one.bin", 1, 3);
  source.file("nested/one/two/three/odd.dat", 2049, 4);
  source.file("nested/one/sector.dat", 2048, 5);
  source.file("nested/big.dat", 1000001, 6);
  source.folder("empty folder");
  ScratchFolder output("contents-out");
  const NativeString image = output.at("image.iso");

  auto writer = scanned_writer(source, GetParam());
  ASSERT_FALSE(writer->report.failed());
  ASSERT_NE(writer->lay_out(), 0u);
  ASSERT_TRUE(writer->write_image(image, nullptr, nullptr))
      << static_cast<int>(writer->report.error.error);
  EXPECT_EQ(file_size(image), uint64_t{writer->layout.image_sectors} * sector_bytes);
  EXPECT_EQ(writer->layout.image_sectors % image_alignment_sectors, 0u);

  // Every file has its own size, so the size tells which pattern it holds.
  const std::map<uint64_t, uint32_t> seed_of_size = {
      {3000, 1}, {1, 3}, {2049, 4}, {2048, 5}, {1000001, 6}};
  int files_checked = 0;
  walk_directories_depth_first(writer->tree.root, [&](SourceNode& directory) {
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
      if (child->is_directory || child->size == 0) continue;
      const auto bytes = read_bytes(image, writer->layout.file_data_sector(*child) * sector_bytes,
                                    static_cast<size_t>(child->sectors) * sector_bytes);
      const uint32_t seed = seed_of_size.at(child->size);
      const auto file_bytes = static_cast<size_t>(child->size);
      for (size_t i = 0; i < file_bytes; ++i) {
        if (bytes[i] != pattern_byte(seed, i)) {
          ADD_FAILURE() << "byte " << i << " of a file of " << child->size << " bytes";
          return false;
        }
      }
      for (size_t i = file_bytes; i < bytes.size(); ++i) {
        if (bytes[i] != 0) {
          ADD_FAILURE() << "padding byte " << i << " is not zero";
          return false;
        }
      }
      ++files_checked;
    }
    return true;
  });
  EXPECT_EQ(files_checked, 5);
}

TEST_P(EveryLayout, SparseFilesAreCopiedWholeWithoutReadingTheirHoles) {
  constexpr uint64_t mib = 1024 * 1024;
  ScratchFolder source("sparse");
  source.sparse_file("ends_in_hole.bin", 40 * mib, {{0, 3000}, {mib - 10, 5000}, {17 * mib, 9000}},
                     2);
  source.sparse_file("all_hole.bin", 24 * mib, {});
  source.sparse_file("dir/ends_in_data.bin", 3 * mib + 1, {{3 * mib - 2047, 2048}}, 3);
  source.file("dense.bin", 5000, 4);
  ScratchFolder output("sparse-out");
  const NativeString image = output.at("image.iso");

  auto writer = scanned_writer(source, GetParam());
  ASSERT_NE(writer->lay_out(), 0u);
  const uint64_t read_before = bytes_read_by_process();
  ASSERT_TRUE(writer->write_image(image, nullptr, nullptr))
      << static_cast<int>(writer->report.error.error);
  const uint64_t read_by_build = bytes_read_by_process() - read_before;
  int files_checked = 0;
  walk_directories_depth_first(writer->tree.root, [&](SourceNode& directory) {
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
      if (child->is_directory) continue;
      const NativeString path = node_file_path(*writer, *child);
      EXPECT_TRUE(read_bytes(image, writer->layout.file_data_sector(*child) * sector_bytes,
                             static_cast<size_t>(child->size)) ==
                  read_bytes(path, 0, static_cast<size_t>(child->size)))
          << "the image's copy of " << child->size << " bytes";
      ++files_checked;
    }
    return true;
  });
  EXPECT_EQ(files_checked, 4);
#ifdef __linux__
  EXPECT_LT(read_by_build, 4 * mib) << "the holes of 67 MiB of sparse files were read";
#else
  (void)read_by_build;
#endif
}

TEST_P(EveryLayout, EmptyFolderGivesTheSmallestImage) {
  ScratchFolder source("empty");
  ScratchFolder output("empty-out");
  auto writer = scanned_writer(source, GetParam());
  EXPECT_EQ(writer->tree.file_count, 0u);
  EXPECT_EQ(writer->tree.directory_count, 0u);
  const uint32_t sectors = writer->lay_out();
  ASSERT_TRUE(writer->write_image(output.at("e.iso"), nullptr, nullptr));
  const FsSetting& setting = GetParam();
  if (setting.fs_flags == fs_iso9660) {
    EXPECT_EQ(sectors, 32u);
  } else if (setting.udf_revision == udf_revision_250) {
    EXPECT_EQ(writer->layout.metadata_blocks, 32u);
    EXPECT_EQ(writer->layout.data_start, 64u);
    EXPECT_EQ(writer->layout.mirror_entry_sector, 352u);
    EXPECT_EQ(writer->layout.mirror_data_sector, 384u);
    EXPECT_EQ(writer->layout.partition_length, 128u);
    EXPECT_EQ(sectors, 448u);
  } else {
    EXPECT_EQ(sectors % 32, 0u);
    // The closing anchor volume descriptor pointer (tag 2) is the last sector.
    const auto last = read_bytes(output.at("e.iso"), uint64_t{sectors - 1} * sector_bytes, 2);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0], 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, EveryLayout, ::testing::ValuesIn(all_fs_settings),
                         fs_setting_name);

TEST(Layout, WorkedExamplesPlaceTheDataWhereTheFormatsExpectIt) {
  ScratchFolder source("worked");
  source.file("a.txt", 3000);
  source.file("d/f.bin", 100);
  // The plain volume: no name extensions.
  auto iso = scanned_writer(source, all_fs_settings[0]);
  iso->settings.name_extensions = NameExtensions{};
  ASSERT_EQ(iso->lay_out(), 32u);
  EXPECT_EQ(iso->layout.data_start, 4u);
  EXPECT_EQ(iso->layout.file_data_sector(*child_named(*iso->tree.root, u"a.txt")), 22u);
  EXPECT_EQ(
      iso->layout.file_data_sector(*child_named(*child_named(*iso->tree.root, u"d"), u"f.bin")),
      24u);

  auto udf = scanned_writer(source, all_fs_settings[2]);
  udf->lay_out();
  EXPECT_EQ(udf->layout.metadata_blocks, 8u);
  EXPECT_EQ(udf->layout.data_base, 257u);
  SourceNode* a = child_named(*udf->tree.root, u"a.txt");
  SourceNode* d = child_named(*udf->tree.root, u"d");
  EXPECT_EQ(udf->layout.file_data_sector(*a), 265u);
  EXPECT_EQ(a->unique_id, 16u);
  EXPECT_EQ(d->unique_id, 17u);
  EXPECT_EQ(child_named(*d, u"f.bin")->unique_id, 18u);
  EXPECT_EQ(child_named(*d, u"f.bin")->data_offset, 2u);
}

TEST(SourceTree, SectorCountsRoundUpAndKeepSixtyFourBitSizes) {
  ScratchFolder source("sizes");
  source.file("zero", 0);
  source.file("odd", 2049);
  source.sparse_file("huge", 5ull << 30);
  source.text_file(".hidden", "x");
  auto writer = scanned_writer(source, all_fs_settings[3]);
  EXPECT_EQ(child_named(*writer->tree.root, u"zero")->sectors, 0u);
  EXPECT_EQ(child_named(*writer->tree.root, u"odd")->sectors, 2u);
  EXPECT_EQ(child_named(*writer->tree.root, u"huge")->size, 5ull << 30);
  EXPECT_EQ(child_named(*writer->tree.root, u"huge")->sectors, 2621440u);
  EXPECT_NE(child_named(*writer->tree.root, u".hidden"), nullptr);
  EXPECT_EQ(writer->tree.file_count, 4u);
}

TEST(SourceTree, LeavesOutTheThumbnailCacheAndMarksBlurayClips) {
  ScratchFolder source("clips");
  source.text_file("Thumbs.db", "cache");
  source.file("BDMV/STREAM/00001.m2ts", 192 * 10);
  source.file("BDMV/STREAM/0001.m2ts", 10);
  source.file("BDMV/STREAM/notes.txt", 10);
  auto writer = scanned_writer(source, all_fs_settings[1]);
  EXPECT_EQ(child_named(*writer->tree.root, u"Thumbs.db"), nullptr);
  SourceNode* stream = find_stream_folder(*writer);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(child_named(*stream, u"00001.m2ts")->kind, NodeKind::unpaired_clip);
  EXPECT_EQ(child_named(*stream, u"0001.m2ts")->kind, NodeKind::plain);
  EXPECT_EQ(child_named(*stream, u"notes.txt")->kind, NodeKind::plain);
}

}  // namespace
}  // namespace kestrel::test
