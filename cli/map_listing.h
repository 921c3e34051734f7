// The map of an image as `kestrel-cli -map` prints it: one line per area
// with its first sector and its sector count, and a line for each run of
// zero sectors between them.
#pragma once

#include <string>

#include "disc/build_result.h"
#include "engine/disc_map.h"

namespace kestrel::cli {

std::string format_disc_map(const DiscMap& map);

// The lines after the areas: the files stored once and the sectors that
// saved (when there are any), then the image's total against the smallest
// medium that holds it.
std::string format_map_totals(uint64_t image_sectors, const SharedDataCounts& shared);

}  // namespace kestrel::cli
