// The UDF allocation plan: how many blocks an entry takes for its
// descriptors, and the pieces of a stereoscopic clip inside its pair's block.
#include "udf/udf_allocation.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrel::udf {
namespace {

TEST(UdfAllocation, EntryBlocksFollowTheDescriptorCount) {
  // 114 descriptors fit in the entry; beyond that it holds 113 and a
  // continuation, each allocation extent block 125 and a continuation, and
  // the last one up to 126.
  const std::pair<uint64_t, uint32_t> cases[] = {{1, 1},   {114, 1}, {115, 2}, {239, 2},
                                                 {240, 3}, {364, 3}, {365, 4}};
  for (const auto& [descriptors, blocks] : cases) {
    EXPECT_EQ(udf::entry_blocks_for_descriptors(descriptors), blocks) << descriptors;
    // The blocks share the descriptors out without a gap, and only the last
    // one has no continuation.
    uint64_t next = 0;
    for (uint32_t index = 0; index < blocks; ++index) {
      const BlockShare share = descriptors_in_block(descriptors, index);
      EXPECT_EQ(share.first, next) << descriptors << " block " << index;
      EXPECT_EQ(share.continues, index + 1 < blocks) << descriptors << " block " << index;
      next += share.count;
    }
    EXPECT_EQ(next, descriptors);
  }
}

// A dependent-view clip whose extents are `extents` sectors long (the base
// clip's one-sector extents between them), and `size` bytes in all.
struct Clip {
  bluray::StereoPair pair;
  SourceNode node{};
  Clip(std::vector<uint32_t> extents, uint64_t size) {
    pair.dependent_extents = std::move(extents);
    pair.base_extents.assign(pair.dependent_extents.size(), 1);
    node.kind = NodeKind::dependent_view_clip;
    node.stereo_pair = &pair;
    node.dependent_node = node.base_node = &node;
    node.size = size;
    node.data_offset = 1000;
    node.extent_count =
        static_cast<uint32_t>(udf::plan_allocation(udf_revision_250, node).descriptors);
  }
  std::vector<udf::AllocationPiece> pieces() const {
    std::vector<udf::AllocationPiece> all;
    for_each_piece(udf_revision_250, node, node.extent_count,
                   [&](const AllocationPiece& piece) { all.push_back(piece); });
    return all;
  }
};

TEST(UdfAllocation, InterleavedClipsAreCutIntoPiecesAndEndWithTheirLastByte) {
  // An extent longer than a piece is cut, the full piece first; the base
  // clip's extent lies between this clip's extents.
  const Clip long_extent({udf::udf_piece_sectors + 1, 2},
                         (uint64_t{udf::udf_piece_sectors} + 3) * 2048);
  EXPECT_EQ(long_extent.node.extent_count, 3u);
  const auto pieces = long_extent.pieces();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].block, 1000u);
  EXPECT_EQ(pieces[0].length_bytes, udf::udf_piece_bytes);
  EXPECT_EQ(pieces[1].block, 1000u + udf::udf_piece_sectors);
  EXPECT_EQ(pieces[1].length_bytes, 2048u);
  EXPECT_EQ(pieces[2].block, 1000u + udf::udf_piece_sectors + 1 + 1);
  EXPECT_EQ(pieces[2].length_bytes, 2u * 2048);

  // A clip that ends 100 bytes into its last sector: only its last piece is
  // shorter, by exactly those bytes.
  const Clip short_tail({2, 3}, 5 * 2048 - 100);
  const auto tail = short_tail.pieces();
  ASSERT_EQ(tail.size(), 2u);
  EXPECT_EQ(tail[0].length_bytes, 2u * 2048);
  EXPECT_EQ(tail[1].length_bytes, 3u * 2048 - 100);
}

}  // namespace
}  // namespace kestrel::udf
