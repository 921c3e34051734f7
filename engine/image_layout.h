// The layout passes shared by every file-system choice.
#pragma once

#include <cstdint>

#include "engine/image_writer.h"

namespace kestrel {

// Gives every node below `directory` its UDF name and each directory its
// UDF child order.
void prepare_udf_names(ImageWriter& writer, SourceNode& directory);

struct DataPlacementCounters {
  uint64_t data_sectors = 0;
  uint32_t next_unique_id = 16;  // UDF reserves unique IDs 0-15 (UDF 3.2.1.1)
};

// Places every file's data in the data area and gives every node but the
// root its UDF unique ID, depth-first in primary order. False (with the build
// failed) when the data area would exceed 2^32 - 1 sectors.
bool assign_data_and_ids(ImageWriter& writer, DataPlacementCounters& counters);

}  // namespace kestrel
