// Reading a sparse file without reading its holes. The file's data extents
// are found with the platform's query (file_system_posix.cpp, _win32.cpp);
// the holes between them are handed out as zeros, so a file of 10 GiB with
// 10 MB of data costs the reads of 10 MB. A file read so reports what a
// plain read would: the same bytes, fewer at its end, and whether it has
// grown or shrunk since it was listed.
#include <algorithm>
#include <cstring>

#include "platform/file_system.h"
#ifdef KESTREL_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

namespace kestrel {

void FileHandle::skip_holes() {
  if (!is_open()) return;
  holes_ = HoleCursor{};
  holes_.active = true;
  holes_.file_end = size();
}

// Finds the extent of data at or after the position; false at the end of
// the file. Past the last data extent the rest of the file is one hole.
bool FileHandle::next_extent() {
  HoleCursor& cursor = holes_;
  uint64_t start = 0;
  uint64_t end = 0;
  if (locate_data(cursor.position, start, end)) {
    cursor.data_start = std::max(start, cursor.position);
    cursor.data_end = end;
    return cursor.data_start < cursor.data_end;
  }
  cursor.file_end = size();
  if (cursor.file_end <= cursor.position) return false;
  cursor.data_start = cursor.data_end = cursor.file_end;
  return true;
}

size_t FileHandle::read_skipping_holes(uint8_t* buffer, size_t count) {
#ifdef KESTREL_FAULT_INJECTION
  if (const auto fault = fault_injection::next_call(fault_injection::FileOperation::read);
      fault.active) {
    last_error_ = fault.error;
    return 0;
  }
#endif
  HoleCursor& cursor = holes_;
  size_t total = 0;
  while (total < count) {
    if (cursor.position >= cursor.data_end && !next_extent()) break;
    const size_t wanted = count - total;
    if (cursor.position < cursor.data_start) {
      const auto zeros =
          static_cast<size_t>(std::min<uint64_t>(wanted, cursor.data_start - cursor.position));
      std::memset(buffer + total, 0, zeros);
      cursor.position += zeros;
      total += zeros;
      continue;
    }
    const auto asked =
        static_cast<size_t>(std::min<uint64_t>(wanted, cursor.data_end - cursor.position));
    const size_t got = read_at(cursor.position, buffer + total, asked);
    cursor.position += got;
    total += got;
    // The end of the file, or a failure that last_error() tells.
    if (got < asked) break;
  }
  return total;
}

// As read_last: `count` bytes when the file ends after them, `count` + 1
// when it goes on, fewer when it has become shorter (its size now is below
// what was handed out, which may have been read as a hole meanwhile).
size_t FileHandle::read_last_skipping_holes(uint8_t* buffer, size_t count) {
  const size_t got = read_skipping_holes(buffer, count);
  if (got < count) return got;
  const uint64_t now = size();
  if (now < holes_.position)
    return count - static_cast<size_t>(std::min<uint64_t>(count, holes_.position - now));
  return now > holes_.position ? count + 1 : count;
}

}  // namespace kestrel
