// Reading a small file whole, for the Blu-ray navigation readers: the same on
// every platform, through FileHandle.
#include <new>

#include "platform/file_system.h"

namespace kestrel {

WholeFile read_whole_file(const NativeString& path) {
  WholeFile result;
  FileHandle file;
  if (!file.open(path, file_mode_read)) return result;
  const uint64_t size = file.size();
  if (size == 0 || size > whole_file_limit) return result;
  const auto length = static_cast<size_t>(size);
  // Two zero bytes after the data end any text that a reader takes from it.
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[length + 2]);
  if (!bytes) return result;
  const size_t got = file.read(bytes.get(), length);
  bytes[got] = 0;
  bytes[got + 1] = 0;
  if (got == 0) return result;
  result.bytes = std::move(bytes);
  result.length = got;
  return result;
}

}  // namespace kestrel
