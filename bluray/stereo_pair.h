// The result of the stereoscopic Blu-ray analysis: for each pair of stream
// files that carry the two views of a title, their clip numbers, sizes and the
// lengths of their alternating extents, and why the pair cannot be
// interleaved when it cannot.
#pragma once

#include <cstdint>
#include <vector>

namespace kestrel {

// Why the two views of a 3D title cannot be laid out interleaved.
enum class StereoFailure : uint8_t {
  none = 0,
  clip_info_missing,      // the clip information file of `faulty_clip` cannot be read
  start_points_unusable,  // its extent start points do not cut the stream into extents
  clip_in_two_pairs,      // `faulty_clip` belongs to two titles, or to both views of one
  stream_missing,         // the stream file of `faulty_clip` is not in the stream folder
  stream_size_mismatch,   // the stream file's size differs from the stated packet count
  other_title_failed,     // this title was fine; another one kept the disc from interleaving
};

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

}  // namespace kestrel
