#include "udf/udf_tags.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "disc/field_writer.h"
#include "platform/calendar.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

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

// Type 1: the time is local time, the low 12 bits its offset from UTC in minutes.
constexpr uint16_t timestamp_type_local = 0x1000;
constexpr uint16_t timestamp_zone_mask = 0x0FFF;
// The zone value -2047 (0x801 in 12 bits) means "not specified".
constexpr uint16_t timestamp_zone_unspecified = 0x0801;
// ECMA-167 1/7.3.3 allows years 1 to 9999.
constexpr int timestamp_year_min = 1;
constexpr int timestamp_year_max = 9999;

// ECMA-167 1/7.2.1: character set type 0, CS0, as UDF 2.1.2 names it.
constexpr uint8_t charspec_type_cs0 = 0;
constexpr std::string_view cs0_information = "OSTA Compressed Unicode";

// UDF 2.3.2.1: interchange level 3 (no restrictions of levels 1 and 2).
constexpr uint16_t fsd_interchange_level_value = 3;
// UDF 2.1.2: the character set list names CS0 only (bit 0).
constexpr uint32_t character_set_list_cs0 = 1;
// The root directory's file entry follows the descriptor and its terminator.
constexpr uint32_t root_directory_block = 2;

constexpr size_t label_bytes = label_dstring_bytes;

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

void make_tag(const DiscImage& image, uint8_t* descriptor, uint16_t tag_identifier,
              uint16_t crc_length, uint32_t location) {
  const FieldWriter tag(descriptor, descriptor_tag::bytes + crc_length);
  tag.le16<descriptor_tag::identifier>(tag_identifier);
  tag.le16<descriptor_tag::version>(image.settings.udf_revision >= udf_revision_250
                                        ? descriptor_version_nsr03
                                        : descriptor_version_nsr02);
  tag.u8<descriptor_tag::checksum>(0);
  tag.u8<descriptor_tag::reserved>(0);
  tag.le16<descriptor_tag::serial_number>(tag_serial_number);
  tag.le16<descriptor_tag::crc>(descriptor_crc(descriptor + descriptor_tag::bytes, crc_length));
  tag.le16<descriptor_tag::crc_length>(crc_length);
  relocate_tag(descriptor, location);
}

void relocate_tag(uint8_t* descriptor, uint32_t location) {
  const FieldWriter tag(descriptor, descriptor_tag::bytes);
  tag.le32<descriptor_tag::location>(location);
  // The checksum covers the other 15 tag bytes, so it is computed last.
  unsigned sum = 0;
  for (size_t i = 0; i < descriptor_tag::bytes; ++i) {
    if (i != descriptor_tag::checksum.offset) sum += descriptor[i];
  }
  tag.u8<descriptor_tag::checksum>(static_cast<uint8_t>(sum & 0xFF));
}

