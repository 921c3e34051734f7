// The volume-level UDF descriptors: the volume recognition sequence
// (ECMA-167 2/9), the volume descriptor sequence (ECMA-167 3/10), the anchor
// volume descriptor pointer (ECMA-167 3/10.2) and the logical volume
// integrity sequence (ECMA-167 3/10.10). Each is one sector, written at the
// sector the layout gave it; the records are those of udf_records.h.
#include <cstdio>

#include "disc/field_writer.h"
#include "udf/udf_allocation.h"
#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// Both volume descriptor sequences are given 16 sectors (UDF 2.2.3).
constexpr uint32_t volume_sequence_extent_bytes = volume_sequence_extent_sectors * sector_bytes;
// The integrity sequence: the descriptor and its terminator.
constexpr uint32_t integrity_sequence_extent_bytes = 2 * sector_bytes;
// The file set descriptor and its terminator.
constexpr uint32_t file_set_extent_bytes = 2 * sector_bytes;

// ECMA-167 2/9.1: the version of every volume structure descriptor.
constexpr uint8_t structure_version = 1;

// Volume descriptor sequence numbers of the five numbered descriptors, in
// sequence order.
constexpr uint32_t sequence_primary = 0;
constexpr uint32_t sequence_implementation_use = 1;
constexpr uint32_t sequence_partition = 2;
constexpr uint32_t sequence_logical_volume = 3;
constexpr uint32_t sequence_unallocated_space = 4;

// UDF 2.2.2: a single volume, interchange level 2 (single set of one volume).
constexpr uint16_t volume_sequence_value = 1;
constexpr uint16_t interchange_level_value = 2;
// UDF 2.1.2: the character set list names CS0 only (bit 0).
constexpr uint32_t character_set_list_cs0 = 1;

// ECMA-167 3/10.5: partition flags bit 0, space allocated; access type 1,
// read-only; "+NSR02" for the 2nd edition structures, "+NSR03" for the 3rd.
constexpr uint16_t partition_flags_allocated = 1;
constexpr uint32_t partition_access_read_only = 1;
constexpr std::string_view partition_contents_nsr02 = "+NSR02";
constexpr std::string_view partition_contents_nsr03 = "+NSR03";
// DVD-Video discs mark the partition contents identifier as protected (flags
// bit 1), as the DVD format's UDF bridge prescribes.
constexpr uint8_t regid_flags_protected = 2;

// ECMA-167 3/10.7: partition map types.
constexpr uint8_t map_type_1 = 1;
constexpr uint8_t map_type_2 = 2;
constexpr uint32_t metadata_bitmap_none = 0xFFFFFFFF;
// UDF 2.2.10: the metadata file is duplicated in the mirror.
constexpr uint8_t metadata_flag_duplicate = 1;

// ECMA-167 3/10.10: integrity type 1, a closed integrity sequence.
constexpr uint32_t integrity_close = 1;
// Unique IDs 0 to 15 are reserved (UDF 3.2.1.1); the file structure numbers
// its nodes from 16, so the next free one follows the last node.
constexpr uint64_t first_unique_id = 16;

bool is_udf250(const DiscImage& image) { return image.settings.udf_revision >= udf_revision_250; }

// A zero-filled sector for one descriptor; null when memory ran out, which
// has failed the build.
FieldWriter descriptor_sector(SectorEmitter& out) {
  return FieldWriter(out.get_sector_buffer(1), sector_bytes);
}

void finish(const DiscImage& image, SectorEmitter& out, const FieldWriter& sector,
            uint16_t identifier, uint16_t crc_length, uint32_t location) {
  make_tag(image, sector.data(), identifier, crc_length, location);
  out.emit_sectors(sector.data(), 1);
}

void write_primary_volume_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  namespace pvd = primary_volume_descriptor;
  const FieldWriter record = descriptor_sector(out);
  if (record.data() == nullptr) return;
  record.le32<pvd::sequence_number>(sequence_primary);
  record.le32<pvd::number>(0);
  copy_label_dstring(image, record.at<pvd::volume_identifier>().data(),
                     pvd::volume_identifier.width);
  record.le16<pvd::volume_sequence_number>(volume_sequence_value);
  record.le16<pvd::max_volume_sequence_number>(volume_sequence_value);
  record.le16<pvd::interchange_level>(interchange_level_value);
  record.le16<pvd::max_interchange_level>(interchange_level_value);
  record.le32<pvd::character_set_list>(character_set_list_cs0);
  record.le32<pvd::max_character_set_list>(character_set_list_cs0);
  // UDF 2.2.2.5 asks the volume set identifier to begin with 16 hexadecimal
  // digits unique to the volume: the build time and the image size.
  char set_identifier[17] = {};
  std::snprintf(set_identifier, sizeof set_identifier, "%08X%08X",
                static_cast<unsigned>(image.settings.build_time & 0xFFFFFFFF),
                static_cast<unsigned>(image.layout.image_sectors));
  make_dstring8(record.at<pvd::volume_set_identifier>().data(), pvd::volume_set_identifier.width,
                reinterpret_cast<const uint8_t*>(set_identifier), 16);
  write_cs0_charspec(record.at<pvd::descriptor_character_set>());
  write_cs0_charspec(record.at<pvd::explanatory_character_set>());
  write_application_regid(image, record.at<pvd::application_identifier>());
  write_build_timestamp(image, record.at<pvd::recording_time>());
  write_implementation_regid(image, record.at<pvd::implementation_identifier>());
  finish(image, out, record, tag_primary_volume_descriptor, crc_length(pvd::bytes), sector);
}

