#include "cli/map_listing.h"

#include <cinttypes>
#include <cstdio>

#include "cli/messages.h"

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

std::string format_map_totals(uint64_t image_sectors, const SharedDataCounts& shared) {
  char line[160];
  std::string text;
  if (shared.hard_links + shared.equal_files > 0) {
    std::snprintf(line, sizeof line, ", %" PRIu64 " sectors (%.1f MB) not stored twice\n",
                  shared.saved_sectors, static_cast<double>(shared.saved_bytes) / 1e6);
    text += "stored once: " + stored_once_text(shared) + line;
  }
  const std::vector<DiscMedium> media = media_that_hold(image_sectors);
  if (media.empty()) {
    std::snprintf(
        line, sizeof line, "total: %" PRIu64 " sectors, more than %s holds (%" PRIu64 " sectors)\n",
        image_sectors, medium_name(DiscMedium::bd128).c_str(), medium_sectors(DiscMedium::bd128));
  } else {
    const DiscMedium smallest = media.front();
    std::snprintf(
        line, sizeof line,
        "total: %" PRIu64 " sectors, %.1f %% of %s (%" PRIu64
        " sectors), the smallest medium it fits\n",
        image_sectors,
        100.0 * static_cast<double>(image_sectors) / static_cast<double>(medium_sectors(smallest)),
        medium_name(smallest).c_str(), medium_sectors(smallest));
  }
  return text + line;
}

}  // namespace kestrel::cli
