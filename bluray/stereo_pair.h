// The result of the stereoscopic Blu-ray analysis: for each pair of stream
// files that carry the two views of a title, their clip numbers, sizes and the
// lengths of their alternating extents, and why the pair cannot be
// interleaved when it cannot.
#pragma once

#include <cstdint>
#include <vector>

#include "disc/build_result.h"

namespace kestrel::bluray {

// Why a pair cannot be interleaved: a result code of the build, since the
// front ends name it in their warnings.
using kestrel::StereoFailure;

struct StereoPair {
  uint16_t base_clip = 0;
  uint16_t dependent_clip = 0;
  uint32_t base_sectors = 0;
  uint32_t dependent_sectors = 0;
  std::vector<uint32_t> base_extents;       // sectors, in stream order
  std::vector<uint32_t> dependent_extents;  // sectors, in stream order
  // Set by the analysis or the arrangement when the pair cannot be interleaved.
  StereoFailure failure = StereoFailure::none;
  uint16_t faulty_clip = 0;    // the clip whose file is at fault
  uint32_t found_sectors = 0;  // stream_size_mismatch: the stream file's sectors
};

// In ascending order of the base clip number.
using StereoPairList = std::vector<StereoPair>;

}  // namespace kestrel::bluray
