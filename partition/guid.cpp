#include "partition/guid.h"

namespace kestrel::partition {
namespace {

// FNV-1a, 64 bits: folds the seed into one number.
constexpr uint64_t fnv_offset_basis = 0xCBF29CE484222325;
constexpr uint64_t fnv_prime = 0x100000001B3;

// The SplitMix64 finaliser: spreads every bit of its input over its output.
uint64_t mix(uint64_t value) {
  value += 0x9E3779B97F4A7C15;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EB;
  return value ^ (value >> 31);
}

// RFC 4122 4.1.1 and 4.1.3: the variant bits 10 in the clock sequence's
// first byte, the version in the high nibble of the time's high field,
// which the stored form keeps in its eighth byte.
constexpr size_t version_byte = 7;
constexpr size_t variant_byte = 8;
constexpr uint8_t version_random = 0x40;
constexpr uint8_t variant_rfc4122 = 0x80;

}  // namespace

Guid derived_guid(const uint8_t* seed, size_t seed_bytes, uint64_t index) {
  uint64_t folded = fnv_offset_basis;
  for (size_t i = 0; i < seed_bytes; ++i) folded = (folded ^ seed[i]) * fnv_prime;
  const uint64_t first = mix(folded ^ mix(index));
  const uint64_t second = mix(first ^ index);
  Guid guid;
  for (int i = 0; i < 8; ++i) {
    guid.bytes[i] = static_cast<uint8_t>(first >> (8 * i));
    guid.bytes[8 + i] = static_cast<uint8_t>(second >> (8 * i));
  }
  guid.bytes[version_byte] =
      static_cast<uint8_t>((guid.bytes[version_byte] & 0x0F) | version_random);
  guid.bytes[variant_byte] =
      static_cast<uint8_t>((guid.bytes[variant_byte] & 0x3F) | variant_rfc4122);
  return guid;
}

}  // namespace kestrel::partition
