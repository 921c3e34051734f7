// The volume-level UDF descriptors: the volume recognition sequence
// (ECMA-167 2/9), the volume descriptor sequence (ECMA-167 3/10), the anchor
// volume descriptor pointer (ECMA-167 3/10.2) and the logical volume
// integrity sequence (ECMA-167 3/10.10). Each is one sector, written at the
// sector the layout gave it.
#include <cstdio>

#include "disc/field_writer.h"
#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

constexpr size_t label_bytes = sizeof(VolumeSettings::volume_label);

// Where the descriptor sequences and the integrity sequence live.
constexpr uint32_t main_sequence_sector = 32;
constexpr uint32_t udf102_reserve_sequence_sector = 48;
constexpr uint32_t integrity_sequence_sector = 64;
// Both volume descriptor sequences are given 16 sectors (UDF 2.2.3).
constexpr uint32_t volume_sequence_extent_bytes = 16 * sector_bytes;
// The integrity sequence: the descriptor and its terminator.
constexpr uint32_t integrity_sequence_extent_bytes = 2 * sector_bytes;

// ECMA-167 2/9.1 Volume Structure Descriptor.
constexpr size_t vsd_structure_type = 0;
constexpr size_t vsd_standard_identifier = 1;
constexpr size_t vsd_structure_version = 6;
constexpr uint8_t vsd_version = 1;

// Volume descriptor sequence numbers (ECMA-167 3/10.x "Volume Descriptor
// Sequence Number") of the five numbered descriptors, in sequence order.
constexpr uint32_t sequence_primary = 0;
constexpr uint32_t sequence_implementation_use = 1;
constexpr uint32_t sequence_partition = 2;
constexpr uint32_t sequence_logical_volume = 3;
constexpr uint32_t sequence_unallocated_space = 4;
constexpr size_t descriptor_sequence_number = 16;  // the same offset in all five

// ECMA-167 3/10.1 Primary Volume Descriptor.
constexpr size_t pvd_number = 20;
constexpr size_t pvd_volume_identifier = 24;
constexpr size_t pvd_volume_identifier_bytes = 32;
constexpr size_t pvd_volume_sequence_number = 56;
constexpr size_t pvd_max_volume_sequence_number = 58;
constexpr size_t pvd_interchange_level = 60;
constexpr size_t pvd_max_interchange_level = 62;
constexpr size_t pvd_character_set_list = 64;
constexpr size_t pvd_max_character_set_list = 68;
constexpr size_t pvd_volume_set_identifier = 72;
constexpr size_t pvd_volume_set_identifier_bytes = 128;
constexpr size_t pvd_descriptor_charset = 200;
constexpr size_t pvd_explanatory_charset = 264;
constexpr size_t pvd_application_identifier = 344;
constexpr size_t pvd_recording_time = 376;
constexpr size_t pvd_implementation_identifier = 388;
// UDF 2.2.2: a single volume, interchange level 2 (single set of one volume).
constexpr uint16_t pvd_volume_sequence_value = 1;
constexpr uint16_t pvd_interchange_level_value = 2;
constexpr uint32_t character_set_list_cs0 = 1;

// UDF 2.2.7 Implementation Use Volume Descriptor with the LV Info of 2.2.7.2.
constexpr size_t iuvd_implementation_identifier = 20;
constexpr size_t iuvd_lvi_charset = 52;
constexpr size_t iuvd_logical_volume_identifier = 116;
constexpr size_t iuvd_lvi_implementation_identifier = 352;

