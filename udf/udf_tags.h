// Building blocks shared by every UDF descriptor: the descriptor tag with its
// CRC and checksum (ECMA-167 3/7.2), timestamps (ECMA-167 1/7.3), d-strings
// (ECMA-167 1/7.2.12), entity identifiers (ECMA-167 1/7.4), the CS0 charspec
// (UDF 2.1.2), allocation descriptors (ECMA-167 4/14.14) and
// the file set descriptor with its terminator (ECMA-167 4/14.1, 3/10.9).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc/disc_image.h"
#include "disc/field_writer.h"
#include "udf/udf_records.h"

namespace kestrel::udf {

// Tag identifiers (ECMA-167 3/7.2.1 and 4/7.2.1).
inline constexpr uint16_t tag_primary_volume_descriptor = 1;
inline constexpr uint16_t tag_anchor_volume_descriptor_pointer = 2;
inline constexpr uint16_t tag_implementation_use_volume_descriptor = 4;
inline constexpr uint16_t tag_partition_descriptor = 5;
inline constexpr uint16_t tag_logical_volume_descriptor = 6;
inline constexpr uint16_t tag_unallocated_space_descriptor = 7;
inline constexpr uint16_t tag_terminating_descriptor = 8;
inline constexpr uint16_t tag_logical_volume_integrity_descriptor = 9;
inline constexpr uint16_t tag_file_set_descriptor = 256;
inline constexpr uint16_t tag_file_identifier_descriptor = 257;
inline constexpr uint16_t tag_allocation_extent_descriptor = 258;
inline constexpr uint16_t tag_file_entry = 261;
inline constexpr uint16_t tag_extended_attribute_header_descriptor = 262;
inline constexpr uint16_t tag_extended_file_entry = 266;

// The CRC length of a descriptor whose CRC covers all of it after its tag:
// its `fixed_bytes` and the `variable_bytes` that follow them.
constexpr uint16_t crc_length(size_t fixed_bytes, size_t variable_bytes = 0) {
  return static_cast<uint16_t>(fixed_bytes - descriptor_tag::bytes + variable_bytes);
}

// d-string compression IDs (UDF 2.1.1): one byte or two bytes per character.
inline constexpr uint8_t dstring_compression_8 = 8;
inline constexpr uint8_t dstring_compression_16 = 16;

// Entity identifier texts (UDF 2.1.5).
inline constexpr std::string_view regid_domain_osta = "*OSTA UDF Compliant";
inline constexpr std::string_view regid_lv_info = "*UDF LV Info";
inline constexpr std::string_view regid_metadata_partition = "*UDF Metadata Partition";
inline constexpr std::string_view regid_free_ea_space = "*UDF FreeEASpace";
inline constexpr std::string_view regid_dvd_cgms_info = "*UDF DVD CGMS Info";
// Domain flags in the domain identifier suffix: hard and soft write-protect.
inline constexpr uint8_t domain_flags_write_protected = 3;

// The CRC of ECMA-167 3/7.2.6: CRC-ITU-T (polynomial 0x1021), initial value 0,
// no reflection, no final inversion.
uint16_t descriptor_crc(const uint8_t* bytes, size_t length);

// Fills the 16 tag bytes of a descriptor whose body is complete: identifier,
// version (3 from UDF 2.00 on, else 2), serial number 1, the CRC over
// `crc_length` bytes after the tag, the location, and the checksum last.
void make_tag(const DiscImage& image, uint8_t* descriptor, uint16_t tag_identifier,
              uint16_t crc_length, uint32_t location);
// Moves a tagged descriptor to `location`: its tag's location and checksum.
// The CRC covers the bytes after the tag only, so it stays as it is.
void relocate_tag(uint8_t* descriptor, uint32_t location);

// A 12-byte timestamp of type 1 (local time) with the offset from UTC in force
// at `time`. A time the platform cannot break down is written as 1970-01-01
// 00:00:00 with the time zone "not specified".
void make_udf_timestamp(int64_t time, uint8_t* destination);

// d-strings of `width` bytes: compression ID, characters, zero fill, and the
// used length (compression ID included) in the last byte.
void make_dstring8(uint8_t* field, size_t width, const uint8_t* chars, size_t count);
// `byte_count` is twice the number of UTF-16 units; each unit is stored high
// byte first. A surrogate pair is never cut in half at the width limit.
void make_dstring16(uint8_t* field, size_t width, const char16_t* units, size_t byte_count);

// The 128-byte d-string of the volume label, into a field of that width.
void write_label_dstring(const DiscImage& image, const FieldWriter& field);
// A shorter d-string copied from the 128-byte one.
void copy_label_dstring(const DiscImage& image, uint8_t* field, size_t width);

// The shared field types, each written into the field of its record that
// `field` covers.
//
// Entity identifiers: flags, identifier (up to 23 bytes), and as suffix either
// nothing (`revision_suffix` 0) or the UDF revision in its first two bytes.
void write_regid(const FieldWriter& field, uint8_t flags, std::string_view identifier,
                 uint16_t revision_suffix);
void write_implementation_regid(const DiscImage& image, const FieldWriter& field);
void write_application_regid(const DiscImage& image, const FieldWriter& field);
// "*OSTA UDF Compliant" with the revision and the write-protect domain flags.
void write_domain_regid(const DiscImage& image, const FieldWriter& field);
// CS0 with "OSTA Compressed Unicode" (UDF 2.1.2).
void write_cs0_charspec(const FieldWriter& field);
// The build timestamp, which every volume-level date copies.
void write_build_timestamp(const DiscImage& image, const FieldWriter& field);

// Allocation descriptors (ECMA-167 4/14.14.1-2) and the extent descriptor
// (ECMA-167 3/7.1). Lengths are in bytes.
void write_long_ad(const FieldWriter& field, uint32_t length, uint32_t block, uint16_t partition);
void write_short_ad(const FieldWriter& field, uint32_t length, uint32_t position);
void write_extent_ad(const FieldWriter& field, uint32_t length, uint32_t location);

// Partition reference of the file structure: the physical partition (0) for
// UDF 1.02, the metadata partition (1) for UDF 2.50.
uint16_t file_structure_partition(const DiscImage& image);

// The file set descriptor (ECMA-167 4/14.1) at partition block 0, into a
// zero-filled sector.
void fill_file_set_descriptor(const DiscImage& image, uint8_t* sector);
// A terminating descriptor (ECMA-167 3/10.9) with tag location `location`,
// into a zero-filled sector.
void fill_terminating_descriptor(const DiscImage& image, uint8_t* sector, uint32_t location);

}  // namespace kestrel::udf
