#include "cli/map_listing.h"

#include <cinttypes>
#include <cstdio>

namespace kestrel::cli {
namespace {

std::string line(uint64_t first, uint64_t count, std::string_view name) {
  char numbers[48];
  std::snprintf(numbers, sizeof numbers, "%10" PRIu64 " %10" PRIu64 "  ", first, count);
  return numbers + std::string(name) + "\n";
}

}  // namespace

std::string format_disc_map(const DiscMap& map) {
  std::string text = "    sector    sectors  area\n";
  uint64_t next = 0;
  for (const DiscArea& area : map.areas) {
    if (area.first_sector > next) text += line(next, area.first_sector - next, "(zero)");
    text += line(area.first_sector, area.sector_count, area.name);
    next = area.end_sector();
  }
  if (map.image_sectors > next) text += line(next, map.image_sectors - next, "(zero)");
  return text;
}

}  // namespace kestrel::cli
