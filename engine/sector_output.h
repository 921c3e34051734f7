// Where the sectors of an image go: the image file, or memory in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "platform/bulk_memory.h"
#include "platform/file_system.h"

namespace kestrel {

class SectorOutput {
 public:
  virtual ~SectorOutput() = default;
  // Appends bytes; false when they could not all be written.
  virtual bool write(const uint8_t* data, size_t count) = 0;
  // Pushes out anything held back; false when that fails.
  virtual bool finish() = 0;
  virtual SystemError error() const = 0;
  // Bytes that reached their destination (not merely a buffer on the way).
  virtual uint64_t bytes_written() const = 0;
};

// Writes to a file through a coalescing buffer, so that the many one-sector
// structures become a few large write calls.
class FileSectorOutput final : public SectorOutput {
 public:
  static constexpr size_t buffer_bytes = 1024 * 1024;
  // Writes of this much or more go straight to the file, once what the
  // buffer holds has been pushed out: copying them into the buffer would
  // cost more than the call it saves.
  static constexpr size_t direct_bytes = 64 * 1024;

  explicit FileSectorOutput(FileHandle& file);
  bool write(const uint8_t* data, size_t count) override;
  bool finish() override;
  SystemError error() const override { return error_; }
  uint64_t bytes_written() const override { return written_; }

 private:
  bool flush();
  bool write_to_file(const uint8_t* data, size_t count);

  FileHandle& file_;
  BulkBuffer storage_;
  uint8_t* buffer_ = nullptr;
  size_t used_ = 0;
  bool failed_ = false;
  SystemError error_ = 0;
  uint64_t written_ = 0;
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
  uint64_t bytes_written() const override { return bytes.size(); }

  std::vector<uint8_t> bytes;
};

}  // namespace kestrel