void make_udf_timestamp(int64_t time, uint8_t* destination) {
  const FieldWriter stamp(destination, timestamp::bytes);
  stamp.fill(0, 0, timestamp::bytes);
  const std::optional<LocalTime> local = local_time(time);
  if (!local || local->year < timestamp_year_min || local->year > timestamp_year_max) {
    // A valid timestamp that claims nothing about the zone: the epoch, zone
    // "not specified". A month of 0 would make the whole record invalid.
    stamp.le16<timestamp::type_and_time_zone>(timestamp_type_local | timestamp_zone_unspecified);
    stamp.le16<timestamp::year>(1970);
    stamp.u8<timestamp::month>(1);
    stamp.u8<timestamp::day>(1);
    return;
  }
  // A negative offset is stored as its 12-bit two's complement.
  const auto zone =
      static_cast<uint16_t>(static_cast<unsigned>(local->utc_offset_minutes) & timestamp_zone_mask);
  stamp.le16<timestamp::type_and_time_zone>(static_cast<uint16_t>(timestamp_type_local | zone));
  stamp.le16<timestamp::year>(static_cast<uint16_t>(local->year));
  stamp.u8<timestamp::month>(static_cast<uint8_t>(local->month));
  stamp.u8<timestamp::day>(static_cast<uint8_t>(local->day));
  stamp.u8<timestamp::hour>(static_cast<uint8_t>(local->hour));
  stamp.u8<timestamp::minute>(static_cast<uint8_t>(local->minute));
  stamp.u8<timestamp::second>(static_cast<uint8_t>(local->second));
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

void write_label_dstring(const DiscImage& image, const FieldWriter& field) {
  uint8_t label[label_dstring_bytes];
  make_label_dstring(image, label);
  field.bytes(0, label, std::min(field.size(), sizeof label));
}

void copy_label_dstring(const DiscImage& image, uint8_t* field, size_t width) {
  if (width < 2) return;
  const FieldWriter dstring(field, width);
  dstring.fill(0, 0, width);
  uint8_t label[label_dstring_bytes];
  make_label_dstring(image, label);
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

void write_regid(const FieldWriter& field, uint8_t flags, std::string_view identifier,
                 uint16_t revision_suffix) {
  field.u8<regid::flags>(flags);
  field.text<regid::identifier>(identifier.substr(0, regid::identifier.width));
  if (revision_suffix != 0) field.le16<regid::suffix_revision>(revision_suffix);
}

void write_implementation_regid(const DiscImage& image, const FieldWriter& field) {
  field.u8<regid::flags>(0);
  field.bytes<regid::identifier>(image.settings.implementation_id, regid::identifier.width);
}

void write_application_regid(const DiscImage& image, const FieldWriter& field) {
  field.u8<regid::flags>(0);
  field.bytes<regid::identifier>(image.settings.application_id, regid::identifier.width);
}

void write_domain_regid(const DiscImage& image, const FieldWriter& field) {
  write_regid(field, 0, regid_domain_osta, image.settings.udf_revision);
  field.u8<regid::suffix_domain_flags>(domain_flags_write_protected);
}

void write_cs0_charspec(const FieldWriter& field) {
  field.u8<charspec::type>(charspec_type_cs0);
  field.text<charspec::information>(cs0_information);
}

void write_build_timestamp(const DiscImage& image, const FieldWriter& field) {
  field.bytes(0, image.settings.build_timestamp, timestamp::bytes);
}

void write_long_ad(const FieldWriter& field, uint32_t length, uint32_t block, uint16_t partition) {
  field.le32<long_ad::length>(length);
  field.le32<long_ad::block>(block);
  field.le16<long_ad::partition>(partition);
}

void write_short_ad(const FieldWriter& field, uint32_t length, uint32_t position) {
  field.le32<short_ad::length>(length);
  field.le32<short_ad::position>(position);
}

void write_extent_ad(const FieldWriter& field, uint32_t length, uint32_t location) {
  field.le32<extent_ad::length>(length);
  field.le32<extent_ad::location>(location);
}

uint16_t file_structure_partition(const DiscImage& image) {
  return image.settings.udf_revision >= udf_revision_250 ? 1 : 0;
}

void fill_file_set_descriptor(const DiscImage& image, uint8_t* sector) {
  namespace fsd = file_set_descriptor;
  const FieldWriter record(sector, fsd::bytes);
  write_build_timestamp(image, record.at<fsd::recording_time>());
  record.le16<fsd::interchange_level>(fsd_interchange_level_value);
  record.le16<fsd::max_interchange_level>(fsd_interchange_level_value);
  record.le32<fsd::character_set_list>(character_set_list_cs0);
  record.le32<fsd::max_character_set_list>(character_set_list_cs0);
  record.le32<fsd::file_set_number>(0);
  record.le32<fsd::file_set_descriptor_number>(0);
  write_cs0_charspec(record.at<fsd::lv_identifier_character_set>());
  write_label_dstring(image, record.at<fsd::logical_volume_identifier>());
  write_cs0_charspec(record.at<fsd::file_set_character_set>());
  copy_label_dstring(image, record.at<fsd::file_set_identifier>().data(),
                     fsd::file_set_identifier.width);
  write_long_ad(record.at<fsd::root_directory_icb>(), sector_bytes, root_directory_block,
                file_structure_partition(image));
  write_domain_regid(image, record.at<fsd::domain_identifier>());
  // Next extent and system stream directory ICB stay zero.
  make_tag(image, sector, tag_file_set_descriptor, crc_length(fsd::bytes), 0);
}

void fill_terminating_descriptor(const DiscImage& image, uint8_t* sector, uint32_t location) {
  make_tag(image, sector, tag_terminating_descriptor, crc_length(terminating_descriptor::bytes),
           location);
}

}  // namespace kestrel::udf