// ECMA-167 3/10.5 Partition Descriptor.
constexpr size_t pd_flags = 20;
constexpr size_t pd_partition_number = 22;
constexpr size_t pd_contents = 24;
constexpr size_t pd_access_type = 184;
constexpr size_t pd_starting_location = 188;
constexpr size_t pd_length = 192;
constexpr size_t pd_implementation_identifier = 196;
constexpr uint16_t pd_flags_allocated = 1;
constexpr uint32_t pd_access_read_only = 1;
// ECMA-167 3/10.5.3: "+NSR02" for the 2nd edition structures, "+NSR03" for the 3rd.
constexpr std::string_view partition_contents_nsr02 = "+NSR02";
constexpr std::string_view partition_contents_nsr03 = "+NSR03";
// DVD-Video discs mark the partition contents identifier as protected (flags
// bit 1), as the DVD format's UDF bridge prescribes.
constexpr uint8_t regid_flags_protected = 2;

// ECMA-167 3/10.6 Logical Volume Descriptor.
constexpr size_t lvd_descriptor_charset = 20;
constexpr size_t lvd_logical_volume_identifier = 84;
constexpr size_t lvd_logical_block_size = 212;
constexpr size_t lvd_domain_identifier = 216;
constexpr size_t lvd_file_set_location = 248;  // logical volume contents use (UDF 2.2.4.4)
constexpr size_t lvd_map_table_length = 264;
constexpr size_t lvd_partition_map_count = 268;
constexpr size_t lvd_implementation_identifier = 272;
constexpr size_t lvd_integrity_sequence_extent = 432;
constexpr size_t lvd_partition_maps = 440;
constexpr uint32_t file_set_extent_bytes = 2 * sector_bytes;  // descriptor and terminator

// ECMA-167 3/10.7.2 Type 1 Partition Map.
constexpr size_t type1_map_bytes = 6;
constexpr size_t map_type = 0;
constexpr size_t map_length = 1;
constexpr size_t type1_volume_sequence_number = 2;
constexpr size_t type1_partition_number = 4;

// UDF 2.2.10 Metadata Partition Map (a type 2 map of ECMA-167 3/10.7.3).
constexpr size_t metadata_map_bytes = 64;
constexpr size_t metadata_map_type_identifier = 4;
constexpr size_t metadata_map_volume_sequence_number = 36;
constexpr size_t metadata_map_partition_number = 38;
constexpr size_t metadata_map_file_location = 40;
constexpr size_t metadata_map_mirror_location = 44;
constexpr size_t metadata_map_bitmap_location = 48;
constexpr size_t metadata_map_allocation_unit = 52;
constexpr size_t metadata_map_alignment_unit = 56;
constexpr size_t metadata_map_flags = 58;
constexpr uint32_t metadata_bitmap_none = 0xFFFFFFFF;
// Blu-ray discs allocate and align the metadata in 32-block units.
constexpr uint32_t metadata_allocation_unit_blocks = 32;
constexpr uint16_t metadata_alignment_unit_blocks = 32;
constexpr uint8_t metadata_flag_duplicate = 1;

// ECMA-167 3/10.8 Unallocated Space Descriptor.
constexpr size_t usd_allocation_descriptor_count = 20;
constexpr uint16_t usd_crc_length = 8;

// ECMA-167 3/10.2 Anchor Volume Descriptor Pointer.
constexpr size_t avdp_main_sequence = 16;
constexpr size_t avdp_reserve_sequence = 24;

// ECMA-167 3/10.10 Logical Volume Integrity Descriptor.
constexpr size_t lvid_recording_time = 16;
constexpr size_t lvid_integrity_type = 28;
constexpr size_t lvid_next_unique_id = 40;  // logical volume header (UDF 2.2.6.3)
constexpr size_t lvid_partition_count = 72;
constexpr size_t lvid_implementation_use_length = 76;
constexpr size_t lvid_free_space_table = 80;
constexpr uint32_t lvid_integrity_close = 1;
// Unique IDs 0 to 15 are reserved (UDF 3.2.1.1); the file structure numbers
// its nodes from 16, so the next free one follows the last node.
constexpr uint64_t first_unique_id = 16;
// UDF 2.2.6.4 Implementation Use of the integrity descriptor, at the end of
// the two tables.
constexpr size_t lvid_iu_implementation_identifier = 0;
constexpr size_t lvid_iu_file_count = 32;
constexpr size_t lvid_iu_directory_count = 36;
constexpr size_t lvid_iu_min_read_revision = 40;
constexpr size_t lvid_iu_min_write_revision = 42;
constexpr size_t lvid_iu_max_write_revision = 44;
constexpr uint32_t lvid_implementation_use_bytes = 46;

