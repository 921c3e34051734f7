// POSIX: opening and reading the source files whose contents go into an
// image. A build reads every file once; for small files the system calls
// per file are most of the cost, so each file takes one open relative to its
// folder, one read and one close.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.h"
#ifdef KESTREL_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

namespace kestrel {
namespace {

// From this size on the kernel is told that the file is read front to back,
// which widens its read-ahead when the file is not in the page cache.
constexpr uint64_t sequential_advice_bytes = 1024 * 1024;

#ifdef O_PATH
// The folder is only a starting point for lookups, never read itself.
constexpr int folder_open_flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int folder_open_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

#ifdef KESTREL_FAULT_INJECTION
bool injected_open_fault(SystemError& error) {
  const auto fault = fault_injection::next_call(fault_injection::FileOperation::open);
  if (fault.active) error = fault.error;
  return fault.active;
}
#endif

}  // namespace

FolderHandle::~FolderHandle() { close(); }

bool FolderHandle::open(const NativeString& path) {
  close();
#ifdef KESTREL_FAULT_INJECTION
  if (injected_open_fault(last_error_)) return false;
#endif
  descriptor_ = ::open(path.c_str(), folder_open_flags);
  last_error_ = descriptor_ < 0 ? errno : 0;
  return descriptor_ >= 0;
}

void FolderHandle::close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool FileHandle::open_to_copy(const FolderHandle& folder, const NativeChar* name,
                              uint64_t listed_size) {
  close();
#ifdef KESTREL_FAULT_INJECTION
  if (injected_open_fault(last_error_)) return false;
#endif
  // Opened without blocking, so that a FIFO put in the file's place cannot
  // stall the build: it reads as empty, which fails the build as a file that
  // has shrunk, as does a folder, whose read fails. The flag has no effect on
  // reading a regular file.
  descriptor_ = ::openat(folder.descriptor_, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor_ < 0) {
    last_error_ = errno;
    return false;
  }
  last_error_ = 0;
  if (listed_size >= sequential_advice_bytes)
    posix_fadvise(descriptor_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

}  // namespace kestrel
