// Path rules of the Windows program that need no operating system: the
// settings file beside the executable, the default output folder, default
// targets, and the folder a dropped disc folder stands for. Paths are Windows
// paths with backslashes; the rules work on plain text so they can be tested
// on any platform.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::app {

// Windows' classic path buffer, in characters including the terminating NUL.
inline constexpr size_t path_buffer_chars = 260;
// A volume label as read from the label edit: at most this many characters.
inline constexpr size_t label_chars = 127;

// The settings file: the executable's path with everything from its last '.'
// replaced by ".ini", or ".ini" appended when the path holds no '.'. The dot
// is searched in the whole path, so a dot in a folder name with none in the
// file name moves the cut into the folder part (C:\tools.new\kestrel gives
// C:\tools.ini); existing installations rely on that place.
std::wstring settings_path_for(std::wstring_view module_path);

// The folder stored as "OutputDir" for a target as typed: '/' becomes '\',
// the text is cut at its last backslash; "." when it holds none.
std::wstring output_dir_for_target(std::wstring_view target);

// A folder as the start of a default target: with one trailing backslash,
// unless it is empty.
std::wstring with_trailing_backslash(std::wstring_view folder);

// Removes every trailing backslash but never the first character, so "D:\"
// becomes "D:" and "\" stays.
std::wstring strip_trailing_backslashes(std::wstring_view path);

// The text after the last backslash; empty when there is none.
std::wstring last_component(std::wstring_view path);

// ".iso" is added to a target typed without any '.' at all.
bool target_needs_extension(std::wstring_view target);
// ".iso" is added to a file picked in the save dialog whose name (after the
// last backslash) holds no '.'.
bool picked_name_needs_extension(std::wstring_view path);

// The initial file name of the save dialog: the text with the extension of
// its last component cut off, or empty when it holds no backslash.
std::wstring initial_save_name(std::wstring_view text);

// True when a full path names a file (does not end in a backslash).
bool has_file_name_part(std::wstring_view full_path);

// The folder part of a full path with its trailing backslash ("" when none).
std::wstring folder_part(std::wstring_view full_path);

// When the dropped folder, or a sibling of it, is "VIDEO_TS", "BDMV" or
// "BDAV" of a disc, the disc's folder (the parent) is meant. `exists` says
// whether a folder exists at a path. A path without backslash stays unchanged.
std::wstring prefer_disc_parent(std::wstring_view path,
                                const std::function<bool(const std::wstring&)>& exists);

// The folders to create, outermost first, to make every folder of `path` (a
// full folder path ending in a backslash). '/' counts as '\'. The walk starts
// after the root: after "\\server\share\" of a network path, after "X:\" of
// a drive path. Empty for paths of 259 characters or more, which the caller
// treats as failure.
std::vector<std::wstring> directory_prefixes(std::wstring_view path);

// The layout list's entry for a stored or selected value: 0 to 3, anything
// else counts as 3 (UDF 2.50).
int layout_index_from(int value);

// Progress shown while the image is written, in whole per cent rounded to
// the nearest. It stays below 100 until the build reports success, so a
// build that fails after its last sector never looks finished.
int writing_percent(unsigned long long done, unsigned long long total);

// The command that shows the finished image in the file manager: the
// program given by its full path, then "/select," and the target in quotes.
std::wstring reveal_command_line(std::wstring_view explorer_path, std::wstring_view target);

}  // namespace kestrel::app
