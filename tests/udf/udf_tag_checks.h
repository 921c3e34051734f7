// Checks for the UDF file structure tests: names as stored, and an
// independent check of descriptor tags (ECMA-167 3/7.2).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "disc/field_writer.h"
#include "engine/image_writer.h"

namespace kestrel::test {

// The UDF name of a node as a reader sees it: UTF-16 (stored high byte
// first), or 8-bit bytes taken as the code points of their values.
inline std::u16string udf_name_of(const ImageWriter&, const SourceNode& node) {
  std::u16string text;
  if (node.udf_name_8bit != 0) {
    for (size_t i = 0; i < node.udf_name_length; ++i)
      text += static_cast<char16_t>(node.udf_name[i]);
  } else {
    for (size_t i = 0; i + 1 < node.udf_name_length; i += 2)
      text += static_cast<char16_t>(read_be16(node.udf_name + i));
  }
  return text;
}

// The CRC of ECMA-167 3/7.2.6, bit by bit (CRC-ITU-T, initial value 0).
inline uint16_t reference_crc(const uint8_t* bytes, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

// Checks a descriptor tag: identifier, CRC length, location, CRC and checksum.
inline void expect_valid_tag(const uint8_t* descriptor, uint16_t identifier, uint16_t crc_length,
                             uint32_t location) {
  SCOPED_TRACE("tag " + std::to_string(identifier) + " at block " + std::to_string(location));
  EXPECT_EQ(read_le16(descriptor), identifier);
  EXPECT_EQ(read_le16(descriptor + 6), 1);  // serial number
  EXPECT_EQ(read_le16(descriptor + 10), crc_length);
  EXPECT_EQ(read_le32(descriptor + 12), location);
  EXPECT_EQ(read_le16(descriptor + 8), reference_crc(descriptor + 16, crc_length));
  unsigned sum = 0;
  for (int i = 0; i < 16; ++i) sum += i == 4 ? 0 : descriptor[i];
  EXPECT_EQ(descriptor[4], sum % 256);
}

}  // namespace kestrel::test
