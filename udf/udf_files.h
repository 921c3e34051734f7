// The UDF file structure inside the partition: file identifier descriptors
// (ECMA-167 4/14.4), file entries (4/14.9, UDF 1.02) and extended file
// entries (4/14.17, UDF 2.50), and the sizes that the layout reserves for
// them. The entry points that the engine calls are in udf/udf_volume.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/disc_image.h"
#include "disc/field_writer.h"
#include "disc/sector_emitter.h"
#include "udf/udf_allocation.h"

namespace kestrel::udf {

// A file identifier holds at most 255 bytes (its length field is 8 bits),
// one of which is the compression ID: 254 name bytes, that is 127 UTF-16
// units or 254 bytes of an 8-bit name (UDF 2.1.1, ECMA-167 4/14.4.4).
inline constexpr size_t max_udf_name_bytes = 254;

// Byte length of the file identifier descriptor that names a child whose UDF
// name has `name_bytes` bytes: the fixed part, the compression ID, the name,
// padded to a multiple of 4 (ECMA-167 4/14.4.9).
constexpr uint32_t file_identifier_bytes(uint32_t name_bytes) {
  return (static_cast<uint32_t>(file_identifier::bytes) + 1 + name_bytes + 3) & ~3u;
}
// The parent entry that starts every directory has an empty identifier.
inline constexpr uint32_t parent_identifier_bytes = (file_identifier::bytes + 3) & ~size_t{3};
static_assert(file_identifier_bytes(1) == 40 && file_identifier_bytes(2) == 44 &&
              parent_identifier_bytes == 40);

// ICB file types (ECMA-167 4/14.6.6; UDF 2.3.5.2 for the real-time file).
inline constexpr uint8_t icb_file_type_directory = 4;
inline constexpr uint8_t icb_file_type_file = 5;
inline constexpr uint8_t icb_file_type_real_time = 249;

// The file type recorded for a node: every Blu-ray stream clip (any non-zero
// kind) is a real-time file.
uint8_t udf_file_type(const SourceNode& node);

// ICB flags bits 0-2 (ECMA-167 4/14.6.8): which allocation descriptors the
// entry holds.
inline constexpr uint16_t icb_short_descriptors = 0;
inline constexpr uint16_t icb_long_descriptors = 1;

// The ICB tag of an entry (ECMA-167 4/14.6), at its `icb_tag` field: a single
// direct entry of `file_type`, archived, with `descriptor_form` descriptors.
void write_icb_tag(const FieldWriter& tag, uint8_t file_type, uint16_t descriptor_form);
// The owner fields of an entry of either kind: no user or group recorded,
// read and execute for everyone, and the link count.
void write_entry_owner(const FieldWriter& entry, uint16_t link_count);

// Builds the file entry (1.02) or the extended file entry (2.50) of `node`
// at partition block `block` into a zero-filled sector; the tag is complete.
void fill_file_entry(const DiscImage& image, uint32_t block, const SourceNode& node,
                     uint8_t* sector);
void fill_extended_file_entry(const DiscImage& image, uint32_t block, const SourceNode& node,
                              uint8_t* sector);

// Emit the entry of `node` at `block`: one sector for a file entry;
// udf_entry_blocks(node) sectors for an extended file entry.
void write_file_entry(const DiscImage& image, SectorEmitter& out, uint32_t block,
                      const SourceNode& node);
void write_extended_file_entry(const DiscImage& image, SectorEmitter& out, uint32_t block,
                               const SourceNode& node);

// Emits the file identifier descriptors of `directory`, which start at
// partition block `first_block`: the parent entry, then one per child in
// primary order. Returns the bytes emitted, a whole number of blocks.
uint64_t write_udf_directory(const DiscImage& image, SectorEmitter& out, uint32_t first_block,
                             const SourceNode& directory);

}  // namespace kestrel::udf
