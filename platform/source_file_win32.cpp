// Windows: opening a source file for copying its contents.
#include "platform/file_system.h"

namespace kestrel {

bool FileHandle::open_to_copy(const NativeString& path, uint64_t& size_now) {
  size_now = 0;
  if (!open(path, file_mode_read)) return false;
  size_now = size();
  return true;
}

}  // namespace kestrel
