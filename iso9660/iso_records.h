// Every ISO 9660 record this program writes, declared once: the offset and
// width of each field in the order of its ECMA-119 clause, with a check at
// compile time that the fields fill the record; and the sizes and fillers
// that the directory, path table and descriptor writers share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/disc_image.h"
#include "disc/field_writer.h"

namespace kestrel::iso9660 {

// ECMA-119 9.1.5 Recording Date and Time of a directory record.
namespace date7 {
inline constexpr Field years_since_1900{0, 1};
inline constexpr Field month{1, 1};
inline constexpr Field day{2, 1};
inline constexpr Field hour{3, 1};
inline constexpr Field minute{4, 1};
inline constexpr Field second{5, 1};
inline constexpr Field offset{6, 1};  // from UTC, in 15-minute units
inline constexpr size_t bytes = 7;
static_assert(fields_fill({years_since_1900, month, day, hour, minute, second, offset}, bytes));
}  // namespace date7

// ECMA-119 8.4.26.1 Date and Time of the volume descriptor: decimal digits,
// then the offset from UTC in 15-minute units.
namespace date17 {
inline constexpr Field year{0, 4};
inline constexpr Field month{4, 2};
inline constexpr Field day{6, 2};
inline constexpr Field hour{8, 2};
inline constexpr Field minute{10, 2};
inline constexpr Field second{12, 2};
inline constexpr Field hundredths{14, 2};
inline constexpr Field offset{16, 1};
inline constexpr size_t bytes = 17;
static_assert(fields_fill({year, month, day, hour, minute, second, hundredths, offset}, bytes));
}  // namespace date17

// ECMA-119 8.1 Volume Descriptor: the header of every volume descriptor.
namespace volume_descriptor {
inline constexpr Field type{0, 1};
inline constexpr Field standard_identifier{1, 5};
inline constexpr Field version{6, 1};
inline constexpr Field data{7, 2041};
inline constexpr size_t bytes = 2048;
static_assert(fields_fill({type, standard_identifier, version, data}, bytes));
}  // namespace volume_descriptor

// ECMA-119 8.4 Primary Volume Descriptor.
namespace primary_descriptor {
inline constexpr Field type{0, 1};
inline constexpr Field standard_identifier{1, 5};
inline constexpr Field version{6, 1};
inline constexpr Field unused_1{7, 1};
inline constexpr Field system_identifier{8, 32};
inline constexpr Field volume_identifier{40, 32};
inline constexpr Field unused_2{72, 8};
inline constexpr Field volume_space_size{80, 8};  // both-endian 32-bit
inline constexpr Field unused_3{88, 32};
inline constexpr Field volume_set_size{120, 4};         // both-endian 16-bit
inline constexpr Field volume_sequence_number{124, 4};  // both-endian 16-bit
inline constexpr Field logical_block_size{128, 4};      // both-endian 16-bit
inline constexpr Field path_table_size{132, 8};         // both-endian 32-bit
inline constexpr Field type_l_path_table{140, 4};       // little-endian
inline constexpr Field optional_type_l_path_table{144, 4};
inline constexpr Field type_m_path_table{148, 4};  // big-endian
inline constexpr Field optional_type_m_path_table{152, 4};
inline constexpr Field root_directory_record{156, 34};
inline constexpr Field volume_set_identifier{190, 128};
inline constexpr Field publisher_identifier{318, 128};
inline constexpr Field data_preparer_identifier{446, 128};
inline constexpr Field application_identifier{574, 128};
inline constexpr Field copyright_file_identifier{702, 37};
inline constexpr Field abstract_file_identifier{739, 37};
inline constexpr Field bibliographic_file_identifier{776, 37};
inline constexpr Field creation_date{813, 17};  // date17
inline constexpr Field modification_date{830, 17};
inline constexpr Field expiration_date{847, 17};
inline constexpr Field effective_date{864, 17};
inline constexpr Field file_structure_version{881, 1};
inline constexpr Field reserved_1{882, 1};
inline constexpr Field application_use{883, 512};
inline constexpr Field reserved_2{1395, 653};
inline constexpr size_t bytes = 2048;
static_assert(fields_fill({type,
                           standard_identifier,
                           version,
                           unused_1,
                           system_identifier,
                           volume_identifier,
                           unused_2,
                           volume_space_size,
                           unused_3,
                           volume_set_size,
                           volume_sequence_number,
                           logical_block_size,
                           path_table_size,
                           type_l_path_table,
                           optional_type_l_path_table,
                           type_m_path_table,
                           optional_type_m_path_table,
                           root_directory_record,
                           volume_set_identifier,
                           publisher_identifier,
                           data_preparer_identifier,
                           application_identifier,
                           copyright_file_identifier,
                           abstract_file_identifier,
                           bibliographic_file_identifier,
                           creation_date,
                           modification_date,
                           expiration_date,
                           effective_date,
                           file_structure_version,
                           reserved_1,
                           application_use,
                           reserved_2},
                          bytes));
static_assert(creation_date.width == date17::bytes && effective_date.width == date17::bytes);
static_assert(type.offset == volume_descriptor::type.offset &&
              standard_identifier.offset == volume_descriptor::standard_identifier.offset &&
              version.offset == volume_descriptor::version.offset);
}  // namespace primary_descriptor

// ECMA-119 8.5 Supplementary Volume Descriptor: the fields of the primary
// descriptor, with the volume flags where the primary has its first unused
// byte and the escape sequences where it has its third unused field. The
// text fields hold the character set the escape sequences name.
namespace supplementary_descriptor {
inline constexpr Field volume_flags{7, 1};
inline constexpr Field escape_sequences{88, 32};
static_assert(volume_flags.offset == primary_descriptor::unused_1.offset &&
              volume_flags.width == primary_descriptor::unused_1.width);
static_assert(escape_sequences.offset == primary_descriptor::unused_3.offset &&
              escape_sequences.width == primary_descriptor::unused_3.width);
}  // namespace supplementary_descriptor

// ECMA-119 9.1 Directory Record; the file identifier, a padding byte after
// an identifier of even length, and the system use follow the fixed part.
namespace directory_record {
inline constexpr Field length{0, 1};
inline constexpr Field extended_attribute_length{1, 1};
inline constexpr Field extent_location{2, 8};  // both-endian 32-bit
inline constexpr Field data_length{10, 8};     // both-endian 32-bit
inline constexpr Field recording_date{18, 7};  // date7
inline constexpr Field file_flags{25, 1};
inline constexpr Field file_unit_size{26, 1};
inline constexpr Field interleave_gap{27, 1};
inline constexpr Field volume_sequence_number{28, 4};  // both-endian 16-bit
inline constexpr Field identifier_length{32, 1};
inline constexpr size_t bytes = 33;
static_assert(fields_fill({length, extended_attribute_length, extent_location, data_length,
                           recording_date, file_flags, file_unit_size, interleave_gap,
                           volume_sequence_number, identifier_length},
                          bytes));
// The root's record in the primary volume descriptor: a one-byte identifier.
static_assert(primary_descriptor::root_directory_record.width == bytes + 1 &&
              recording_date.width == date7::bytes);
}  // namespace directory_record

// ECMA-119 9.1.6 file flags.
inline constexpr uint8_t flag_directory = 0x02;
inline constexpr uint8_t flag_multi_extent = 0x80;

// Identifiers of the two records every directory starts with (ECMA-119 6.8.2.2).
inline constexpr uint8_t self_identifier = 0x00;
inline constexpr uint8_t parent_identifier = 0x01;

// The DVD-video format gives each directory record 6 bytes of system use.
inline constexpr size_t dvd_system_use_bytes = 6;

// A file extent must fit the 32-bit Data Length; 0xFFFFF800 is the largest
// whole number of sectors that does. Larger files are recorded as several
// extents (ECMA-119 6.5.1, multi-extent files).
inline constexpr uint64_t max_extent_bytes = 0xFFFFF800;
inline constexpr uint32_t max_extent_sectors =
    static_cast<uint32_t>(max_extent_bytes / sector_bytes);

// ECMA-119 9.4 Path Table Record; the directory identifier and a padding
// byte after an identifier of odd length follow the fixed part.
namespace path_table_record {
inline constexpr Field identifier_length{0, 1};
inline constexpr Field extended_attribute_length{1, 1};
inline constexpr Field extent_location{2, 4};  // 32-bit, the table's byte order
inline constexpr Field parent_number{6, 2};    // 16-bit, the table's byte order
inline constexpr size_t bytes = 8;
static_assert(fields_fill({identifier_length, extended_attribute_length, extent_location,
                           parent_number},
                          bytes));
}  // namespace path_table_record

// Path table numbers are 16-bit (ECMA-119 9.4.4).
inline constexpr uint32_t max_directory_number = 0xFFFF;

// Bytes of a directory record with an identifier of `identifier_length`
// bytes: the identifier is followed by a padding byte when its length is
// even (ECMA-119 9.1.12), then the DVD-video system use bytes.
inline uint32_t directory_record_bytes(const DiscImage& image, uint32_t identifier_length) {
  return static_cast<uint32_t>(directory_record::bytes) + identifier_length +
         (identifier_length % 2 == 0 ? 1 : 0) +
         (image.tree.dvd_video_mode ? static_cast<uint32_t>(dvd_system_use_bytes) : 0);
}

// Bytes of a path table record: odd identifiers get a padding byte (ECMA-119 9.4.6).
inline uint32_t path_record_bytes(uint32_t identifier_length) {
  return static_cast<uint32_t>(path_table_record::bytes) + identifier_length +
         (identifier_length % 2 == 1 ? 1 : 0);
}

// Number of directory records (extents) a file needs; at least one.
inline uint64_t file_extent_count(const SourceNode& file) {
  return file.size <= max_extent_bytes ? 1 : (file.size + max_extent_bytes - 1) / max_extent_bytes;
}

// Where the next record goes in a directory: at `offset` when a record of
// `record_bytes` ends inside the sector it begins in, else at the start of
// the next sector (ECMA-119 6.8.1.1: records never span a sector boundary).
inline uint64_t place_record(uint64_t offset, uint32_t record_bytes) {
  const uint64_t used = offset % sector_bytes;
  if (used != 0 && record_bytes > sector_bytes - used) return offset - used + sector_bytes;
  return offset;
}

struct DirectoryRecord {
  uint32_t location = 0;
  uint32_t data_length = 0;
  int64_t recorded = 0;
  const uint8_t* recorded_date = nullptr;  // the date of `recorded`, when worked out already
  uint8_t flags = 0;
  const uint8_t* identifier = nullptr;
  uint32_t identifier_length = 0;
};

// Fills one directory record at the start of `out`; returns its length.
// System use bytes (DVD-video mode) stay zero.
uint32_t fill_directory_record(const FieldWriter& out, const DirectoryRecord& record,
                               bool dvd_system_use);

}  // namespace kestrel::iso9660
