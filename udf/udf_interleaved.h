// Allocation descriptors of the two clips of a stereoscopic pair, whose data
// lies interleaved extent by extent in one block of the data area.
#pragma once

#include <cstdint>

#include "engine/image_writer.h"

namespace kestrel {

// True when the node is a clip of a stereoscopic pair whose allocation
// descriptors follow the pair's extent lists and may continue in further
// blocks (UDF 2.50 only).
inline bool has_interleaved_extents(const ImageWriter& writer, const SourceNode& node) {
  return writer.settings.udf_revision >= udf_revision_250 && node.stereo_pair != nullptr &&
         (node.kind == NodeKind::base_view_clip || node.kind == NodeKind::dependent_view_clip);
}

// Fills the allocation descriptors of an interleaved clip's extended file
// entry at `entry` (its first block, `block`) and, when they do not fit
// there, the allocation extent descriptors of the following blocks; `entry`
// holds node.icb_sectors zero-filled blocks. Returns the descriptor length
// (L_AD) of the entry itself.
uint32_t fill_interleaved_descriptors(const ImageWriter& writer, uint32_t block,
                                      const SourceNode& node, uint8_t* entry);

}  // namespace kestrel
