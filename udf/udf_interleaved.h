// Allocation descriptors of the two clips of a stereoscopic pair, whose data
// lies interleaved extent by extent in one block of the data area.
#pragma once

#include <cstdint>

#include "disc/disc_image.h"

namespace kestrel::udf {

// Fills the allocation descriptors of an interleaved clip's extended file
// entry at `entry` (its first block, `block`) and, when they do not fit
// there, the allocation extent descriptors of the following blocks, as the
// node's allocation plan says; `entry` holds that many zero-filled blocks.
// Returns the descriptor length (L_AD) of the entry itself.
uint32_t fill_interleaved_descriptors(const DiscImage& image, uint32_t block,
                                      const SourceNode& node, uint8_t* entry);

}  // namespace kestrel::udf
