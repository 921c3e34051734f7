// The result of the stereoscopic Blu-ray analysis: for each pair of stream
// files that carry the two views of a title, their clip numbers, sizes and the
// lengths of their alternating extents.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrel::bluray {

struct StereoPair {
  uint16_t base_clip = 0;
  uint16_t dependent_clip = 0;
  uint32_t base_sectors = 0;
  uint32_t dependent_sectors = 0;
  std::vector<uint32_t> base_extents;       // sectors, in stream order
  std::vector<uint32_t> dependent_extents;  // sectors, in stream order
};

// In ascending order of the base clip number.
using StereoPairList = std::vector<StereoPair>;

}  // namespace kestrel::bluray
