// POSIX: the facts of one directory entry, shared by the folder listing and
// the examination of single paths.
#pragma once

#include "platform/file_system.h"

namespace kestrel {

// Fills the attributes of `name` relative to the open folder `directory_fd`
// (or AT_FDCWD) from statx, following links. False when the entry cannot be
// examined; `entry.error` says why and `entry.broken_link` whether it is a
// link that leads nowhere.
bool fill_attributes(int directory_fd, const char* name, FindEntry& entry);

}  // namespace kestrel
