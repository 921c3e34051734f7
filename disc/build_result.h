// How a build ended, as codes: the engine produces no text; the front ends
// turn these into sentences for the user.
#pragma once

#include <cstdint>
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
  source_loop,           // a folder link leads back into its own tree (path)
  output_create_failed,  // the image file could not be created (path)
  output_write_failed,   // writing the image failed, e.g. the disk is full (path)
  output_rename_failed,  // the finished image could not be moved into place (path)
  out_of_memory,
  too_many_directories,  // more directories than ISO 9660 path tables can number
  file_too_large,        // a file needs more extents than its entry can hold (path)
  image_too_large,       // the image would exceed 2^32 - 1 sectors
  layout_mismatch,       // a structure was written at another sector than laid out
  cancelled,             // the user asked to stop
  boot_file_unusable,    // a boot file is not a file of the source, or cannot be booted (path)
  source_changed,        // a file changed after the layout read it (path)
};

enum class BuildWarning : uint8_t {
  source_grew,           // a file grew during the build; its scanned size was written (path)
  name_shortened,        // a name was too long for the file system and was shortened (path)
  name_made_unique,      // a name met a sibling's in the image's character set and got "~N" (path)
  special_file_skipped,  // a FIFO, socket or device node holds no file data and was left out (path)
  broken_link_skipped,   // a link whose target does not exist was left out (path)
};

struct BuildWarningEntry {
  BuildWarning warning;
  NativeString path;
};

struct BuildErrorInfo {
  BuildError error = BuildError::none;
  SystemError system_error = 0;
  NativeString path;
};

}  // namespace kestrel
