// The one writer through which every on-disc record is filled: numbers in
// little-endian, big-endian and both-endian (ECMA-119 7.2.3 / 7.3.3) order,
// and raw bytes, each at an offset inside a zero-filled record buffer.
//
// A record is declared once, as a table of Fields (offset and width) next to
// the clause of the standard it implements, with a static_assert that the
// fields fill the record exactly (fields_fill). Writing a named field checks
// at compile time that the number written has the field's width.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestrel {

// One field of an on-disc record: where it starts and how many bytes it takes.
struct Field {
  size_t offset;
  size_t width;
  constexpr size_t end() const { return offset + width; }
};

// True when the fields follow one another from offset 0, without gap or
// overlap, and the last one ends at `size`.
template <size_t N>
constexpr bool fields_fill(const Field (&fields)[N], size_t size) {
  size_t at = 0;
  for (const Field& field : fields) {
    if (field.offset != at) return false;
    at = field.end();
  }
  return at == size;
}

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

  // The same for a named field, whose width the number must have.
  template <Field F>
  void u8(uint8_t value) const {
    static_assert(F.width == 1);
    u8(F.offset, value);
  }
  template <Field F>
  void le16(uint16_t value) const {
    static_assert(F.width == 2);
    le16(F.offset, value);
  }
  template <Field F>
  void le32(uint32_t value) const {
    static_assert(F.width == 4);
    le32(F.offset, value);
  }
  template <Field F>
  void le64(uint64_t value) const {
    static_assert(F.width == 8);
    le64(F.offset, value);
  }
  template <Field F>
  void be16(uint16_t value) const {
    static_assert(F.width == 2);
    be16(F.offset, value);
  }
  template <Field F>
  void be32(uint32_t value) const {
    static_assert(F.width == 4);
    be32(F.offset, value);
  }
  template <Field F>
  void both16(uint16_t value) const {
    static_assert(F.width == 4);
    both16(F.offset, value);
  }
  template <Field F>
  void both32(uint32_t value) const {
    static_assert(F.width == 8);
    both32(F.offset, value);
  }
  // Bytes at the start of a field; no more than the field holds.
  template <Field F>
  void bytes(const void* source, size_t count) const {
    assert(count <= F.width);
    bytes(F.offset, source, count);
  }
  template <Field F>
  void text(std::string_view value) const {
    bytes<F>(value.data(), value.size());
  }
  template <Field F>
  void fill(uint8_t value) const {
    fill(F.offset, value, F.width);
  }
  // A writer over just this field, for a record inside the record.
  template <Field F>
  FieldWriter at() const {
    check(F.offset, F.width);
    return FieldWriter(base_ + F.offset, F.width);
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
inline uint64_t read_be64(const uint8_t* p) {
  return (static_cast<uint64_t>(read_be32(p)) << 32) | read_be32(p + 4);
}

}  // namespace kestrel
