// Windows: opening and reading the source files whose contents go into an
// image. Files are opened by their whole path; the folder only remembers it.
#include "platform/file_system.h"

namespace kestrel {

FolderHandle::~FolderHandle() { close(); }

bool FolderHandle::open(const NativeString& path) {
  path_ = path;
  last_error_ = 0;
  return true;
}

void FolderHandle::close() { path_.clear(); }

bool FileHandle::open_to_copy(const FolderHandle& folder, const NativeChar* name, uint64_t) {
  return open(folder.path_ + name, file_mode_read);
}

size_t FileHandle::read_last(void* buffer, size_t count) {
  if (holes_.active) return read_last_skipping_holes(static_cast<uint8_t*>(buffer), count);
  return read(buffer, count + 1);
}

}  // namespace kestrel
