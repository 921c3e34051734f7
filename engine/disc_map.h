// The map of an image: its areas in sector order, each with the sector it
// starts at, the sectors it takes and the writer that fills it. The layout
// plans one map per layout (disc_map.cpp); the write sequence is one loop
// over it that pads to each area, writes it and checks that it ended where
// it was planned to; `kestrel-cli -map` prints it. Sectors between areas are
// zero.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrel {

class ImageWriter;
struct DiscArea;

// Fills one area, starting at its first sector; false when the build failed.
using AreaWriter = bool (*)(ImageWriter& writer, const DiscArea& area);

struct DiscArea {
  std::string_view name;
  uint64_t first_sector = 0;
  uint64_t sector_count = 0;
  AreaWriter write = nullptr;

  uint64_t end_sector() const { return first_sector + sector_count; }
};

struct DiscMap {
  std::vector<DiscArea> areas;  // in sector order, none overlapping the next
  uint64_t image_sectors = 0;
};

// Plans the map of the writer's layout from the sized tree (names, directory
// sizes and data placement done) and stores the sectors the descriptors
// record in writer.layout. False, with the build failed, when the image
// would not fit 2^32 - 1 sectors or no file system was asked for.
bool plan_disc_map(ImageWriter& writer, uint64_t file_structure_blocks);

}  // namespace kestrel
