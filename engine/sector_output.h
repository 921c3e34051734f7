// Where the sectors of an image go: the image file, or memory in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "platform/file_system.h"

namespace kestrel {

// Buffers that the kernel copies file data into or out of are page-aligned:
// on this kind of machine a read into a buffer at the heap's usual 16-byte
// offset from a page runs up to four times slower. Such a buffer is
// allocated `page_alignment` bytes larger and used from its first page
// boundary.
inline constexpr size_t page_alignment = 4096;
inline uint8_t* page_aligned(uint8_t* block) {
  const auto address = reinterpret_cast<uintptr_t>(block);
  return block + ((page_alignment - address % page_alignment) % page_alignment);
}
inline std::unique_ptr<uint8_t[]> allocate_page_aligned(size_t bytes) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes + page_alignment]);
}

class SectorOutput {
 public:
  virtual ~SectorOutput() = default;
  // Appends bytes; false when they could not all be written.
  virtual bool write(const uint8_t* data, size_t count) = 0;
  // Pushes out anything held back; false when that fails.
  virtual bool finish() = 0;
  virtual SystemError error() const = 0;
};

// Writes to a file through a coalescing buffer, so that the many one-sector
// structures become a few large write calls.
class FileSectorOutput final : public SectorOutput {
 public:
  static constexpr size_t buffer_bytes = 1024 * 1024;

  explicit FileSectorOutput(FileHandle& file);
  bool write(const uint8_t* data, size_t count) override;
  bool finish() override;
  SystemError error() const override { return error_; }

 private:
  bool flush();

  FileHandle& file_;
  std::unique_ptr<uint8_t[]> storage_;  // buffer_ is its page-aligned part
  uint8_t* buffer_ = nullptr;
  size_t used_ = 0;
  bool failed_ = false;
  SystemError error_ = 0;
};

// Collects the image in memory (tests).
class MemorySectorOutput final : public SectorOutput {
 public:
  bool write(const uint8_t* data, size_t count) override {
    bytes.insert(bytes.end(), data, data + count);
    return true;
  }
  bool finish() override { return true; }
  SystemError error() const override { return 0; }

  std::vector<uint8_t> bytes;
};

}  // namespace kestrel
