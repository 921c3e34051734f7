// UDF 2.50 metadata partition: the metadata file entry at the start of the
// physical partition and the metadata mirror file entry after the file data
// (UDF 2.2.13). Both are extended file entries (ECMA-167 4/14.17) whose short
// allocation descriptors cover the `metadata_blocks` blocks of the file
// structure: from partition block 32 for the metadata file, from the mirror
// data for the mirror.
#include "udf/udf_metadata.h"

#include "disc/field_writer.h"
#include "udf/udf_allocation.h"
#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// ECMA-167 4/14.17 Extended File Entry, with the ICB tag of 4/14.6 at 16.
constexpr size_t icb_prior_entries = 16;
constexpr size_t icb_strategy_type = 20;
constexpr size_t icb_maximum_entries = 24;
constexpr size_t icb_file_type = 27;
constexpr size_t icb_flags = 34;
constexpr size_t efe_uid = 36;
constexpr size_t efe_gid = 40;
constexpr size_t efe_permissions = 44;
constexpr size_t efe_link_count = 48;
constexpr size_t efe_information_length = 56;
constexpr size_t efe_object_size = 64;
constexpr size_t efe_blocks_recorded = 72;
constexpr size_t efe_access_time = 80;
constexpr size_t efe_modification_time = 92;
constexpr size_t efe_creation_time = 104;
constexpr size_t efe_attribute_time = 116;
constexpr size_t efe_checkpoint = 128;
constexpr size_t efe_implementation_identifier = 168;
constexpr size_t efe_unique_id = 200;
constexpr size_t efe_ea_length = 208;
constexpr size_t efe_ad_length = 212;
constexpr size_t efe_allocation_descriptors = 216;

// Strategy 4: a single direct entry (ECMA-167 4/14.6.2).
constexpr uint16_t icb_strategy_direct = 4;
constexpr uint16_t icb_one_entry = 1;
// UDF 2.2.13: file types of the metadata file and its mirror.
constexpr uint8_t file_type_metadata = 250;
constexpr uint8_t file_type_metadata_mirror = 251;
// ICB flags: short allocation descriptors (value 0 in bits 0-2), archive (bit 5).
constexpr uint16_t icb_flags_short_ad_archive = 0x20;
// UDF 3.3.3.3: no owner or group is recorded.
constexpr uint32_t id_not_recorded = 0xFFFFFFFF;
// Read and execute for owner, group and others (ECMA-167 4/14.9.5).
constexpr uint32_t permissions_read_execute = 0x14A5;
constexpr uint32_t initial_checkpoint = 1;

// The metadata file's data starts one 32-block allocation unit into the
// physical partition, after the entry itself.
constexpr uint32_t metadata_data_block = 32;

}  // namespace

bool fill_metadata_file_entry(const DiscImage& image, uint8_t* buffer, uint32_t sector,
                              bool mirror) {
  // The metadata is allocated in 32-block units, so its extents are cut at a
  // multiple of 32 blocks too; a single entry sector holds this many.
  const uint64_t extents = (uint64_t{image.layout.metadata_blocks} + metadata_extent_blocks - 1) /
                           metadata_extent_blocks;
  if (extents > metadata_entry_descriptors) return false;
  const FieldWriter efe(buffer, sector_bytes);
  const uint64_t metadata_bytes =
      static_cast<uint64_t>(image.layout.metadata_blocks) * sector_bytes;
  efe.le32(icb_prior_entries, 0);
  efe.le16(icb_strategy_type, icb_strategy_direct);
  efe.le16(icb_maximum_entries, icb_one_entry);
  efe.u8(icb_file_type, mirror ? file_type_metadata_mirror : file_type_metadata);
  efe.le16(icb_flags, icb_flags_short_ad_archive);
  efe.le32(efe_uid, id_not_recorded);
  efe.le32(efe_gid, id_not_recorded);
  efe.le32(efe_permissions, permissions_read_execute);
  efe.le16(efe_link_count, 0);
  efe.le64(efe_information_length, metadata_bytes);
  efe.le64(efe_object_size, metadata_bytes);
  efe.le64(efe_blocks_recorded, image.layout.metadata_blocks);
  efe.bytes(efe_access_time, image.settings.build_timestamp, udf_timestamp_bytes);
  efe.bytes(efe_modification_time, image.settings.build_timestamp, udf_timestamp_bytes);
  efe.bytes(efe_creation_time, image.settings.build_timestamp, udf_timestamp_bytes);
  efe.bytes(efe_attribute_time, image.settings.build_timestamp, udf_timestamp_bytes);
  efe.le32(efe_checkpoint, initial_checkpoint);
  write_implementation_regid(image, buffer + efe_implementation_identifier);
  efe.le64(efe_unique_id, 0);
  efe.le32(efe_ea_length, 0);

  // The allocation descriptors, in blocks of the physical partition.
  uint32_t position =
      mirror ? image.layout.mirror_data_sector - image.layout.data_base : metadata_data_block;
  uint32_t remaining = image.layout.metadata_blocks;
  size_t offset = efe_allocation_descriptors;
  while (remaining > 0) {
    const uint32_t blocks = remaining < metadata_extent_blocks ? remaining : metadata_extent_blocks;
    write_short_ad(buffer + offset, blocks * sector_bytes, position);
    position += blocks;
    remaining -= blocks;
    offset += short_ad_bytes;
  }
  efe.le32(efe_ad_length, static_cast<uint32_t>(offset - efe_allocation_descriptors));
  const auto crc_length = static_cast<uint16_t>(offset - descriptor_tag_bytes);
  make_tag(image, buffer, tag_extended_file_entry, crc_length, sector - image.layout.data_base);
  return true;
}

bool write_metadata_file_entry(const DiscImage& image, SectorEmitter& out, uint32_t sector,
                               bool mirror) {
  if (!out.expect_position(sector)) return true;
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return true;
  if (!fill_metadata_file_entry(image, buffer, sector, mirror)) return false;
  out.emit_sectors(buffer, 1);
  return true;
}

}  // namespace kestrel::udf
