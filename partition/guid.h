// GUIDs as the GPT stores them (UEFI 2.10 Appendix A): the first three
// fields of the text form little-endian, the last two as they are written,
// so C12A7328-F81F-11D2-BA4B-00A0C93EC93B is stored as
// 28 73 2A C1 1F F8 D2 11 BA 4B 00 A0 C9 3E C9 3B.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrel::partition {

struct Guid {
  std::array<uint8_t, 16> bytes{};

  // From the five groups of the text form.
  static constexpr Guid from_text_fields(uint32_t time_low, uint16_t time_mid, uint16_t time_high,
                                         uint16_t clock_sequence, uint64_t node) {
    Guid guid;
    for (int i = 0; i < 4; ++i) guid.bytes[i] = static_cast<uint8_t>(time_low >> (8 * i));
    for (int i = 0; i < 2; ++i) guid.bytes[4 + i] = static_cast<uint8_t>(time_mid >> (8 * i));
    for (int i = 0; i < 2; ++i) guid.bytes[6 + i] = static_cast<uint8_t>(time_high >> (8 * i));
    guid.bytes[8] = static_cast<uint8_t>(clock_sequence >> 8);
    guid.bytes[9] = static_cast<uint8_t>(clock_sequence);
    for (int i = 0; i < 6; ++i) guid.bytes[10 + i] = static_cast<uint8_t>(node >> (8 * (5 - i)));
    return guid;
  }
  bool operator==(const Guid&) const = default;
};

// UEFI 2.10 5.3.3: the partition type of an EFI system partition; and the
// basic data partition type, which the parts of the disc that are no EFI
// system partition get, as peers' hybrid images give them.
inline constexpr Guid efi_system_partition_type =
    Guid::from_text_fields(0xC12A7328, 0xF81F, 0x11D2, 0xBA4B, 0x00A0C93EC93B);
inline constexpr Guid basic_data_partition_type =
    Guid::from_text_fields(0xEBD0A0A2, 0xB9E5, 0x4433, 0x87C0, 0x68B6B72699C7);

// A GUID made from `seed` and `index` alone, so that an image built twice
// from the same tree at the same time (SOURCE_DATE_EPOCH) gets the same disk
// and partition GUIDs, while different indexes and seeds give different
// ones. It is marked as an RFC 4122 version 4 (random) GUID: its bits carry
// no meaning.
Guid derived_guid(const uint8_t* seed, size_t seed_bytes, uint64_t index);

}  // namespace kestrel::partition
