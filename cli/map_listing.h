// The map of an image as `kestrel-cli -map` prints it: one line per area
// with its first sector and its sector count, and a line for each run of
// zero sectors between them.
#pragma once

#include <string>

#include "engine/disc_map.h"

namespace kestrel::cli {

std::string format_disc_map(const DiscMap& map);

}  // namespace kestrel::cli
