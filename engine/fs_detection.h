// What kind of disc a source folder holds, and so which file system it gets:
// the user's choice, unless the folder is a Blu-ray or DVD folder, whose
// players expect one layout. The command line, the window and the scan all
// ask describe_source, so a folder is never a DVD to one and not to another.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace kestrel {

// The layout choices offered to the user, in the order of the main window's list.
enum class LayoutChoice : int32_t {
  iso9660 = 0,
  bridge = 1,  // ISO 9660 + UDF 1.02 (DVD)
  udf102 = 2,
  udf250 = 3,  // UDF 2.50 (BD/UHD)
};

// The folders that make a source a disc folder, in the order in which they
// decide: a Blu-ray folder wins over a DVD folder.
enum class DiscFolder : uint8_t { bdmv = 0, bdav, video_ts, audio_ts };
inline constexpr size_t disc_folder_count = 4;

enum class DiscKind : uint8_t { plain = 0, bluray, dvd };

struct SourceDescription {
  DiscKind kind = DiscKind::plain;
  DiscFolder deciding_folder = DiscFolder::bdmv;  // meaningful unless kind is plain
  // Each disc folder directly in the source, named as it is on disk; empty
  // when there is none. A name is matched without regard to case, and a
  // folder named exactly as the disc format writes it wins over another case.
  std::array<NativeString, disc_folder_count> on_disk;
  // The names in the source folder, in byte order: what else looks through
  // the source's top level (the scan, the boot recognition) takes them from
  // here.
  std::vector<NativeString> names;
  SystemError list_error = 0;  // the source folder could not be listed
  bool listed = false;         // describe_source made it

  const NativeString& folder(DiscFolder which) const { return on_disk[static_cast<size_t>(which)]; }
  bool has(DiscFolder which) const { return !folder(which).empty(); }
};

// The name the disc format gives a disc folder ("BDMV", "VIDEO_TS", ...).
std::u16string_view disc_folder_name(DiscFolder which);

// Lists `source_folder` once and describes it. Only folders count: a file
// named "BDMV" makes nothing a Blu-ray source.
SourceDescription describe_source(const NativeString& source_folder);

// Why a build has the layout it has.
enum class LayoutReason : uint8_t {
  chosen = 0,     // the user's choice
  bluray_folder,  // forced by a Blu-ray folder
  dvd_folder,     // forced by a DVD folder
};

struct LayoutDecision {
  int32_t fs_code = 0;  // for start_build
  LayoutReason reason = LayoutReason::chosen;
};

// A source holding "BDMV" or "BDAV" becomes a Blu-ray image (code 3), one
// holding "VIDEO_TS" or "AUDIO_TS" a DVD bridge image (code 2); otherwise
// the choice decides.
LayoutDecision decide_layout(const SourceDescription& source, LayoutChoice choice);

// The file-system code for start_build: decide_layout of describe_source.
int32_t fs_code_for(const NativeString& source_folder, LayoutChoice choice);

}  // namespace kestrel
