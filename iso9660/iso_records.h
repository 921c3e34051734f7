// Sizes and fillers of the ISO 9660 records shared by the directory, path
// table and descriptor writers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/disc_image.h"
#include "disc/field_writer.h"

namespace kestrel::iso9660 {

// ECMA-119 9.1 Directory Record.
namespace dir_record {
inline constexpr size_t length = 0;
inline constexpr size_t extended_attribute_length = 1;
inline constexpr size_t extent_location = 2;  // both-endian 32-bit
inline constexpr size_t data_length = 10;     // both-endian 32-bit
inline constexpr size_t recording_date = 18;  // 7 bytes (9.1.5)
inline constexpr size_t file_flags = 25;
inline constexpr size_t file_unit_size = 26;
inline constexpr size_t interleave_gap = 27;
inline constexpr size_t volume_sequence_number = 28;  // both-endian 16-bit
inline constexpr size_t identifier_length = 32;
inline constexpr size_t identifier = 33;
inline constexpr size_t fixed_part = 33;
}  // namespace dir_record

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

// ECMA-119 9.4 Path Table Record.
namespace path_record {
inline constexpr size_t identifier_length = 0;
inline constexpr size_t extended_attribute_length = 1;
inline constexpr size_t extent_location = 2;  // 32-bit, the table's byte order
inline constexpr size_t parent_number = 6;    // 16-bit, the table's byte order
inline constexpr size_t identifier = 8;
inline constexpr size_t fixed_part = 8;
}  // namespace path_record

// Path table numbers are 16-bit (ECMA-119 9.4.4).
inline constexpr uint32_t max_directory_number = 0xFFFF;

// Bytes of a directory record with an identifier of `identifier_length`
// bytes: the identifier is followed by a padding byte when its length is
// even (ECMA-119 9.1.12), then the DVD-video system use bytes.
inline uint32_t directory_record_bytes(const DiscImage& image, uint32_t identifier_length) {
  return static_cast<uint32_t>(dir_record::fixed_part) + identifier_length +
         (identifier_length % 2 == 0 ? 1 : 0) +
         (image.tree.dvd_video_mode ? static_cast<uint32_t>(dvd_system_use_bytes) : 0);
}

// Bytes of a path table record: odd identifiers get a padding byte (ECMA-119 9.4.6).
inline uint32_t path_record_bytes(uint32_t identifier_length) {
  return static_cast<uint32_t>(path_record::fixed_part) + identifier_length +
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

inline uint64_t sectors_for_bytes(uint64_t bytes) {
  return (bytes + sector_bytes - 1) / sector_bytes;
}

// Absolute first sector of a directory's extent.
inline uint64_t directory_location(const DiscImage& image, const SourceNode& directory) {
  return static_cast<uint64_t>(image.layout.iso_area_start) +
         2ull * image.layout.path_table_sectors + directory.iso_dir_sector;
}

struct DirectoryRecord {
  uint32_t location = 0;
  uint32_t data_length = 0;
  int64_t recorded = 0;
  uint8_t flags = 0;
  const uint8_t* identifier = nullptr;
  uint32_t identifier_length = 0;
};

// Fills one directory record at the start of `out`; returns its length.
// System use bytes (DVD-video mode) stay zero.
uint32_t fill_directory_record(const FieldWriter& out, const DirectoryRecord& record,
                               bool dvd_system_use);

// The identifier of a node as stored: 0x00 for the root, else iso_name.
struct Identifier {
  const uint8_t* bytes;
  uint32_t length;
};
Identifier node_identifier(const SourceNode& node);

// Fills the whole extent of one directory into `buffer`, which holds
// ceil(iso_dir_bytes / 2048) zeroed sectors.
void fill_iso_directory(const DiscImage& image, const SourceNode& directory, uint8_t* buffer);

// Fills one path table (path_table_sectors zeroed sectors) in the given byte order.
void fill_path_table(const DiscImage& image, bool little_endian, uint8_t* buffer);

// Fills the primary volume descriptor sector.
void fill_primary_descriptor(const DiscImage& image, uint8_t* sector);

}  // namespace kestrel::iso9660
