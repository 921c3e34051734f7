#include "udf/udf_tags.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/sector_fields.h"
#include "platform/calendar.h"

namespace kestrel {
namespace {

// ECMA-167 3/7.2 Descriptor Tag.
constexpr size_t tag_identifier_offset = 0;
constexpr size_t tag_version_offset = 2;
constexpr size_t tag_checksum_offset = 4;
constexpr size_t tag_serial_offset = 6;
constexpr size_t tag_crc_offset = 8;
constexpr size_t tag_crc_length_offset = 10;
constexpr size_t tag_location_offset = 12;
// Descriptor version 3 belongs to ECMA-167 3rd edition (NSR03), which the
// 2.50 volumes record; revision 1.02 volumes record version 2 (NSR02).
constexpr uint16_t descriptor_version_nsr02 = 2;
constexpr uint16_t descriptor_version_nsr03 = 3;
constexpr uint16_t tag_serial_number = 1;

// CRC-ITU-T generator polynomial x^16 + x^12 + x^5 + 1.
constexpr uint16_t crc_polynomial = 0x1021;

constexpr std::array<uint16_t, 256> make_crc_table() {
  std::array<uint16_t, 256> table{};
  for (unsigned index = 0; index < 256; ++index) {
    unsigned value = index << 8;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 0x8000) != 0 ? (value << 1) ^ crc_polynomial : value << 1;
    }
    table[index] = static_cast<uint16_t>(value);
  }
  return table;
}
// Tables for eight bytes at a time: crc_slices[k][b] is the CRC of byte b
// followed by k zero bytes. The CRC is linear, so eight bytes are folded in
// with eight independent lookups instead of a chain of eight dependent ones;
// the CRCs of a tree's descriptors cost about an eighth of the time.
constexpr size_t crc_slice_count = 8;
using CrcSlices = std::array<std::array<uint16_t, 256>, crc_slice_count>;
constexpr CrcSlices make_crc_slices() {
  CrcSlices slices{};
  slices[0] = make_crc_table();
  for (size_t k = 1; k < crc_slice_count; ++k) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      const uint16_t shorter = slices[k - 1][byte];
      slices[k][byte] = static_cast<uint16_t>((shorter << 8) ^ slices[0][shorter >> 8]);
    }
  }
  return slices;
}
constexpr CrcSlices crc_slices = make_crc_slices();
constexpr const std::array<uint16_t, 256>& crc_table = crc_slices[0];

// ECMA-167 1/7.3 Timestamp.
constexpr size_t timestamp_type_and_zone = 0;
constexpr size_t timestamp_year = 2;
constexpr size_t timestamp_month = 4;
constexpr size_t timestamp_day = 5;
constexpr size_t timestamp_hour = 6;
constexpr size_t timestamp_minute = 7;
constexpr size_t timestamp_second = 8;
// Type 1: the time is local time, the low 12 bits its offset from UTC in minutes.
constexpr uint16_t timestamp_type_local = 0x1000;
constexpr uint16_t timestamp_zone_mask = 0x0FFF;
// The zone value -2047 (0x801 in 12 bits) means "not specified".
constexpr uint16_t timestamp_zone_unspecified = 0x0801;
// ECMA-167 1/7.3.3 allows years 1 to 9999.
constexpr int timestamp_year_min = 1;
constexpr int timestamp_year_max = 9999;

// ECMA-167 1/7.4 Entity Identifier.
constexpr size_t regid_flags = 0;
constexpr size_t regid_identifier = 1;
constexpr size_t regid_identifier_bytes = 23;
constexpr size_t regid_suffix = 24;
// UDF 2.1.5.3 Domain Identifier Suffix: revision, then the domain flags.
constexpr size_t regid_suffix_domain_flags = regid_suffix + 2;

// ECMA-167 1/7.2.1 Character Set Specification.
constexpr size_t charspec_type = 0;
constexpr size_t charspec_information = 1;
constexpr uint8_t charspec_type_cs0 = 0;
constexpr std::string_view cs0_information = "OSTA Compressed Unicode";

