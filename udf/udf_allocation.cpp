#include "udf/udf_allocation.h"

namespace kestrel::udf {
namespace {

// With a continuation, the last descriptor slot of a block names the next
// block instead of data.
constexpr uint64_t entry_descriptors_before_continuation = extended_entry_descriptors - 1;
constexpr uint64_t block_descriptors_before_continuation = extent_block_descriptors - 1;

uint64_t interleaved_descriptors(const SourceNode& clip) {
  const bluray::StereoPair& pair = *clip.stereo_pair;
  const auto& extents =
      clip.kind == NodeKind::dependent_view_clip ? pair.dependent_extents : pair.base_extents;
  uint64_t count = 0;
  for (uint32_t length : extents)
    count += (uint64_t{length} + udf_piece_sectors - 1) / udf_piece_sectors;
  return count;
}

}  // namespace

bool has_interleaved_extents(uint16_t udf_revision, const SourceNode& node) {
  return udf_revision >= udf_revision_250 && node.stereo_pair != nullptr &&
         node.dependent_node != nullptr &&
         (node.kind == NodeKind::base_view_clip || node.kind == NodeKind::dependent_view_clip);
}

AllocationPlan plan_allocation(uint16_t udf_revision, const SourceNode& node) {
  AllocationPlan plan;
  if (node.is_directory) {
    plan.descriptors = 1;  // the identifiers, one short descriptor
    return plan;
  }
  if (has_interleaved_extents(udf_revision, node)) {
    plan.descriptors = interleaved_descriptors(node);
    plan.entry_blocks = entry_blocks_for_descriptors(plan.descriptors);
    return plan;
  }
  // Ordinary files have no continuation blocks: their one entry bounds them.
  plan.descriptors = udf_piece_count(node.size);
  plan.fits = plan.descriptors <= (udf_revision >= udf_revision_250 ? extended_entry_descriptors
                                                                    : file_entry_descriptors);
  return plan;
}

uint32_t entry_blocks_for_descriptors(uint64_t descriptors) {
  uint32_t blocks = 1;
  while (descriptors_in_block(descriptors, blocks - 1).continues) ++blocks;
  return blocks;
}

BlockShare descriptors_in_block(uint64_t descriptors, uint32_t index) {
  BlockShare share;
  if (index == 0) {
    share.continues = descriptors > extended_entry_descriptors;
    share.count = share.continues ? entry_descriptors_before_continuation : descriptors;
    return share;
  }
  share.first = entry_descriptors_before_continuation +
                uint64_t{index - 1} * block_descriptors_before_continuation;
  if (share.first >= descriptors) return share;
  const uint64_t remaining = descriptors - share.first;
  share.continues = remaining > extent_block_descriptors;
  share.count = share.continues ? block_descriptors_before_continuation : remaining;
  return share;
}

}  // namespace kestrel::udf
