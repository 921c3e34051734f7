// The stereoscopic (3D) Blu-ray analysis: reads a movie folder's index file,
// playlists and clip information, and works out which pairs of stream files
// carry the base and dependent views of a title and how long each of their
// alternating extents is. It only reads; nothing in the folder is changed.
#pragma once

#include <cstdint>
#include <map>

#include "bluray/stereo_pair.h"
#include "platform/native_text.h"

namespace kestrel::bluray {

// Base clip number to dependent clip number, gathered from the playlists; a
// later playlist's pairing of a base clip replaces an earlier one.
using ClipPairMap = std::map<int32_t, int32_t>;

// Whole 2048-byte sectors in `packets` 192-byte source packets, the
// remainder dropped: 32 source packets are exactly 3 sectors.
inline uint32_t sectors_from_packets(uint32_t packets) {
  constexpr uint64_t source_packet_bytes = 192;
  constexpr uint64_t sector_size = 2048;
  return static_cast<uint32_t>(uint64_t{packets} * source_packet_bytes / sector_size);
}

// The movie folder of a Blu-ray source, as the disc format names it.
inline constexpr NativeStringView bluray_movie_folder = KESTREL_NATIVE("BDMV");

// Analyses the movie folder `movie_folder` (its name as found on disk) below
// `source_folder` (which ends in a path separator) and appends one
// StereoPair per paired clip to `pairs`, in ascending order of the base clip
// number. True when the index file declares stereoscopic content, at least
// one playlist pairs clips, and every pair's clip information gives usable
// extents. On false `pairs` is empty when the folder holds no 3D title;
// otherwise it lists every title, those that failed with their `failure`,
// and none of them may be interleaved.
bool analyze_stereo_disc(const NativeString& source_folder, StereoPairList& pairs,
                         NativeStringView movie_folder = bluray_movie_folder);

// The clip information file of clip `clip_number` in that movie folder.
NativeString clip_info_path(const NativeString& source_folder, NativeStringView movie_folder,
                            uint32_t clip_number);

}  // namespace kestrel::bluray
