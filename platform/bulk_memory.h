// Memory for bulk data, taken from the system rather than the heap: the
// buffers that file contents pass through and the blocks of the source
// tree. It is page-aligned, because the kernel copies file data into an
// aligned buffer up to four times faster than into one at the heap's usual
// 16-byte offset; it is zero-filled; and where the system allows, blocks of
// 2 MiB and more are backed by 2 MiB pages, so that touching them for the
// first time costs one page fault per 2 MiB instead of one per 4 KiB (on a
// virtual machine a fault can cost ten microseconds, which for a tree of
// small files adds up to a tenth of the build).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel {

// Zero-filled, page-aligned memory of at least `bytes` bytes, or null.
// `bytes` must be given again to free_bulk.
void* allocate_bulk(size_t bytes);
void free_bulk(void* memory, size_t bytes);

// One owned block of bulk memory.
class BulkBuffer {
 public:
  BulkBuffer() = default;
  ~BulkBuffer() { release(); }
  BulkBuffer(const BulkBuffer&) = delete;
  BulkBuffer& operator=(const BulkBuffer&) = delete;

  // Replaces the block with a fresh zero-filled one; false when memory is short.
  bool allocate(size_t bytes) {
    release();
    data_ = static_cast<uint8_t*>(allocate_bulk(bytes));
    if (data_ != nullptr) bytes_ = bytes;
    return data_ != nullptr;
  }
  void release() {
    if (data_ != nullptr) free_bulk(data_, bytes_);
    data_ = nullptr;
    bytes_ = 0;
  }
  uint8_t* data() const { return data_; }
  size_t size() const { return bytes_; }
  explicit operator bool() const { return data_ != nullptr; }

 private:
  uint8_t* data_ = nullptr;
  size_t bytes_ = 0;
};

}  // namespace kestrel
