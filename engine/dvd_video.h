// DVD-video and DVD-audio folders: their names, and the order in which their
// files must lie on a disc (the information file of the video manager or
// title set first, then its objects, then the backup of the information).
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel {

inline constexpr std::u16string_view dvd_audio_folder_name = u"AUDIO_TS";
inline constexpr std::u16string_view dvd_video_folder_name = u"VIDEO_TS";

// The sort key of a file name inside AUDIO_TS or VIDEO_TS; 0 for a name that
// is not a DVD-audio or DVD-video file name, whose file is left out.
uint32_t dvd_sort_key(std::u16string_view name);

// ASCII comparison without regard to case, for folder names on file systems
// that ignore case.
bool equal_ignoring_ascii_case(std::u16string_view a, std::u16string_view b);

}  // namespace kestrel