bool is_udf250(const DiscImage& image) { return image.settings.udf_revision >= udf_revision_250; }

uint32_t reserve_sequence_sector(const DiscImage& image) {
  return is_udf250(image) ? image.layout.mirror_data_sector + image.layout.metadata_blocks
                          : udf102_reserve_sequence_sector;
}

void write_primary_volume_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  const FieldWriter pvd(buffer, sector_bytes);
  pvd.le32(descriptor_sequence_number, sequence_primary);
  pvd.le32(pvd_number, 0);
  copy_label_dstring(image, buffer + pvd_volume_identifier, pvd_volume_identifier_bytes);
  pvd.le16(pvd_volume_sequence_number, pvd_volume_sequence_value);
  pvd.le16(pvd_max_volume_sequence_number, pvd_volume_sequence_value);
  pvd.le16(pvd_interchange_level, pvd_interchange_level_value);
  pvd.le16(pvd_max_interchange_level, pvd_interchange_level_value);
  pvd.le32(pvd_character_set_list, character_set_list_cs0);
  pvd.le32(pvd_max_character_set_list, character_set_list_cs0);
  // UDF 2.2.2.5 asks the volume set identifier to begin with 16 hexadecimal
  // digits unique to the volume: the build time and the image size.
  char set_identifier[17] = {};
  std::snprintf(set_identifier, sizeof set_identifier, "%08X%08X",
                static_cast<unsigned>(image.settings.build_time & 0xFFFFFFFF),
                static_cast<unsigned>(image.layout.image_sectors));
  make_dstring8(buffer + pvd_volume_set_identifier, pvd_volume_set_identifier_bytes,
                reinterpret_cast<const uint8_t*>(set_identifier), 16);
  write_cs0_charspec(buffer + pvd_descriptor_charset);
  write_cs0_charspec(buffer + pvd_explanatory_charset);
  write_application_regid(image, buffer + pvd_application_identifier);
  pvd.bytes(pvd_recording_time, image.settings.build_timestamp, udf_timestamp_bytes);
  write_implementation_regid(image, buffer + pvd_implementation_identifier);
  make_tag(image, buffer, tag_primary_volume_descriptor, full_descriptor_crc_length, sector);
  out.emit_sectors(buffer, 1);
}

void write_implementation_use_descriptor(const DiscImage& image, SectorEmitter& out,
                                         uint32_t sector) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  const FieldWriter iuvd(buffer, sector_bytes);
  iuvd.le32(descriptor_sequence_number, sequence_implementation_use);
  write_regid(buffer + iuvd_implementation_identifier, 0, regid_lv_info,
              image.settings.udf_revision);
  write_cs0_charspec(buffer + iuvd_lvi_charset);
  iuvd.bytes(iuvd_logical_volume_identifier, image.settings.volume_label, label_bytes);
  write_implementation_regid(image, buffer + iuvd_lvi_implementation_identifier);
  make_tag(image, buffer, tag_implementation_use_volume_descriptor, full_descriptor_crc_length,
           sector);
  out.emit_sectors(buffer, 1);
}

void write_partition_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  const FieldWriter pd(buffer, sector_bytes);
  pd.le32(descriptor_sequence_number, sequence_partition);
  pd.le16(pd_flags, pd_flags_allocated);
  pd.le16(pd_partition_number, 0);
  write_regid(buffer + pd_contents, image.tree.dvd_video_mode ? regid_flags_protected : 0,
              is_udf250(image) ? partition_contents_nsr03 : partition_contents_nsr02, 0);
  // The partition header stays zero: a read-only volume has no space tables
  // or bitmaps.
  pd.le32(pd_access_type, pd_access_read_only);
  pd.le32(pd_starting_location, image.layout.data_base);
  pd.le32(pd_length, image.layout.partition_length);
  write_implementation_regid(image, buffer + pd_implementation_identifier);
  make_tag(image, buffer, tag_partition_descriptor, full_descriptor_crc_length, sector);
  out.emit_sectors(buffer, 1);
}

