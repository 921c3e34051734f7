// What one run of kestrel-cli built, told two ways: the summary lines for a
// person, and the JSON report (-json FILE) for scripts that convert many
// folders.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/build_job.h"
#include "engine/fs_detection.h"

namespace kestrel::cli {

struct RunRecord {
  const BuildJob& job;
  NativeString output;                    // the image file
  std::optional<LayoutChoice> requested;  // -fs, when it was given
  LayoutDecision decision;                // what the source made of it
  SourceDescription source;               // the disc folders found
  double seconds = 0;                     // from start to finish of the build
};

// "ISO 9660 + UDF 1.02 (DVD-video)", "UDF 2.50 (Blu-ray)", ...
std::string layout_description(const BuildJob& job);

// "; bootable with BIOS (boot/x) and UEFI (efi.img)", and why the layout
// differs from the one chosen when the boot catalog needed that; empty for
// an image that does not boot.
std::string boot_description(const BuildJob& job);

// Which name extensions the ISO 9660 volume carries, and how many names
// Joliet could not hold as they are; empty for an image without ISO 9660.
std::string name_extensions_text(const BuildJob& job);

// The summary of a successful build: the image, its layout and size, then
// why it has that layout and, for Blu-ray images, the 3D titles interleaved.
std::string summary_text(const RunRecord& record);

// The whole run as one JSON object: outcome, error, layout and why, DVD-video
// mode, counts, 3D titles, boot files and firmware, warnings and time. Every
// name is valid UTF-8; a name that is not (POSIX file names are bytes) shows
// U+FFFD for each invalid sequence.
std::string json_report(const RunRecord& record);

// `text` (UTF-8) as a JSON string literal, quotes included.
std::string json_string(std::string_view text);

}  // namespace kestrel::cli
