// POSIX: helpers that the parts of the file layer share.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include "platform/file_system.h"

namespace kestrel {

// The facts of an entry that a scan needs, as statx fields.
inline constexpr unsigned entry_facts_mask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME |
                                             STATX_MTIME | STATX_BTIME | STATX_INO | STATX_BLOCKS |
                                             STATX_NLINK;

// Fills the attributes of `name` relative to the open folder `directory_fd`
// (or AT_FDCWD) from statx, following links. False when the entry cannot be
// examined; `entry.error` says why and `entry.broken_link` whether it is a
// link that leads nowhere.
bool fill_attributes(int directory_fd, const char* name, FindEntry& entry);

// Fills the attributes of an entry from what statx found.
void fill_from_statx(const struct statx& info, FindEntry& entry);

// Examines many entries of one folder with few calls into the system, where
// the platform can queue the calls (io_uring): `facts[i]` for `names[i]`,
// `results[i]` 0 or the error number. False where the calls cannot be
// queued; the caller then examines the entries one by one. One thread's
// calls are queued on a ring of its own.
bool examine_in_groups(int directory_fd, const char* const* names, struct statx* facts,
                       int* results, size_t count);

// How a folder listing examines its entries. The kernel runs no queued statx
// call where it is queued but hands each to one of its worker threads: many
// run at once, but each costs more processor time, and more time in all,
// than the call made directly unless entering the kernel is itself dear. By
// default (where_it_pays) a window is queued only where entering the kernel
// is dear (kernel_entry_is_dear); otherwise the caller makes the calls of a
// small window and shares those of a large one with the listing's helper.
// Tests choose either way for every window, whatever the machine.
enum class QueuedExamination : uint8_t { where_it_pays, always, never };
void set_queued_examination(QueuedExamination choice);
QueuedExamination queued_examination();

// Whether entering the kernel costs more than the kernel's handing a queued
// statx call to a worker thread; measured once per process.
bool kernel_entry_is_dear();

// Starts listing a folder (counted as a listing by the fault injection of
// test builds); null when it cannot be listed, `error` saying why.
DIR* open_folder_listing(const NativeString& directory, SystemError& error);

}  // namespace kestrel