void write_metadata_partition_map(const DiscImage& image, uint8_t* field) {
  const FieldWriter map(field, metadata_map_bytes);
  map.u8(map_type, 2);
  map.u8(map_length, static_cast<uint8_t>(metadata_map_bytes));
  write_regid(field + metadata_map_type_identifier, 0, regid_metadata_partition,
              image.settings.udf_revision);
  map.le16(metadata_map_volume_sequence_number, 1);
  map.le16(metadata_map_partition_number, 0);
  map.le32(metadata_map_file_location, 0);
  map.le32(metadata_map_mirror_location, image.layout.mirror_entry_sector - image.layout.data_base);
  map.le32(metadata_map_bitmap_location, metadata_bitmap_none);
  map.le32(metadata_map_allocation_unit, metadata_allocation_unit_blocks);
  map.le16(metadata_map_alignment_unit, metadata_alignment_unit_blocks);
  map.u8(metadata_map_flags, metadata_flag_duplicate);
}

void write_logical_volume_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  const FieldWriter lvd(buffer, sector_bytes);
  const bool metadata = is_udf250(image);
  const uint32_t map_count = metadata ? 2 : 1;
  const size_t map_table_bytes = type1_map_bytes + (metadata ? metadata_map_bytes : 0);
  lvd.le32(descriptor_sequence_number, sequence_logical_volume);
  write_cs0_charspec(buffer + lvd_descriptor_charset);
  lvd.bytes(lvd_logical_volume_identifier, image.settings.volume_label, label_bytes);
  lvd.le32(lvd_logical_block_size, sector_bytes);
  write_domain_regid(image, buffer + lvd_domain_identifier);
  write_long_ad(buffer + lvd_file_set_location, file_set_extent_bytes, 0,
                file_structure_partition(image));
  lvd.le32(lvd_map_table_length, static_cast<uint32_t>(map_table_bytes));
  lvd.le32(lvd_partition_map_count, map_count);
  write_implementation_regid(image, buffer + lvd_implementation_identifier);
  write_extent_ad(buffer + lvd_integrity_sequence_extent, integrity_sequence_extent_bytes,
                  integrity_sequence_sector);
  // Partition map 0: the physical partition.
  const FieldWriter type1 = lvd.at(lvd_partition_maps);
  type1.u8(map_type, 1);
  type1.u8(map_length, static_cast<uint8_t>(type1_map_bytes));
  type1.le16(type1_volume_sequence_number, 1);
  type1.le16(type1_partition_number, 0);
  // Partition map 1 (2.50): the metadata partition inside it.
  if (metadata) write_metadata_partition_map(image, buffer + lvd_partition_maps + type1_map_bytes);
  const auto crc_length =
      static_cast<uint16_t>(lvd_partition_maps + map_table_bytes - descriptor_tag_bytes);
  make_tag(image, buffer, tag_logical_volume_descriptor, crc_length, sector);
  out.emit_sectors(buffer, 1);
}

void write_unallocated_space_descriptor(const DiscImage& image, SectorEmitter& out,
                                        uint32_t sector) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  const FieldWriter usd(buffer, sector_bytes);
  usd.le32(descriptor_sequence_number, sequence_unallocated_space);
  usd.le32(usd_allocation_descriptor_count, 0);
  make_tag(image, buffer, tag_unallocated_space_descriptor, usd_crc_length, sector);
  out.emit_sectors(buffer, 1);
}

}  // namespace

