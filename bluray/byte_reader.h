// The one reader through which the bytes of Blu-ray navigation files (index,
// movie playlists, clip information) are read. These files come from the
// user's folder and may be damaged or hostile, so the reader never reads
// outside its bytes: a read that would pass the end yields zeros, moves the
// position to the end and sets a sticky overrun flag that the caller tests
// once a structure has been read. Numbers in these files are big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kestrel::bluray {

class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(data == nullptr ? 0 : size) {}

  size_t size() const { return size_; }
  size_t position() const { return position_; }
  size_t remaining() const { return size_ - position_; }
  bool overrun() const { return overrun_; }
  // True when `count` more bytes can be read.
  bool has(uint64_t count) const { return count <= remaining(); }
  // True when `count` records of at least `record_bytes` each can still be
  // present; a count from the file is checked with this before anything is
  // sized from it.
  bool has_records(uint64_t count, uint64_t record_bytes) const {
    return record_bytes == 0 || count <= remaining() / record_bytes;
  }

  // Moves to an absolute offset; past the end it stops there and overruns.
  bool seek(uint64_t offset) {
    if (offset > size_) return fail();
    position_ = static_cast<size_t>(offset);
    return true;
  }
  bool skip(uint64_t count) {
    if (!has(count)) return fail();
    position_ += static_cast<size_t>(count);
    return true;
  }

  uint8_t u8() { return static_cast<uint8_t>(take(1)); }
  uint16_t u16() { return static_cast<uint16_t>(take(2)); }
  uint32_t u32() { return static_cast<uint32_t>(take(4)); }
  uint64_t u64() { return take(8); }

  // Copies `count` bytes; on overrun the destination is zero-filled.
  bool bytes(void* destination, size_t count) {
    if (!has(count)) {
      if (count > 0) std::memset(destination, 0, count);
      return fail();
    }
    if (count > 0) std::memcpy(destination, data_ + position_, count);
    position_ += count;
    return true;
  }

  // A fixed-length name such as a five-character clip name: `count` bytes
  // into `destination`, followed by a terminating zero (so `destination`
  // holds count + 1 characters).
  bool text(char* destination, size_t count) {
    const bool complete = bytes(destination, count);
    destination[count] = '\0';
    return complete;
  }

  // The next `count` bytes as a reader of their own (a length-prefixed
  // block), and moves past them. A block that does not fit overruns this
  // reader and comes back empty and overrun.
  ByteReader block(uint64_t count) {
    if (!has(count)) {
      fail();
      ByteReader empty;
      empty.overrun_ = true;
      return empty;
    }
    ByteReader inner(data_ + position_, static_cast<size_t>(count));
    position_ += static_cast<size_t>(count);
    return inner;
  }

  // A reader over everything from `offset` to the end, positioned at its
  // start; empty and overrun when `offset` lies past the end.
  ByteReader from(uint64_t offset) const {
    ByteReader rest;
    if (offset > size_) {
      rest.overrun_ = true;
      return rest;
    }
    rest.data_ = data_ + offset;
    rest.size_ = size_ - static_cast<size_t>(offset);
    return rest;
  }

  // The bytes at the current position (valid for `remaining()` bytes).
  const uint8_t* current() const { return data_ + position_; }

 private:
  bool fail() {
    overrun_ = true;
    position_ = size_;
    return false;
  }
  uint64_t take(size_t width) {
    if (!has(width)) {
      fail();
      return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) value = (value << 8) | data_[position_ + i];
    position_ += width;
    return value;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
  bool overrun_ = false;
};

}  // namespace kestrel::bluray
