// The CRC-32 of the GPT's header and partition entry array (UEFI 2.10
// 5.3.2): the CRC of ISO 3309 and ITU-T V.42, polynomial 0x04C11DB7 taken
// bit-reversed, initial value and final XOR 0xFFFFFFFF.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::partition {

uint32_t crc32(const uint8_t* bytes, size_t count);

}  // namespace kestrel::partition
