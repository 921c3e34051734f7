// POSIX: opening a source file for copying its contents.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.h"

namespace kestrel {
namespace {

// From this size on the kernel is told that the file is read front to back,
// which widens its read-ahead when the file is not in the page cache.
constexpr uint64_t sequential_advice_bytes = 1024 * 1024;

}  // namespace

bool FileHandle::open_to_copy(const NativeString& path, uint64_t& size_now) {
  close();
  size_now = 0;
  // Opened without blocking, so that a FIFO put in the file's place cannot
  // stall the build. The flag has no effect on reading a regular file, so it
  // is left set: clearing it would cost two more calls for every file.
  descriptor_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor_ < 0) {
    last_error_ = errno;
    return false;
  }
  struct stat info {};
  if (fstat(descriptor_, &info) != 0 || !S_ISREG(info.st_mode)) {
    // A folder opens for reading on POSIX but holds no file data, nor does a
    // device or FIFO.
    last_error_ = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(descriptor_);
    descriptor_ = -1;
    return false;
  }
  last_error_ = 0;
  size_now = static_cast<uint64_t>(info.st_size);
  if (size_now >= sequential_advice_bytes) posix_fadvise(descriptor_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return true;
}

}  // namespace kestrel