// ECMA-167 4/14.14.2 long_ad and 4/7.1 lb_addr; 4/14.14.1 short_ad; 3/7.1 extent_ad.
constexpr size_t long_ad_length = 0;
constexpr size_t long_ad_block = 4;
constexpr size_t long_ad_partition = 8;
constexpr size_t short_ad_length = 0;
constexpr size_t short_ad_position = 4;
constexpr size_t extent_ad_length = 0;
constexpr size_t extent_ad_location = 4;

// ECMA-167 4/14.1 File Set Descriptor.
constexpr size_t fsd_recording_time = 16;
constexpr size_t fsd_interchange_level = 28;
constexpr size_t fsd_max_interchange_level = 30;
constexpr size_t fsd_character_set_list = 32;
constexpr size_t fsd_max_character_set_list = 36;
constexpr size_t fsd_file_set_number = 40;
constexpr size_t fsd_file_set_descriptor_number = 44;
constexpr size_t fsd_lv_identifier_charset = 48;
constexpr size_t fsd_lv_identifier = 112;
constexpr size_t fsd_file_set_charset = 240;
constexpr size_t fsd_file_set_identifier = 304;
constexpr size_t fsd_file_set_identifier_bytes = 32;
constexpr size_t fsd_root_directory_icb = 400;
constexpr size_t fsd_domain_identifier = 416;
// UDF 2.3.2.1: interchange level 3 (no restrictions of levels 1 and 2).
constexpr uint16_t fsd_interchange_level_value = 3;
// UDF 2.1.2: the character set list names CS0 only (bit 0).
constexpr uint32_t character_set_list_cs0 = 1;
// The root directory's file entry follows the descriptor and its terminator.
constexpr uint32_t root_directory_block = 2;

constexpr size_t label_bytes = sizeof(ImageWriter::volume_label);

bool is_high_surrogate(uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

uint16_t descriptor_crc(const uint8_t* bytes, size_t length) {
  uint16_t crc = 0;
  for (; length >= crc_slice_count; bytes += crc_slice_count, length -= crc_slice_count) {
    // The running CRC, most significant byte first, folds into the first two bytes.
    const unsigned first = bytes[0] ^ (crc >> 8);
    const unsigned second = bytes[1] ^ (crc & 0xFF);
    crc = static_cast<uint16_t>(crc_slices[7][first] ^ crc_slices[6][second] ^
                                crc_slices[5][bytes[2]] ^ crc_slices[4][bytes[3]] ^
                                crc_slices[3][bytes[4]] ^ crc_slices[2][bytes[5]] ^
                                crc_slices[1][bytes[6]] ^ crc_slices[0][bytes[7]]);
  }
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>((crc << 8) ^ crc_table[((crc >> 8) ^ bytes[i]) & 0xFF]);
  }
  return crc;
}

void make_tag(const ImageWriter& writer, uint8_t* descriptor, uint16_t tag_identifier,
              uint16_t crc_length, uint32_t location) {
  const FieldWriter tag(descriptor, descriptor_tag_bytes + crc_length);
  tag.le16(tag_identifier_offset, tag_identifier);
  tag.le16(tag_version_offset, writer.udf_revision >= udf_revision_250 ? descriptor_version_nsr03
                                                                       : descriptor_version_nsr02);
  tag.u8(tag_checksum_offset, 0);
  tag.u8(tag_checksum_offset + 1, 0);  // reserved
  tag.le16(tag_serial_offset, tag_serial_number);
  tag.le16(tag_crc_offset, descriptor_crc(descriptor + descriptor_tag_bytes, crc_length));
  tag.le16(tag_crc_length_offset, crc_length);
  tag.le32(tag_location_offset, location);
  // The checksum covers the other 15 tag bytes, so it is computed last.
  unsigned sum = 0;
  for (size_t i = 0; i < descriptor_tag_bytes; ++i) {
    if (i != tag_checksum_offset) sum += descriptor[i];
  }
  tag.u8(tag_checksum_offset, static_cast<uint8_t>(sum & 0xFF));
}

