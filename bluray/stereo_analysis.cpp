// Stereoscopic Blu-ray analysis. In a 3D movie folder a playlist plays the
// base-view clips through its play items, and the sub-path extension block
// of its extension data names the matching dependent-view clips, one
// sub-play-item per play item. The extent start points in each clip's
// extension data say where the stream's interleaved extents begin.
#include "bluray/stereo_analysis.h"

#include <cstdio>
#include <map>
#include <utility>

#include "bluray/clip_info_file.h"
#include "bluray/extension_data.h"
#include "bluray/index_file.h"
#include "bluray/playlist_file.h"
#include "platform/file_system.h"

namespace kestrel::bluray {
namespace {

// The Blu-ray movie folder layout.
constexpr NativeStringView index_name = KESTREL_NATIVE("index.bdmv");
constexpr NativeStringView playlist_folder = KESTREL_NATIVE("PLAYLIST");
constexpr NativeStringView playlist_extension = KESTREL_NATIVE(".mpls");
constexpr NativeStringView clip_info_folder = KESTREL_NATIVE("CLIPINF");
constexpr NativeStringView clip_info_extension = KESTREL_NATIVE(".clpi");

constexpr size_t clip_name_digits = 5;
// A clip number has to fit the 16-bit fields of a StereoPair.
constexpr int32_t largest_clip_number = 0xFFFF;

// Where the analysis reads: the source folder and its movie folder's name.
struct MovieFolder {
  const NativeString& source_folder;
  NativeStringView name;

