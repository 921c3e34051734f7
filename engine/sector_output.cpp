#include "engine/sector_output.h"

#include <cstring>
#include <new>

namespace kestrel {

FileSectorOutput::FileSectorOutput(FileHandle& file) : file_(file) {
  if (storage_.allocate(buffer_bytes)) buffer_ = storage_.data();
}

bool FileSectorOutput::write_to_file(const uint8_t* data, size_t count) {
  const size_t written = file_.write(data, count);
  written_ += written;
  if (written != count) {
    failed_ = true;
    error_ = file_.last_error();
  }
  return !failed_;
}

bool FileSectorOutput::flush() {
  if (used_ == 0) return !failed_;
  write_to_file(buffer_, used_);
  used_ = 0;
  return !failed_;
}

bool FileSectorOutput::write(const uint8_t* data, size_t count) {
  if (failed_) return false;
  // Without a coalescing buffer every batch is one write call.
  if (buffer_ == nullptr) return write_to_file(data, count);
  // File contents go straight to the file once the buffer has been pushed
  // out; small structures are gathered.
  if (count >= direct_bytes) return flush() && write_to_file(data, count);
  if (count > buffer_bytes - used_ && !flush()) return false;
  std::memcpy(buffer_ + used_, data, count);
  used_ += count;
  return true;
}

bool FileSectorOutput::finish() { return flush(); }

}  // namespace kestrel