void make_udf_timestamp(int64_t time, uint8_t* destination) {
  const FieldWriter stamp(destination, udf_timestamp_bytes);
  stamp.fill(0, 0, udf_timestamp_bytes);
  const std::optional<LocalTime> local = local_time(time);
  if (!local || local->year < timestamp_year_min || local->year > timestamp_year_max) {
    // A valid timestamp that claims nothing about the zone: the epoch, zone
    // "not specified". A month of 0 would make the whole record invalid.
    stamp.le16(timestamp_type_and_zone, timestamp_type_local | timestamp_zone_unspecified);
    stamp.le16(timestamp_year, 1970);
    stamp.u8(timestamp_month, 1);
    stamp.u8(timestamp_day, 1);
    return;
  }
  // A negative offset is stored as its 12-bit two's complement.
  const auto zone =
      static_cast<uint16_t>(static_cast<unsigned>(local->utc_offset_minutes) & timestamp_zone_mask);
  stamp.le16(timestamp_type_and_zone, static_cast<uint16_t>(timestamp_type_local | zone));
  stamp.le16(timestamp_year, static_cast<uint16_t>(local->year));
  stamp.u8(timestamp_month, static_cast<uint8_t>(local->month));
  stamp.u8(timestamp_day, static_cast<uint8_t>(local->day));
  stamp.u8(timestamp_hour, static_cast<uint8_t>(local->hour));
  stamp.u8(timestamp_minute, static_cast<uint8_t>(local->minute));
  stamp.u8(timestamp_second, static_cast<uint8_t>(local->second));
  // Centiseconds, hundreds of microseconds and microseconds stay 0.
}

void make_dstring8(uint8_t* field, size_t width, const uint8_t* chars, size_t count) {
  if (width < 2) return;
  const FieldWriter dstring(field, width);
  dstring.fill(0, 0, width);
  const size_t used = std::min(count, width - 2);
  dstring.u8(0, dstring_compression_8);
  dstring.bytes(1, chars, used);
  dstring.u8(width - 1, static_cast<uint8_t>(used + 1));
}

void make_dstring16(uint8_t* field, size_t width, const char16_t* units, size_t byte_count) {
  if (width < 2) return;
  const FieldWriter dstring(field, width);
  dstring.fill(0, 0, width);
  // Whole units only, and never the first half of a surrogate pair alone.
  size_t unit_count = std::min(byte_count, width - 2) / 2;
  if (unit_count > 0 && unit_count < byte_count / 2 && is_high_surrogate(units[unit_count - 1]))
    --unit_count;
  dstring.u8(0, dstring_compression_16);
  for (size_t i = 0; i < unit_count; ++i) dstring.be16(1 + 2 * i, static_cast<uint16_t>(units[i]));
  dstring.u8(width - 1, static_cast<uint8_t>(2 * unit_count + 1));
}

void copy_label_dstring(const ImageWriter& writer, uint8_t* field, size_t width) {
  if (width < 2) return;
  const FieldWriter dstring(field, width);
  dstring.fill(0, 0, width);
  const uint8_t* label = writer.volume_label;
  const uint8_t label_used = label[label_bytes - 1];
  if (label_used == 0) return;  // an empty d-string is all zeros (ECMA-167 1/7.2.12)
  size_t count = std::min<size_t>(label_used - 1u, width - 2);
  if (label[0] == dstring_compression_16) {
    count &= ~size_t{1};
    // Leave out a high surrogate whose partner does not fit.
    if (count >= 2 && count < label_used - 1u &&
        is_high_surrogate(read_be16(label + 1 + count - 2)))
      count -= 2;
  }
  dstring.u8(0, label[0]);
  dstring.bytes(1, label + 1, count);
  dstring.u8(width - 1, static_cast<uint8_t>(count + 1));
}

