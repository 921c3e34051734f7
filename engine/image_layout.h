// The layout passes shared by every file-system choice.
#pragma once

#include <cstdint>

#include "engine/image_writer.h"

namespace kestrel {

// Gives every node below `directory` its UDF name and each directory its
// UDF child order.
void prepare_udf_names(ImageWriter& writer, SourceNode& directory);

// Whether the file has a block of its own in the data area, and the sectors
// of that block: a dependent-view clip of a stereoscopic pair carries the
// interleaved block of both clips, while the base-view clip and the virtual
// file of the pair describe that block and have none of their own.
inline bool has_data_block(const SourceNode& node) {
  return !node.is_directory && node.shares_data_of == nullptr &&
         (node.kind == NodeKind::plain || node.kind == NodeKind::unpaired_clip ||
          node.kind == NodeKind::dependent_view_clip);
}
inline uint64_t data_block_sectors(const SourceNode& node) {
  if (node.kind == NodeKind::dependent_view_clip && node.base_node != nullptr &&
      node.stereo_pair != nullptr)
    return uint64_t{node.sectors} + node.base_node->sectors;
  return node.sectors;
}

struct DataPlacementCounters {
  uint64_t data_sectors = 0;
  uint32_t next_unique_id = 16;  // UDF reserves unique IDs 0-15 (UDF 3.2.1.1)
};

// Places every file's data in the data area and gives every node but the
// root its UDF unique ID, depth-first in primary order. False (with the build
// failed) when the data area would exceed 2^32 - 1 sectors.
bool assign_data_and_ids(ImageWriter& writer, DataPlacementCounters& counters);

}  // namespace kestrel
