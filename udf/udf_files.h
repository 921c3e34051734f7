// The UDF file structure inside the partition: file identifier descriptors
// (ECMA-167 4/14.4), file entries (4/14.9, UDF 1.02) and extended file
// entries (4/14.17, UDF 2.50), and the sizes that the layout reserves for
// them. The entry points that the engine calls are in udf/udf_volume.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/image_writer.h"

namespace kestrel {

// A file identifier holds at most 255 bytes (its length field is 8 bits),
// one of which is the compression ID: 254 name bytes, that is 127 UTF-16
// units or 254 bytes of an 8-bit name (UDF 2.1.1, ECMA-167 4/14.4.4).
inline constexpr size_t max_udf_name_bytes = 254;

// File data is recorded in extents of at most this many bytes: the largest
// whole number of 2048-byte blocks below the 30-bit extent length limit of
// ECMA-167 4/14.14.1.1.
inline constexpr uint32_t udf_piece_bytes = 0x3FFFF000;
inline constexpr uint32_t udf_piece_sectors = udf_piece_bytes / sector_bytes;  // 524,286

// Allocation descriptors that fit in one entry block after the fixed part:
// (2048 - 308) / 8 short descriptors in a 1.02 file entry with its two
// extended attributes, (2048 - 216) / 16 long descriptors in a 2.50 extended
// file entry. Ordinary files have no continuation extents, so these bound the
// size of one file.
inline constexpr uint64_t file_entry_max_pieces = 217;
inline constexpr uint64_t extended_file_entry_max_pieces = 114;

// Byte length of the file identifier descriptor that names a child whose UDF
// name has `name_bytes` bytes: 38 fixed bytes, the compression ID, the name,
// padded to a multiple of 4 (ECMA-167 4/14.4.9).
constexpr uint32_t file_identifier_bytes(uint32_t name_bytes) { return (name_bytes + 42u) & ~3u; }
// The parent entry that starts every directory has an empty identifier.
inline constexpr uint32_t parent_identifier_bytes = 40;

// Data extents of a file of `size` bytes.
constexpr uint64_t udf_piece_count(uint64_t size) {
  return (size + udf_piece_bytes - 1) / udf_piece_bytes;
}

// Blocks taken by a node's entry: one, more only for interleaved clips with
// continuation extents.
inline uint32_t udf_entry_blocks(const SourceNode& node) {
  return node.icb_sectors > 1 ? node.icb_sectors : 1;
}

// ICB file types (ECMA-167 4/14.6.6; UDF 2.3.5.2 for the real-time file).
inline constexpr uint8_t icb_file_type_directory = 4;
inline constexpr uint8_t icb_file_type_file = 5;
inline constexpr uint8_t icb_file_type_real_time = 249;

// The file type recorded for a node: every Blu-ray stream clip (any non-zero
// kind) is a real-time file.
uint8_t udf_file_type(const SourceNode& node);

// Builds the file entry (1.02) or the extended file entry (2.50) of `node`
// at partition block `block` into a zero-filled sector; the tag is complete.
void fill_file_entry(const ImageWriter& writer, uint32_t block, const SourceNode& node,
                     uint8_t* sector);
void fill_extended_file_entry(const ImageWriter& writer, uint32_t block, const SourceNode& node,
                              uint8_t* sector);

// Emit the entry of `node` at `block`: one sector for a file entry;
// udf_entry_blocks(node) sectors for an extended file entry.
void write_file_entry(ImageWriter& writer, uint32_t block, const SourceNode& node);
void write_extended_file_entry(ImageWriter& writer, uint32_t block, const SourceNode& node);

// Emits the file identifier descriptors of `directory`, which start at
// partition block `first_block`: the parent entry, then one per child in
// primary order. Returns the bytes emitted, a whole number of blocks.
uint64_t write_udf_directory(ImageWriter& writer, uint32_t first_block,
                             const SourceNode& directory);

}  // namespace kestrel
