// POSIX: helpers that the parts of the file layer share.
#pragma once

#include <dirent.h>

#include "platform/file_system.h"

namespace kestrel {

// Fills the attributes of `name` relative to the open folder `directory_fd`
// (or AT_FDCWD) from statx, following links. False when the entry cannot be
// examined; `entry.error` says why and `entry.broken_link` whether it is a
// link that leads nowhere.
bool fill_attributes(int directory_fd, const char* name, FindEntry& entry);

// Starts listing a folder (counted as a listing by the fault injection of
// test builds); null when it cannot be listed, `error` saying why.
DIR* open_folder_listing(const NativeString& directory, SystemError& error);

}  // namespace kestrel