  NativeString path(NativeStringView inner) const {
    NativeString path = source_folder;
    path += name;
    path += native_separator;
    path += inner;
    return path;
  }
};

bool index_declares_stereo(const MovieFolder& movie) {
  IndexFile index;
  {
    const WholeFile file = read_whole_file(movie.path(index_name));
    if (!file.bytes) return false;
    read_index_file(file.bytes.get(), file.length, index);
  }
  return index.stereo_content();
}

bool has_playlist_extension(const NativeString& name) {
  const size_t dot = name.rfind(KESTREL_NATIVE('.'));
  return dot != NativeString::npos && NativeStringView(name).substr(dot) == playlist_extension;
}

// The number that a clip name stands for, or -1 when the name is not five
// decimal digits or the number does not fit a StereoPair.
int32_t clip_number(const ClipName& name) {
  int32_t number = 0;
  for (size_t i = 0; i < clip_name_digits; ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    number = number * 10 + (name[i] - '0');
  }
  return number <= largest_clip_number ? number : -1;
}

// The sub-path that names the dependent-view clips of `playlist`, or null
// when the playlist pairs no clips.
const SubPath* dependent_view_sub_path(const PlayListFile& playlist, ExtensionData& extension) {
  if (playlist.extension_bytes.empty() || playlist.play_items.empty()) return nullptr;
  read_extension_data(playlist.extension_bytes.data(), playlist.extension_bytes.size(), extension);
  if (extension.stereo_stream_table_lengths.empty()) return nullptr;
  if (extension.sub_path_ext_length == 0 || extension.sub_paths.empty()) return nullptr;
  const SubPath& first = extension.sub_paths.front();
  if (first.items.size() != playlist.play_items.size()) return nullptr;
  return &first;
}

enum class PairingResult { none, paired, bad_clip_name };

PairingResult pair_clips_of_playlist(const NativeString& path, ClipPairMap& clip_pairs) {
  PlayListFile playlist;
  {
    const WholeFile file = read_whole_file(path);
    if (!file.bytes) return PairingResult::none;
    read_playlist_file(file.bytes.get(), file.length, playlist);
  }
  ExtensionData extension;
  const SubPath* sub_path = dependent_view_sub_path(playlist, extension);
  if (sub_path == nullptr) return PairingResult::none;
  for (size_t k = 0; k < playlist.play_items.size(); ++k) {
    const int32_t base = clip_number(playlist.play_items[k].clip_name);
    const int32_t dependent = clip_number(sub_path->items[k].clip_name);
    if (base < 0 || dependent < 0) return PairingResult::bad_clip_name;
    clip_pairs[base] = dependent;
  }
  return PairingResult::paired;
}

// Gathers the pairings of every playlist, in the order the folder lists
// them. False when a pairing playlist names a clip that is not a clip number.
bool collect_clip_pairs(const MovieFolder& movie, ClipPairMap& clip_pairs) {
  const NativeString folder = movie.path(playlist_folder);
  DirectoryFinder finder;
  FindEntry entry;
  for (bool found = finder.find_first(folder, entry); found; found = finder.find_next(entry)) {
    if (entry.is_directory || !has_playlist_extension(entry.name)) continue;
    NativeString path = folder;
    path += native_separator;
    path += entry.name;
    if (pair_clips_of_playlist(path, clip_pairs) == PairingResult::bad_clip_name) return false;
  }
  return true;
}

// Every clip may take part in one pair only, in one role: the layout gives
// each stream file one place in the image. Marks every pair that shares a
// clip with another pair, or uses one clip for both views.
void mark_clips_in_two_pairs(StereoPairList& pairs) {
  std::map<uint16_t, int> uses;
  for (const StereoPair& pair : pairs) {
    ++uses[pair.base_clip];
    ++uses[pair.dependent_clip];
  }
  for (StereoPair& pair : pairs) {
    for (const uint16_t clip : {pair.base_clip, pair.dependent_clip}) {
      if (uses[clip] > 1 && pair.failure == StereoFailure::none) {
        pair.failure = StereoFailure::clip_in_two_pairs;
        pair.faulty_clip = clip;
      }
    }
  }
}

// Reads the clip information of one side of a pair: its size in sectors and
// the lengths of its extents. A missing file leaves both empty. Unusable
// when the start points do not cut the whole stream into non-empty extents
// in stream order: the first must be 0, each must exceed the one before and
// lie inside the stream, and the extents must cover every sector of it.
StereoFailure read_clip_side(const MovieFolder& movie, uint16_t clip, uint32_t& sectors,
                             std::vector<uint32_t>& extents) {
  ClipInfoFile info;
  {
    const WholeFile file = read_whole_file(clip_info_path(movie.source_folder, movie.name, clip));
    if (!file.bytes) return StereoFailure::clip_info_missing;
    read_clip_info_file(file.bytes.get(), file.length, info);
  }
  sectors = sectors_from_packets(info.source_packet_count);
  ExtensionData extension;
  if (!info.extension_bytes.empty()) {
    read_extension_data(info.extension_bytes.data(), info.extension_bytes.size(), extension);
  }
  const std::vector<uint32_t>& points = extension.extent_start_points;
  if (extension.extent_start_length == 0 || points.empty()) return StereoFailure::none;
  if (points.front() != 0) return StereoFailure::start_points_unusable;

  uint64_t covered = 0;
  auto append = [&](uint32_t packets) {
    const uint32_t length = sectors_from_packets(packets);
    extents.push_back(length);
    covered += length;
    return length != 0;
  };
  for (size_t i = 1; i < points.size(); ++i) {
    if (points[i] <= points[i - 1]) return StereoFailure::start_points_unusable;
    if (!append(points[i] - points[i - 1])) return StereoFailure::start_points_unusable;
    if (sectors_from_packets(points[i]) >= sectors) return StereoFailure::start_points_unusable;
  }
  // The last start point lies inside the stream: it is 0, or its sector
  // was found below the stream's sector count above.
  if (!append(info.source_packet_count - points.back()))
    return StereoFailure::start_points_unusable;
  return covered == sectors ? StereoFailure::none : StereoFailure::start_points_unusable;
}

// Reads both sides of a pair; the first side that fails marks the pair.
void read_pair(const MovieFolder& movie, StereoPair& pair) {
  struct Side {
    uint16_t clip;
    uint32_t& sectors;
    std::vector<uint32_t>& extents;
  };
  for (const Side& side :
       {Side{pair.base_clip, pair.base_sectors, pair.base_extents},
        Side{pair.dependent_clip, pair.dependent_sectors, pair.dependent_extents}}) {
    const StereoFailure failure = read_clip_side(movie, side.clip, side.sectors, side.extents);
    if (failure != StereoFailure::none && pair.failure == StereoFailure::none) {
      pair.failure = failure;
      pair.faulty_clip = side.clip;
    }
  }
}

}  // namespace

NativeString clip_info_path(const NativeString& source_folder, NativeStringView movie_folder,
                            uint32_t clip_number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%05u", static_cast<unsigned>(clip_number));
  NativeString path = MovieFolder{source_folder, movie_folder}.path(clip_info_folder);
  path += native_separator;
  for (const char* c = digits; *c != '\0'; ++c) path += static_cast<NativeChar>(*c);
  path += clip_info_extension;
  return path;
}

bool analyze_stereo_disc(const NativeString& source_folder, StereoPairList& pairs,
                         NativeStringView movie_folder) {
  const MovieFolder movie{source_folder, movie_folder};
  if (!index_declares_stereo(movie)) return false;

  ClipPairMap clip_pairs;
  if (!collect_clip_pairs(movie, clip_pairs) || clip_pairs.empty()) return false;

  // Every title is read, also after one has failed, so that each one that
  // cannot be interleaved can be named with its reason.
  for (const auto& [base, dependent] : clip_pairs) {
    StereoPair pair;
    pair.base_clip = static_cast<uint16_t>(base);
    pair.dependent_clip = static_cast<uint16_t>(dependent);
    pairs.push_back(std::move(pair));
  }
  mark_clips_in_two_pairs(pairs);
  bool usable = true;
  for (StereoPair& pair : pairs) {
    read_pair(movie, pair);
    if (pair.failure != StereoFailure::none) usable = false;
  }
  return usable;
}

}  // namespace kestrel::bluray
