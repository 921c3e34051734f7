#include "engine/sector_output.h"

#include <cstring>
#include <new>

namespace kestrel {

FileSectorOutput::FileSectorOutput(FileHandle& file) : file_(file) {
  if (storage_.allocate(buffer_bytes)) buffer_ = storage_.data();
}

bool FileSectorOutput::flush() {
  if (used_ == 0) return !failed_;
  const size_t written = file_.write(buffer_, used_);
  if (written != used_) {
    failed_ = true;
    error_ = file_.last_error();
  }
  used_ = 0;
  return !failed_;
}

bool FileSectorOutput::write(const uint8_t* data, size_t count) {
  if (failed_) return false;
  if (buffer_ == nullptr) {
    // Without a coalescing buffer every batch is one write call.
    if (file_.write(data, count) != count) {
      failed_ = true;
      error_ = file_.last_error();
    }
    return !failed_;
  }
  // Large batches (file contents) go straight to the file once the buffer
  // has been pushed out; small structures are gathered.
  if (count >= buffer_bytes) {
    if (!flush()) return false;
    if (file_.write(data, count) != count) {
      failed_ = true;
      error_ = file_.last_error();
    }
    return !failed_;
  }
  if (count > buffer_bytes - used_ && !flush()) return false;
  std::memcpy(buffer_ + used_, data, count);
  used_ += count;
  return true;
}

bool FileSectorOutput::finish() { return flush(); }

}  // namespace kestrel