void write_regid(uint8_t* field, uint8_t flags, std::string_view identifier,
                 uint16_t revision_suffix) {
  const FieldWriter regid(field, regid_bytes);
  regid.u8(regid_flags, flags);
  regid.text(regid_identifier, identifier.substr(0, regid_identifier_bytes));
  if (revision_suffix != 0) regid.le16(regid_suffix, revision_suffix);
}

void write_implementation_regid(const ImageWriter& writer, uint8_t* field) {
  const FieldWriter regid(field, regid_bytes);
  regid.u8(regid_flags, 0);
  regid.bytes(regid_identifier, writer.implementation_id, regid_identifier_bytes);
}

void write_application_regid(const ImageWriter& writer, uint8_t* field) {
  const FieldWriter regid(field, regid_bytes);
  regid.u8(regid_flags, 0);
  regid.bytes(regid_identifier, writer.application_id, regid_identifier_bytes);
}

void write_domain_regid(const ImageWriter& writer, uint8_t* field) {
  write_regid(field, 0, regid_domain_osta, writer.udf_revision);
  FieldWriter(field, regid_bytes).u8(regid_suffix_domain_flags, domain_flags_write_protected);
}

void write_cs0_charspec(uint8_t* field) {
  const FieldWriter charspec(field, charspec_bytes);
  charspec.u8(charspec_type, charspec_type_cs0);
  charspec.text(charspec_information, cs0_information);
}

void write_long_ad(uint8_t* field, uint32_t length, uint32_t block, uint16_t partition) {
  const FieldWriter ad(field, long_ad_bytes);
  ad.le32(long_ad_length, length);
  ad.le32(long_ad_block, block);
  ad.le16(long_ad_partition, partition);
}

void write_short_ad(uint8_t* field, uint32_t length, uint32_t position) {
  const FieldWriter ad(field, short_ad_bytes);
  ad.le32(short_ad_length, length);
  ad.le32(short_ad_position, position);
}

void write_extent_ad(uint8_t* field, uint32_t length, uint32_t location) {
  const FieldWriter ad(field, extent_ad_bytes);
  ad.le32(extent_ad_length, length);
  ad.le32(extent_ad_location, location);
}

uint16_t file_structure_partition(const ImageWriter& writer) {
  return writer.udf_revision >= udf_revision_250 ? 1 : 0;
}

void fill_file_set_descriptor(const ImageWriter& writer, uint8_t* sector) {
  const FieldWriter fsd(sector, sector_bytes);
  fsd.bytes(fsd_recording_time, writer.build_timestamp, udf_timestamp_bytes);
  fsd.le16(fsd_interchange_level, fsd_interchange_level_value);
  fsd.le16(fsd_max_interchange_level, fsd_interchange_level_value);
  fsd.le32(fsd_character_set_list, character_set_list_cs0);
  fsd.le32(fsd_max_character_set_list, character_set_list_cs0);
  fsd.le32(fsd_file_set_number, 0);
  fsd.le32(fsd_file_set_descriptor_number, 0);
  write_cs0_charspec(sector + fsd_lv_identifier_charset);
  fsd.bytes(fsd_lv_identifier, writer.volume_label, label_bytes);
  write_cs0_charspec(sector + fsd_file_set_charset);
  copy_label_dstring(writer, sector + fsd_file_set_identifier, fsd_file_set_identifier_bytes);
  write_long_ad(sector + fsd_root_directory_icb, sector_bytes, root_directory_block,
                file_structure_partition(writer));
  write_domain_regid(writer, sector + fsd_domain_identifier);
  // Next extent and system stream directory ICB stay zero.
  make_tag(writer, sector, tag_file_set_descriptor, full_descriptor_crc_length, 0);
}

void fill_terminating_descriptor(const ImageWriter& writer, uint8_t* sector, uint32_t location) {
  make_tag(writer, sector, tag_terminating_descriptor, full_descriptor_crc_length, location);
}

}  // namespace kestrel