void write_recognition_sequence(const DiscImage& image, SectorEmitter& out) {
  // ECMA-167 2/9.2-9.3 and 3/9.1: the extended area, the NSR descriptor that
  // names the edition of the volume structures, and the end of the area.
  const std::string_view identifiers[] = {"BEA01", is_udf250(image) ? "NSR03" : "NSR02", "TEA01"};
  for (const std::string_view identifier : identifiers) {
    uint8_t* buffer = out.get_sector_buffer(1);
    if (buffer == nullptr) return;  // out of memory: the build has failed
    if (buffer == nullptr) return;  // out of memory: the build has failed
    const FieldWriter vsd(buffer, sector_bytes);
    vsd.u8(vsd_structure_type, 0);
    vsd.text(vsd_standard_identifier, identifier);
    vsd.u8(vsd_structure_version, vsd_version);
    out.emit_sectors(buffer, 1);
  }
}

void write_volume_sequence(const DiscImage& image, SectorEmitter& out, uint32_t first_sector) {
  if (!out.expect_position(first_sector)) return;
  write_primary_volume_descriptor(image, out, first_sector);
  write_implementation_use_descriptor(image, out, first_sector + 1);
  write_partition_descriptor(image, out, first_sector + 2);
  write_logical_volume_descriptor(image, out, first_sector + 3);
  write_unallocated_space_descriptor(image, out, first_sector + 4);
  write_terminating_descriptor(image, out, first_sector + 5);
}

void write_anchor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  if (!out.expect_position(sector)) return;
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  write_extent_ad(buffer + avdp_main_sequence, volume_sequence_extent_bytes, main_sequence_sector);
  write_extent_ad(buffer + avdp_reserve_sequence, volume_sequence_extent_bytes,
                  reserve_sequence_sector(image));
  make_tag(image, buffer, tag_anchor_volume_descriptor_pointer, full_descriptor_crc_length, sector);
  out.emit_sectors(buffer, 1);
}

void write_integrity(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  if (!out.expect_position(sector)) return;
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  const FieldWriter lvid(buffer, sector_bytes);
  const bool metadata = is_udf250(image);
  const uint32_t partitions = metadata ? 2 : 1;
  lvid.bytes(lvid_recording_time, image.settings.build_timestamp, udf_timestamp_bytes);
  lvid.le32(lvid_integrity_type, lvid_integrity_close);
  // Next integrity extent stays zero: the sequence ends here.
  lvid.le64(lvid_next_unique_id,
            first_unique_id + image.tree.file_count + image.tree.directory_count);
  lvid.le32(lvid_partition_count, partitions);
  lvid.le32(lvid_implementation_use_length, lvid_implementation_use_bytes);
  // Free space table: every partition is full (all zeros). Size table:
  const size_t size_table = lvid_free_space_table + 4 * partitions;
  lvid.le32(size_table, image.layout.partition_length);
  if (metadata) lvid.le32(size_table + 4, image.layout.metadata_blocks);
  const size_t implementation_use = size_table + 4 * partitions;
  const FieldWriter use = lvid.at(implementation_use);
  write_implementation_regid(image,
                             buffer + implementation_use + lvid_iu_implementation_identifier);
  use.le32(lvid_iu_file_count, image.tree.file_count);
  use.le32(lvid_iu_directory_count, image.tree.directory_count + 1);  // the root counts too
  use.le16(lvid_iu_min_read_revision, image.settings.udf_revision);
  use.le16(lvid_iu_min_write_revision, image.settings.udf_revision);
  use.le16(lvid_iu_max_write_revision, image.settings.udf_revision);
  const auto crc_length = static_cast<uint16_t>(implementation_use + lvid_implementation_use_bytes -
                                                descriptor_tag_bytes);
  make_tag(image, buffer, tag_logical_volume_integrity_descriptor, crc_length, sector);
  out.emit_sectors(buffer, 1);
}

void write_terminating_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  if (!out.expect_position(sector)) return;
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return;  // out of memory: the build has failed
  fill_terminating_descriptor(image, buffer, sector);
  out.emit_sectors(buffer, 1);
}

}  // namespace kestrel::udf
