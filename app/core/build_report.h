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
};

// The sentence of one warning, naming its path; for a 3D title not
// interleaved, its clips and the reason.
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

// A build that succeeded and boots, or has warnings, or both: the boot
// sentence, then the warnings, in one box.
std::wstring finished_build_text(const BootSummary& boot, const std::vector<WarningLine>& warnings);

// A path or text that does not fit the program's path buffers.
std::wstring path_too_long_text(std::wstring_view path);

}  // namespace kestrel::app
