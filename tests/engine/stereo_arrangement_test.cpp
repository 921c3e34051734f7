// The stereoscopic arrangement of a Blu-ray stream folder and the interleaved
// placement of each pair's data.
#include "engine/stereo_arrangement.h"

#include <gtest/gtest.h>

#include "disc/field_writer.h"
#include "engine/image_layout.h"
#include "support/scanned_tree.h"
#include "udf/udf_allocation.h"

namespace kestrel::test {
namespace {

const FsSetting bluray{"bluray", fs_udf, udf_revision_250, fs_code_bluray};

// A clip's pieces as the UDF entry records them, each block counted from the
// start of the pair's interleaved block.
std::vector<udf::AllocationPiece> pieces_of(const SourceNode& clip) {
  std::vector<udf::AllocationPiece> pieces;
  udf::for_each_piece(
      udf_revision_250, clip, clip.extent_count, [&](const udf::AllocationPiece& piece) {
        pieces.push_back({piece.block - clip.dependent_node->data_offset, piece.length_bytes});
      });
  return pieces;
}

bluray::StereoPair make_pair(uint16_t base, uint16_t dependent, std::vector<uint32_t> base_extents,
                             std::vector<uint32_t> dependent_extents) {
  bluray::StereoPair pair;
  pair.base_clip = base;
  pair.dependent_clip = dependent;
  for (uint32_t length : base_extents) pair.base_sectors += length;
  for (uint32_t length : dependent_extents) pair.dependent_sectors += length;
  pair.base_extents = std::move(base_extents);
  pair.dependent_extents = std::move(dependent_extents);
  return pair;
}

// A writer scanned with the given pairs handed in as the analysis would.
std::unique_ptr<ImageWriter> scan_with_pairs(const ScratchFolder& source,
                                             bluray::StereoPairList pairs) {
  auto writer = std::make_unique<ImageWriter>(1700000000);
  writer->settings.fs_flags = bluray.fs_flags;
  writer->settings.udf_revision = bluray.udf_revision;
  writer->tree.source_folder = source.path() + native_separator;
  writer->stereo_pairs = std::make_unique<bluray::StereoPairList>(std::move(pairs));
  scan_source(*writer);
  return writer;
}

struct StereoSource {
  ScratchFolder folder{"stereo"};
  StereoSource() {
    folder.file("BDMV/STREAM/00001.m2ts", 5 * 2048, 1);
    folder.file("BDMV/STREAM/00002.m2ts", 7 * 2048, 2);
    folder.file("BDMV/STREAM/00003.m2ts", 4096, 3);
    folder.file("BDMV/STREAM/SSIF/00009.ssif", 100, 4);
    folder.file("BDMV/index.bdmv", 100, 5);
  }
};

TEST(StereoArrangement, MarksThePairAndAddsOneInterleavedFile) {
  StereoSource source;
  auto writer = scan_with_pairs(source.folder, {make_pair(1, 2, {2, 3}, {3, 4})});
  ASSERT_FALSE(writer->report.failed());
  SourceNode* stream = find_stream_folder(*writer);
  SourceNode* base = child_named(*stream, u"00001.m2ts");
  SourceNode* dependent = child_named(*stream, u"00002.m2ts");
  EXPECT_EQ(base->kind, NodeKind::base_view_clip);
  EXPECT_EQ(dependent->kind, NodeKind::dependent_view_clip);
  // Clips in no pair are marked only when there is no stereoscopic arrangement.
  EXPECT_EQ(child_named(*stream, u"00003.m2ts")->kind, NodeKind::plain);
  ASSERT_NE(writer->tree.stereo_folder, nullptr);
  // The source's own SSIF folder gave way to the interleaved files, which
  // the build says.
  EXPECT_EQ(child_named(*writer->tree.stereo_folder, u"00009.ssif"), nullptr);
  ASSERT_EQ(writer->report.warnings.size(), 1u);
  EXPECT_EQ(writer->report.warnings[0].warning, BuildWarning::stereo_folder_replaced);
  EXPECT_EQ(writer->report.warnings[0].path,
            source.folder.at("BDMV/STREAM/SSIF") + native_separator);
  SourceNode* virtual_file = child_named(*writer->tree.stereo_folder, u"00001.ssif");
  ASSERT_NE(virtual_file, nullptr);
  EXPECT_EQ(virtual_file->size, 12u * 2048);
  EXPECT_EQ(writer->tree.file_count, 5u);       // four source files and the interleaved file
  EXPECT_EQ(writer->tree.directory_count, 3u);  // BDMV, STREAM, SSIF

  writer->lay_out();
  EXPECT_EQ(virtual_file->data_offset, dependent->data_offset);
  EXPECT_EQ(base->data_offset, dependent->data_offset + 3);
  const auto dependent_pieces = pieces_of(*dependent);
  const auto base_pieces = pieces_of(*base);
  ASSERT_EQ(dependent_pieces.size(), 2u);
  ASSERT_EQ(base_pieces.size(), 2u);
  EXPECT_EQ(dependent_pieces[0].block, 0u);
  EXPECT_EQ(base_pieces[0].block, 3u);
  EXPECT_EQ(dependent_pieces[1].block, 5u);
  EXPECT_EQ(base_pieces[1].block, 9u);
  EXPECT_EQ(base_pieces[1].length_bytes, 3u * 2048);
}

TEST(StereoArrangement, PairsThatDoNotAddUpFallBackWithoutChangingTheCounts) {
  struct Broken {
    const char* what;
    bluray::StereoPairList pairs;
    StereoFailure failure;  // of the first pair
    uint16_t faulty_clip;
    const char* path;  // of its warning, below the source folder
  };
  const Broken cases[] = {
      {"base extents short of the clip",
       {make_pair(1, 2, {2, 2}, {3, 4})},
       StereoFailure::stream_size_mismatch,
       1,
       "BDMV/STREAM/00001.m2ts"},
      {"more base than dependent extents",
       {make_pair(1, 2, {1, 1, 3}, {3, 4})},
       StereoFailure::start_points_unusable,
       1,
       "BDMV/CLIPINF/00001.clpi"},
      {"missing clip",
       {make_pair(1, 4, {2, 3}, {3, 4})},
       StereoFailure::stream_missing,
       4,
       "BDMV/STREAM/00004.m2ts"},
      {"a clip in two pairs",
       {make_pair(1, 2, {2, 3}, {3, 4}), make_pair(3, 2, {2}, {3, 4})},
       StereoFailure::clip_in_two_pairs,
       2,
       "BDMV/STREAM/00002.m2ts"},
      {"an empty extent",
       {make_pair(1, 2, {5, 0}, {3, 4})},
       StereoFailure::start_points_unusable,
       1,
       "BDMV/CLIPINF/00001.clpi"},
      {"no dependent extents",
       {make_pair(1, 2, {5}, {})},
       StereoFailure::stream_size_mismatch,
       2,
       "BDMV/STREAM/00002.m2ts"},
  };
  for (const Broken& broken : cases) {
    SCOPED_TRACE(broken.what);
    StereoSource source;
    auto writer = scan_with_pairs(source.folder, broken.pairs);
    EXPECT_EQ(writer->tree.stereo_folder, nullptr);
    EXPECT_EQ(writer->tree.file_count, 5u);
    EXPECT_EQ(writer->tree.directory_count, 3u);
    SourceNode* stream = find_stream_folder(*writer);
    EXPECT_NE(child_named(*stream, u"SSIF"), nullptr);  // the source's own folder stays
    for (SourceNode* child = stream->first_child; child != nullptr; child = child->next) {
      if (!child->is_directory) {
        EXPECT_EQ(child->kind, NodeKind::unpaired_clip);
        EXPECT_EQ(child->icb_sectors, 1u);
      }
    }
    // Every title is named, the first with what failed.
    ASSERT_EQ(writer->report.warnings.size(), broken.pairs.size());
    const BuildWarningEntry& first = writer->report.warnings[0];
    EXPECT_EQ(first.warning, BuildWarning::stereo_title_not_interleaved);
    EXPECT_EQ(first.stereo.reason, broken.failure);
    EXPECT_EQ(first.stereo.faulty_clip, broken.faulty_clip);
    EXPECT_EQ(first.stereo.base_clip, broken.pairs[0].base_clip);
    EXPECT_EQ(first.path, source.folder.at(broken.path));
  }
}

TEST(StereoArrangement, OneTitleThatFailsKeepsTheOthersFromInterleavingAndSaysSo) {
  StereoSource source;
  source.folder.file("BDMV/STREAM/00004.m2ts", 3 * 2048, 6);
  // 00003 holds 2 sectors, not the 3 its clip information states.
  auto writer =
      scan_with_pairs(source.folder, {make_pair(1, 2, {2, 3}, {3, 4}), make_pair(3, 4, {3}, {3})});
  EXPECT_EQ(writer->tree.stereo_folder, nullptr);
  ASSERT_EQ(writer->report.warnings.size(), 2u);
  EXPECT_EQ(writer->report.warnings[0].stereo.reason, StereoFailure::other_title_failed);
  EXPECT_EQ(writer->report.warnings[0].stereo.dependent_clip, 2);
  const StereoTitleNote& size = writer->report.warnings[1].stereo;
  EXPECT_EQ(size.reason, StereoFailure::stream_size_mismatch);
  EXPECT_EQ(size.faulty_clip, 3);
  EXPECT_EQ(size.stated_sectors, 3u);
  EXPECT_EQ(size.found_sectors, 2u);
}

}  // namespace
}  // namespace kestrel::test