void write_implementation_use_descriptor(const DiscImage& image, SectorEmitter& out,
                                         uint32_t sector) {
  namespace iuvd = implementation_use_descriptor;
  const FieldWriter record = descriptor_sector(out);
  if (record.data() == nullptr) return;
  record.le32<iuvd::sequence_number>(sequence_implementation_use);
  write_regid(record.at<iuvd::implementation_identifier>(), 0, regid_lv_info,
              image.settings.udf_revision);
  write_cs0_charspec(record.at<iuvd::lvi_character_set>());
  write_label_dstring(image, record.at<iuvd::logical_volume_identifier>());
  write_implementation_regid(image, record.at<iuvd::lvi_implementation_identifier>());
  finish(image, out, record, tag_implementation_use_volume_descriptor, crc_length(iuvd::bytes),
         sector);
}

void write_partition_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  namespace pd = partition_descriptor;
  const FieldWriter record = descriptor_sector(out);
  if (record.data() == nullptr) return;
  record.le32<pd::sequence_number>(sequence_partition);
  record.le16<pd::flags>(partition_flags_allocated);
  record.le16<pd::number>(0);
  write_regid(record.at<pd::contents>(), image.tree.dvd_video_mode ? regid_flags_protected : 0,
              is_udf250(image) ? partition_contents_nsr03 : partition_contents_nsr02, 0);
  // The partition header stays zero: a read-only volume has no space tables
  // or bitmaps.
  record.le32<pd::access_type>(partition_access_read_only);
  record.le32<pd::starting_location>(image.layout.data_base);
  record.le32<pd::length>(image.layout.partition_length);
  write_implementation_regid(image, record.at<pd::implementation_identifier>());
  finish(image, out, record, tag_partition_descriptor, crc_length(pd::bytes), sector);
}

void write_metadata_partition_map(const DiscImage& image, const FieldWriter& map) {
  namespace mpm = metadata_partition_map;
  map.u8<mpm::type>(map_type_2);
  map.u8<mpm::length>(static_cast<uint8_t>(mpm::bytes));
  write_regid(map.at<mpm::partition_type_identifier>(), 0, regid_metadata_partition,
              image.settings.udf_revision);
  map.le16<mpm::volume_sequence_number>(1);
  map.le16<mpm::partition_number>(0);
  map.le32<mpm::metadata_file_location>(0);
  map.le32<mpm::metadata_mirror_file_location>(image.layout.mirror_entry_sector -
                                               image.layout.data_base);
  map.le32<mpm::metadata_bitmap_file_location>(metadata_bitmap_none);
  map.le32<mpm::allocation_unit_size>(metadata_allocation_unit_blocks);
  map.le16<mpm::alignment_unit_size>(static_cast<uint16_t>(metadata_allocation_unit_blocks));
  map.u8<mpm::flags>(metadata_flag_duplicate);
}

void write_logical_volume_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  namespace lvd = logical_volume_descriptor;
  namespace map1 = type1_partition_map;
  const FieldWriter record = descriptor_sector(out);
  if (record.data() == nullptr) return;
  const bool metadata = is_udf250(image);
  const uint32_t map_count = metadata ? 2 : 1;
  const size_t map_table_bytes = map1::bytes + (metadata ? metadata_partition_map::bytes : 0);
  record.le32<lvd::sequence_number>(sequence_logical_volume);
  write_cs0_charspec(record.at<lvd::descriptor_character_set>());
  write_label_dstring(image, record.at<lvd::logical_volume_identifier>());
  record.le32<lvd::logical_block_size>(sector_bytes);
  write_domain_regid(image, record.at<lvd::domain_identifier>());
  write_long_ad(record.at<lvd::file_set_location>(), file_set_extent_bytes, 0,
                file_structure_partition(image));
  record.le32<lvd::map_table_length>(static_cast<uint32_t>(map_table_bytes));
  record.le32<lvd::partition_map_count>(map_count);
  write_implementation_regid(image, record.at<lvd::implementation_identifier>());
  write_extent_ad(record.at<lvd::integrity_sequence>(), integrity_sequence_extent_bytes,
                  image.layout.integrity_sector);
  // Partition map 0: the physical partition.
  const FieldWriter type1 = record.at(lvd::bytes);
  type1.u8<map1::type>(map_type_1);
  type1.u8<map1::length>(static_cast<uint8_t>(map1::bytes));
  type1.le16<map1::volume_sequence_number>(1);
  type1.le16<map1::partition_number>(0);
  // Partition map 1 (2.50): the metadata partition inside it.
  if (metadata) write_metadata_partition_map(image, record.at(lvd::bytes + map1::bytes));
  finish(image, out, record, tag_logical_volume_descriptor, crc_length(lvd::bytes, map_table_bytes),
         sector);
}

