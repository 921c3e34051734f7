// The sentences the Windows program shows when a build failed or finished
// with warnings, and when a path does not fit its buffers. The texts come from
// the language table in the current language; paths fill their "%s".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disc/build_result.h"
#include "engine/build_job.h"

namespace kestrel::app {

// A failed build: the heading, a blank line, the reason (naming the file or
// folder where the engine reported one) and, when the system gave a message,
// that message on a line of its own.
std::wstring failed_build_text(BuildError error, std::wstring_view path,
                               std::wstring_view system_message);

struct WarningLine {
  BuildWarning warning;
  std::wstring path;
  StereoTitleNote stereo{};  // stereo_title_not_interleaved only
  RenamedEntry renamed{};    // name_shortened and name_made_unique only
};

// The sentence of one warning, naming its path; for a 3D title not
// interleaved, its clips and the reason; for a renamed entry, followed by
// its new name and the file system, as "-> new name (UDF)".
std::wstring warning_line_text(const WarningLine& line);

// A build that succeeded with warnings: the heading and one line per warning,
// at most `listed` of them, then how many more there were.
std::wstring warnings_text(const std::vector<WarningLine>& warnings, std::size_t listed);

// How many warnings the box lists before "...and N more".
inline constexpr std::size_t listed_warnings = 10;

// The firmware a bootable image starts with from a disc, and written to a
// USB stick, by the names the engine's table of platforms gives them, in its
// order; empty for a plain image.
struct BootSummary {
  std::vector<std::wstring> firmware;
  std::vector<std::wstring> disk_firmware;

  bool bootable() const { return !firmware.empty(); }
};

// The summary of a finished build.
BootSummary boot_summary(const BuildJob& job);

// The sentence of a successful bootable build, naming its firmware, and the
// one that says with which it also starts from a USB stick.
std::wstring bootable_text(const BootSummary& boot);

// What the report says of every image built: its size, which the media it
// fits follow from, and the files stored once with what that saved.
struct BuiltImage {
  uint32_t sectors = 0;
  uint32_t files_stored_once = 0;  // hard links and equal files
  uint64_t bytes_saved = 0;
};

// "The image takes 16.6 MB and fits on: CD 650 MB, ...", then, when files
// were stored once, how many and what that saved.
std::wstring built_image_text(const BuiltImage& image);

// A build that succeeded: the boot sentence of a bootable image, the size
// and the media it fits, then any warnings, in one box.
std::wstring finished_build_text(const BuiltImage& image, const BootSummary& boot,
                                 const std::vector<WarningLine>& warnings);

// A path or text that does not fit the program's path buffers.
std::wstring path_too_long_text(std::wstring_view path);

}  // namespace kestrel::app