namespace kestrel::test {
namespace {

// Follows an extended file entry's long allocation descriptors through its
// allocation extent blocks, as a reader would.
std::vector<std::pair<uint32_t, uint32_t>> read_long_descriptors(const std::vector<uint8_t>& image,
                                                                 uint64_t metadata_start,
                                                                 uint32_t entry_block) {
  std::vector<std::pair<uint32_t, uint32_t>> extents;
  const uint8_t* entry = image.data() + (metadata_start + entry_block) * 2048;
  uint32_t length = read_le32(entry + 212);
  const uint8_t* descriptors = entry + 216;
  for (int guard = 0; guard < 100; ++guard) {
    bool continued = false;
    for (uint32_t offset = 0; offset < length; offset += 16) {
      const uint32_t extent = read_le32(descriptors + offset);
      const uint32_t block = read_le32(descriptors + offset + 4);
      if ((extent >> 30) == 3) {
        const uint8_t* next = image.data() + (metadata_start + block) * 2048;
        EXPECT_EQ(read_le16(next), 258);  // allocation extent descriptor
        EXPECT_EQ(read_le32(next + 12), block);
        length = read_le32(next + 20);
        descriptors = next + 24;
        continued = true;
        break;
      }
      extents.emplace_back(block, extent);
    }
    if (!continued) break;
  }
  return extents;
}

TEST(StereoArrangement, ManyExtentsContinueInAllocationExtentBlocks) {
  ScratchFolder source("stereo-many");
  constexpr uint32_t extents = 130;
  source.file("BDMV/STREAM/00001.m2ts", extents * 2048, 1);
  source.file("BDMV/STREAM/00002.m2ts", extents * 2 * 2048, 2);
  auto writer = scan_with_pairs(source, {make_pair(1, 2, std::vector<uint32_t>(extents, 1),
                                                   std::vector<uint32_t>(extents, 2))});
  ASSERT_NE(writer->tree.stereo_folder, nullptr);
  SourceNode* stream = find_stream_folder(*writer);
  SourceNode* base = child_named(*stream, u"00001.m2ts");
  SourceNode* dependent = child_named(*stream, u"00002.m2ts");
  writer->lay_out();
  EXPECT_EQ(base->icb_sectors, 2u);
  EXPECT_EQ(dependent->icb_sectors, 2u);
  MemorySectorOutput image;
  ASSERT_TRUE(writer->write_sequence(image, nullptr, nullptr));

  const uint64_t block_start = writer->layout.data_start + dependent->data_offset;
  const auto dependent_extents = read_long_descriptors(image.bytes, 320, dependent->icb_block);
  const auto base_extents = read_long_descriptors(image.bytes, 320, base->icb_block);
  ASSERT_EQ(dependent_extents.size(), extents);
  ASSERT_EQ(base_extents.size(), extents);
  for (uint32_t i = 0; i < extents; ++i) {
    EXPECT_EQ(dependent_extents[i].first, block_start + 3 * i);
    EXPECT_EQ(dependent_extents[i].second, 2u * 2048);
    EXPECT_EQ(base_extents[i].first, block_start + 3 * i + 2);
    EXPECT_EQ(base_extents[i].second, 2048u);
  }
  // The block holds D0, B0, D1, B1, ...: the base clip's second sector of
  // data follows the dependent clip's second extent.
  const uint8_t* block = image.bytes.data() + (288 + block_start) * 2048;
  EXPECT_EQ(block[2 * 2048], pattern_byte(1, 0));
  EXPECT_EQ(block[5 * 2048], pattern_byte(1, 2048));
  EXPECT_EQ(block[3 * 2048], pattern_byte(2, 2 * 2048));
}

}  // namespace
}  // namespace kestrel::test
