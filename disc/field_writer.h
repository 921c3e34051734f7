// The one writer through which every on-disc record is filled: numbers in
// little-endian, big-endian and both-endian (ECMA-119 7.2.3 / 7.3.3) order,
// and raw bytes, each at an offset inside a zero-filled record buffer.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestrel {

class FieldWriter {
 public:
  FieldWriter(uint8_t* base, size_t size) : base_(base), size_(size) {}

  uint8_t* data() const { return base_; }
  size_t size() const { return size_; }
  // A writer over the part of this record that starts at `offset`.
  FieldWriter at(size_t offset) const {
    check(offset, 0);
    return FieldWriter(base_ + offset, size_ - offset);
  }

  void u8(size_t offset, uint8_t value) const {
    check(offset, 1);
    base_[offset] = value;
  }
  void le16(size_t offset, uint16_t value) const {
    check(offset, 2);
    put_le(base_ + offset, value, 2);
  }
  void le32(size_t offset, uint32_t value) const {
    check(offset, 4);
    put_le(base_ + offset, value, 4);
  }
  void le64(size_t offset, uint64_t value) const {
    check(offset, 8);
    put_le(base_ + offset, value, 8);
  }
  void be16(size_t offset, uint16_t value) const {
    check(offset, 2);
    put_be(base_ + offset, value, 2);
  }
  void be32(size_t offset, uint32_t value) const {
    check(offset, 4);
    put_be(base_ + offset, value, 4);
  }
  // Both-byte orders: the little-endian half, then the big-endian half.
  void both16(size_t offset, uint16_t value) const {
    le16(offset, value);
    be16(offset + 2, value);
  }
  void both32(size_t offset, uint32_t value) const {
    le32(offset, value);
    be32(offset + 4, value);
  }
  void bytes(size_t offset, const void* source, size_t count) const {
    check(offset, count);
    if (count > 0) std::memcpy(base_ + offset, source, count);
  }
  void text(size_t offset, std::string_view value) const {
    bytes(offset, value.data(), value.size());
  }
  void fill(size_t offset, uint8_t value, size_t count) const {
    check(offset, count);
    std::memset(base_ + offset, value, count);
  }

 private:
  void check([[maybe_unused]] size_t offset, [[maybe_unused]] size_t count) const {
    assert(offset <= size_ && count <= size_ - offset);
  }
  static void put_le(uint8_t* out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
  }
  static void put_be(uint8_t* out, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
  }

  uint8_t* base_;
  size_t size_;
};

// Little-endian readers for records the program itself has built (tests and
// checks); untrusted bytes go through bluray/byte_reader.h instead.
inline uint16_t read_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t read_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t read_le64(const uint8_t* p) {
  return static_cast<uint64_t>(read_le32(p)) | (static_cast<uint64_t>(read_le32(p + 4)) << 32);
}
inline uint16_t read_be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t read_be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

}  // namespace kestrel
