#include "partition/crc32.h"

#include <array>

namespace kestrel::partition {
namespace {

constexpr uint32_t reversed_polynomial = 0xEDB88320;

constexpr std::array<uint32_t, 256> make_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit)
      value = (value >> 1) ^ ((value & 1) ? reversed_polynomial : 0);
    table[i] = value;
  }
  return table;
}

constexpr std::array<uint32_t, 256> table = make_table();

}  // namespace

uint32_t crc32(const uint8_t* bytes, size_t count) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < count; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFF;
}

}  // namespace kestrel::partition