void write_unallocated_space_descriptor(const DiscImage& image, SectorEmitter& out,
                                        uint32_t sector) {
  namespace usd = unallocated_space_descriptor;
  const FieldWriter record = descriptor_sector(out);
  if (record.data() == nullptr) return;
  record.le32<usd::sequence_number>(sequence_unallocated_space);
  record.le32<usd::allocation_descriptor_count>(0);
  finish(image, out, record, tag_unallocated_space_descriptor, crc_length(usd::bytes), sector);
}

}  // namespace

void write_recognition_sequence(const DiscImage& image, SectorEmitter& out) {
  namespace vsd = volume_structure_descriptor;
  // ECMA-167 2/9.2-9.3 and 3/9.1: the extended area, the NSR descriptor that
  // names the edition of the volume structures, and the end of the area.
  const std::string_view identifiers[] = {"BEA01", is_udf250(image) ? "NSR03" : "NSR02", "TEA01"};
  for (const std::string_view identifier : identifiers) {
    const FieldWriter record = descriptor_sector(out);
    if (record.data() == nullptr) return;
    record.u8<vsd::structure_type>(0);
    record.text<vsd::standard_identifier>(identifier);
    record.u8<vsd::structure_version>(structure_version);
    out.emit_sectors(record.data(), 1);
  }
}

void write_volume_sequence(const DiscImage& image, SectorEmitter& out, uint32_t first_sector) {
  write_primary_volume_descriptor(image, out, first_sector);
  write_implementation_use_descriptor(image, out, first_sector + 1);
  write_partition_descriptor(image, out, first_sector + 2);
  write_logical_volume_descriptor(image, out, first_sector + 3);
  write_unallocated_space_descriptor(image, out, first_sector + 4);
  write_terminating_descriptor(image, out, first_sector + 5);
}

void fill_anchor(const DiscImage& image, uint8_t* sector, uint32_t location) {
  namespace avdp = anchor_pointer;
  const FieldWriter record(sector, sector_bytes);
  write_extent_ad(record.at<avdp::main_sequence>(), volume_sequence_extent_bytes,
                  image.layout.main_sequence_sector);
  write_extent_ad(record.at<avdp::reserve_sequence>(), volume_sequence_extent_bytes,
                  image.layout.reserve_sequence_sector);
  make_tag(image, sector, tag_anchor_volume_descriptor_pointer, crc_length(avdp::bytes), location);
}

void write_anchor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_anchor(image, buffer, sector);
  out.emit_sectors(buffer, 1);
}

void write_integrity(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  namespace lvid = integrity_descriptor;
  namespace use = integrity_implementation_use;
  const FieldWriter record = descriptor_sector(out);
  if (record.data() == nullptr) return;
  const bool metadata = is_udf250(image);
  const uint32_t partitions = metadata ? 2 : 1;
  write_build_timestamp(image, record.at<lvid::recording_time>());
  record.le32<lvid::integrity_type>(integrity_close);
  // Next integrity extent stays zero: the sequence ends here.
  record.le64<lvid::next_unique_id>(first_unique_id + image.tree.file_count +
                                    image.tree.directory_count);
  record.le32<lvid::partition_count>(partitions);
  record.le32<lvid::implementation_use_length>(static_cast<uint32_t>(use::bytes));
  // The free space table (every partition is full: all zeros), then the
  // size table, 4 bytes per partition each.
  const size_t size_table = lvid::bytes + 4 * partitions;
  record.le32(size_table, image.layout.partition_length);
  if (metadata) record.le32(size_table + 4, image.layout.metadata_blocks);
  const size_t implementation_use = size_table + 4 * partitions;
  const FieldWriter iu = record.at(implementation_use);
  write_implementation_regid(image, iu.at<use::implementation_identifier>());
  // Files, not names: a hard link recorded in its file's entry is no file of its own.
  iu.le32<use::file_count>(image.tree.file_count - image.tree.shared_entries);
  iu.le32<use::directory_count>(image.tree.directory_count + 1);  // the root counts too
  iu.le16<use::min_read_revision>(image.settings.udf_revision);
  iu.le16<use::min_write_revision>(image.settings.udf_revision);
  iu.le16<use::max_write_revision>(image.settings.udf_revision);
  finish(image, out, record, tag_logical_volume_integrity_descriptor,
         crc_length(implementation_use + use::bytes), sector);
}

void write_terminating_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector) {
  const FieldWriter record = descriptor_sector(out);
  if (record.data() == nullptr) return;
  fill_terminating_descriptor(image, record.data(), sector);
  out.emit_sectors(record.data(), 1);
}

}  // namespace kestrel::udf
