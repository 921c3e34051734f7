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
  const SourceDescription& source;        // the disc folders found
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
// How a bootable image starts from a USB disk, for the summary's line of its
// own: "starts from a USB disk with BIOS (GRUB's MBR boot code
// boot/grub/i386-pc/boot_hybrid.img, found in the source) and UEFI (EFI
// system partition efi.img)", or why it does not; empty for an image that
// does not boot.
std::string disk_boot_description(const BuildJob& job);

// "fits on: DVD, DVD DL, BD 25 GB, ..." for an image of `sectors` sectors.
std::string fits_on_text(uint64_t sectors);

// The summary of a successful build: the image, its layout and size, then
// why it has that layout, for a bootable image how it starts from a USB
// disk, the media it fits, the files stored once, for Blu-ray images the 3D
// titles interleaved, and last how many warnings the build gave.
std::string summary_text(const RunRecord& record);

// The whole run as one JSON object: outcome, error, layout and why, DVD-video
// mode, counts, 3D titles, boot files and firmware, warnings and time. Every
// name is valid UTF-8; a name that is not (POSIX file names are bytes) shows
// U+FFFD for each invalid sequence.
std::string json_report(const RunRecord& record);

// The codes by which the JSON report names the engine's results
// (docs/report.md lists every one).
const char* outcome_code(BuildOutcome outcome);
// `requested`: -fs was given.
const char* layout_reason_code(LayoutReason reason, bool requested);
const char* error_code(BuildError error);
const char* warning_code(BuildWarning warning);
const char* stereo_failure_code(StereoFailure failure);
const char* file_system_code(NamingFileSystem file_system);

// `text` (UTF-8) as a JSON string literal, quotes included.
std::string json_string(std::string_view text);

}  // namespace kestrel::cli
