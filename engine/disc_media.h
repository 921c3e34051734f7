// The recordable media an image can be burnt to, by how many 2048-byte
// sectors they hold: the summary, the window's report and the JSON report
// say which of them an image fits, and a DVD-video or Blu-ray image that
// fits no disc of its kind is warned about.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrel {

class ImageWriter;

enum class DiscMedium : uint8_t {
  cd74 = 0,  // CD-R, 74 minutes (650 MB)
  cd80,      // CD-R, 80 minutes (700 MB)
  dvd5,      // DVD±R, one layer (4.7 GB)
  dvd9,      // DVD±R DL, two layers (8.5 GB)
  bd25,      // BD-R, one layer
  bd50,      // BD-R DL
  bd100,     // BD-R XL, three layers
  bd128,     // BD-R XL, four layers
};
inline constexpr int disc_medium_count = 8;

// Sectors a medium holds: the user data area of a blank disc (the usual
// capacities of CD-R and of DVD±R, the smaller of the plus and minus
// formats; BD-R as the Blu-ray format states them).
constexpr uint64_t medium_sectors(DiscMedium medium) {
  switch (medium) {
    case DiscMedium::cd74: return 333'000;
    case DiscMedium::cd80: return 360'000;
    case DiscMedium::dvd5: return 2'295'104;
    case DiscMedium::dvd9: return 4'171'712;
    case DiscMedium::bd25: return 12'219'392;
    case DiscMedium::bd50: return 24'438'784;
    case DiscMedium::bd100: return 48'878'592;
    case DiscMedium::bd128: return 62'500'864;
  }
  return 0;
}

// The media that hold an image of `sectors` sectors, smallest first; empty
// when none does.
std::vector<DiscMedium> media_that_hold(uint64_t sectors);

// After the layout: a DVD-video image that fits no DVD, and a Blu-ray image
// that fits no BD, get a warning naming their disc folder. They are still
// built.
void warn_when_no_disc_of_its_kind_holds(ImageWriter& writer);

}  // namespace kestrel
