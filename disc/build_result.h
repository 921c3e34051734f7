// How a build ended, as codes: the engine produces no text; the front ends
// turn these into sentences for the user. Every front end maps the codes in
// switches without a default, so a new code does not build until each of
// them has its text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kestrel {

enum class BuildOutcome : uint8_t {
  running = 0,
  succeeded,
  failed,
  cancelled,
};

enum class BuildError : uint8_t {
  none = 0,
  invalid_fs_code,       // file-system code outside 1 to 5
  source_not_found,      // the source folder does not exist or is not a folder
  source_list_failed,    // a folder of the source could not be listed (path)
  source_unreadable,     // an entry of the source could not be examined (path)
  source_open_failed,    // a source file could not be opened for copying (path)
  source_read_failed,    // reading a source file failed (path)
  source_shrunk,         // a source file became shorter than when scanned (path)
  output_create_failed,  // the image file could not be created (path)
  output_write_failed,   // writing the image failed, e.g. the disk is full (path)
  output_rename_failed,  // the finished image could not be moved into place (path)
  out_of_memory,
  too_many_directories,  // more directories than ISO 9660 path tables can number
  file_too_large,        // a file needs more extents than its entry can hold (path)
  image_too_large,       // the image would exceed 2^32 - 1 sectors
  layout_mismatch,       // a structure was written at another sector than laid out
  cancelled,             // the user asked to stop
  worker_start_failed,   // the system would not start the build's thread
  boot_file_unusable,    // a boot file is not a file of the source, or cannot be booted (path)
  source_changed,        // a file changed after the layout read it (path)
};

// Everything an image leaves out, replaces or records differently from the
// source is one of these, with the path it concerns.
enum class BuildWarning : uint8_t {
  source_grew,       // a file grew during the build; its scanned size was written (path)
  name_shortened,    // a name was too long for the file system and was shortened (path, renamed)
  name_made_unique,  // a name met a sibling's in the image's character set and got "~N" (path,
                     // renamed)
  special_file_skipped,  // a FIFO, socket or device node holds no file data and was left out (path)
  broken_link_skipped,   // a link whose target does not exist was left out (path)
  link_loop_skipped,     // a folder link back into its own tree was left out (path)
  thumbnail_cache_skipped,  // the shell's thumbnail cache file was left out (path)
  dvd_entry_skipped,        // a file or folder in a DVD folder that no DVD player reads (path)
  image_file_skipped,       // the image being built, or its temporary file, lies in the source
  stereo_folder_replaced,   // the source's own SSIF folder gave way to the interleaved one (path)
  stereo_title_not_interleaved,  // a 3D title was written as plain clips (path, `stereo`)
  dvd_too_large,     // a DVD-video image fits no DVD, not even a dual-layer one (DVD folder)
  bluray_too_large,  // a Blu-ray image fits no BD, not even a four-layer BD-R XL (BD folder)
};

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

// Why a 3D title was not interleaved, for stereo_title_not_interleaved. The
// warning's path names the file at fault (the clip information or the
// stream file of `faulty_clip`), or the stream folder for other_title_failed.
struct StereoTitleNote {
  StereoFailure reason = StereoFailure::none;
  uint16_t base_clip = 0;
  uint16_t dependent_clip = 0;
  uint16_t faulty_clip = 0;
  uint32_t stated_sectors = 0;  // stream_size_mismatch: from the clip information
  uint32_t found_sectors = 0;   // stream_size_mismatch: the stream file's sectors
};

// The file systems of an image that record names of their own.
enum class NamingFileSystem : uint8_t {
  none = 0,
  iso9660,
  joliet,
  udf,
};

// A name an image records differently from the source: in which file
// system, and as what.
struct RenamedEntry {
  NamingFileSystem file_system = NamingFileSystem::none;
  std::u16string new_name;  // the name as the file system records it
};

struct BuildWarningEntry {
  BuildWarning warning;
  NativeString path;
  StereoTitleNote stereo;  // stereo_title_not_interleaved only
  RenamedEntry renamed{};  // name_shortened and name_made_unique only
};

// What storing files once saved: the names that point at another name's copy
// of the same file (hard links), the files that point at the copy of an
// equal file, and the sectors and file bytes not stored twice therefore.
struct SharedDataCounts {
  uint32_t hard_links = 0;
  uint32_t equal_files = 0;
  uint64_t saved_sectors = 0;
  uint64_t saved_bytes = 0;
};

struct BuildErrorInfo {
  BuildError error = BuildError::none;
  SystemError system_error = 0;
  NativeString path;
};

}  // namespace kestrel
