// File entries (ECMA-167 4/14.9) for UDF 1.02, with the two implementation
// use extended attributes that DVD discs carry (UDF 3.3.4.5, 6.11), and
// extended file entries (ECMA-167 4/14.17) for UDF 2.50.
#include <algorithm>

#include "disc/field_writer.h"
#include "udf/udf_files.h"
#include "udf/udf_interleaved.h"
#include "udf/udf_tags.h"

namespace kestrel::udf {
namespace {

// ICB tag (ECMA-167 4/14.6), at offset 16 of both entry kinds.
constexpr size_t icb_prior_recorded_entries = 16;
constexpr size_t icb_strategy_type = 20;
constexpr size_t icb_maximum_entries = 24;
constexpr size_t icb_file_type = 27;
constexpr size_t icb_parent_location = 28;
constexpr size_t icb_flags = 34;
constexpr uint16_t icb_strategy_4 = 4;  // one direct entry
constexpr uint16_t icb_single_entry = 1;
constexpr uint16_t icb_flag_archive = 0x20;
constexpr uint16_t icb_flag_short_ad = 0;
constexpr uint16_t icb_flag_long_ad = 1;

// Fields shared by both entry kinds (ECMA-167 4/14.9, 4/14.17).
constexpr size_t entry_uid = 36;
constexpr size_t entry_gid = 40;
constexpr size_t entry_permissions = 44;
constexpr size_t entry_link_count = 48;
constexpr size_t entry_information_length = 56;
constexpr uint32_t id_not_specified = 0xFFFFFFFF;
// Read and execute for owner, group and others (ECMA-167 4/14.9.5).
constexpr uint32_t permissions_read_execute = 0x14A5;
constexpr uint32_t checkpoint_first = 1;

// File entry, UDF 1.02 (ECMA-167 4/14.9).
constexpr size_t fe_logical_blocks_recorded = 64;
constexpr size_t fe_access_time = 72;
constexpr size_t fe_modification_time = 84;
constexpr size_t fe_attribute_time = 96;
constexpr size_t fe_checkpoint = 108;
constexpr size_t fe_implementation_identifier = 128;
constexpr size_t fe_unique_id = 160;
constexpr size_t fe_extended_attributes_length = 168;
constexpr size_t fe_allocation_descriptors_length = 172;
constexpr size_t fe_extended_attributes = 176;
constexpr uint16_t fe_fixed_crc_bytes =
    160;  // the entry after its tag, up to the extended attributes

// Extended file entry, UDF 2.50 (ECMA-167 4/14.17).
constexpr size_t efe_object_size = 64;
constexpr size_t efe_logical_blocks_recorded = 72;
constexpr size_t efe_access_time = 80;
constexpr size_t efe_modification_time = 92;
constexpr size_t efe_creation_time = 104;
constexpr size_t efe_attribute_time = 116;
constexpr size_t efe_checkpoint = 128;
constexpr size_t efe_implementation_identifier = 168;
constexpr size_t efe_unique_id = 200;
constexpr size_t efe_extended_attributes_length = 208;
constexpr size_t efe_allocation_descriptors_length = 212;
constexpr size_t efe_allocation_descriptors = 216;
constexpr uint16_t efe_fixed_crc_bytes = 200;

// Extended attribute space of a 1.02 entry, offsets from its start: the
// extended attribute header descriptor (ECMA-167 4/14.10.1), then two
// implementation use attributes (ECMA-167 4/14.10.8, UDF 3.3.4.5).
constexpr uint32_t ea_space_bytes = 132;
constexpr uint16_t ea_header_crc_bytes = 8;
constexpr size_t ea_implementation_attributes_location = 16;
constexpr size_t ea_application_attributes_location = 20;
constexpr uint32_t ea_first_attribute = 24;  // after the header descriptor
constexpr size_t ea_free_space_attribute = 24;
constexpr size_t ea_cgms_attribute = 76;
// Implementation use attribute fields, from the attribute's start.
constexpr size_t iua_type = 0;
constexpr size_t iua_subtype = 4;
constexpr size_t iua_length = 8;
constexpr size_t iua_implementation_use_length = 12;
constexpr size_t iua_identifier = 16;
constexpr size_t iua_header_checksum = 48;     // UDF 3.3.4.5.1: over bytes 0-47
constexpr size_t iua_implementation_use = 50;  // after the checksum
constexpr uint32_t iua_type_implementation_use = 2048;
constexpr uint8_t iua_subtype_first = 1;
constexpr uint32_t free_ea_space_attribute_bytes = 52;
constexpr uint32_t free_ea_space_use_bytes = 4;  // header checksum, free space 0
constexpr uint32_t cgms_attribute_bytes = 56;
constexpr uint32_t cgms_use_bytes = 8;  // header checksum, CGMS, type, protection 0
constexpr size_t fe_allocation_descriptors = fe_extended_attributes + ea_space_bytes;  // 308
static_assert(fe_allocation_descriptors == 308);

void write_icb_tag(const FieldWriter& fields, uint8_t file_type, uint16_t ad_type) {
  fields.le32(icb_prior_recorded_entries, 0);
  fields.le16(icb_strategy_type, icb_strategy_4);
  fields.le16(icb_maximum_entries, icb_single_entry);
  fields.u8(icb_file_type, file_type);
  fields.fill(icb_parent_location, 0, 6);
  fields.le16(icb_flags, static_cast<uint16_t>(icb_flag_archive | ad_type));
}

void write_common_fields(const FieldWriter& fields, const SourceNode& node,
                         uint64_t information_length) {
  fields.le32(entry_uid, id_not_specified);
  fields.le32(entry_gid, id_not_specified);
  fields.le32(entry_permissions, permissions_read_execute);
  const uint32_t links = node.is_directory ? 1 + node.directory_children : 1;
  fields.le16(entry_link_count, static_cast<uint16_t>(std::min<uint32_t>(links, UINT16_MAX)));
  fields.le64(entry_information_length, information_length);
}

uint64_t information_length(const SourceNode& node) {
  return node.is_directory ? node.fid_bytes : node.size;
}

// Logical blocks recorded: the low 32 bits of the length in blocks.
uint64_t blocks_recorded(uint64_t length) {
  return static_cast<uint32_t>((length + sector_bytes - 1) / sector_bytes);
}

void write_time(const FieldWriter& fields, size_t offset, int64_t time) {
  make_udf_timestamp(time, fields.data() + offset);
}

// One implementation use extended attribute with its header checksum.
void write_implementation_attribute(const DiscImage& image, const FieldWriter& attribute,
                                    uint32_t length, uint32_t use_length,
                                    std::string_view identifier) {
  attribute.le32(iua_type, iua_type_implementation_use);
  attribute.u8(iua_subtype, iua_subtype_first);
  attribute.le32(iua_length, length);
  attribute.le32(iua_implementation_use_length, use_length);
  write_regid(attribute.data() + iua_identifier, 0, identifier, image.settings.udf_revision);
  uint16_t checksum = 0;
  for (size_t i = 0; i < iua_header_checksum; ++i)
    checksum = static_cast<uint16_t>(checksum + attribute.data()[i]);
  attribute.le16(iua_header_checksum, checksum);
}

void write_extended_attributes(const DiscImage& image, const FieldWriter& space,
                               uint32_t location) {
  space.le32(ea_implementation_attributes_location, ea_first_attribute);
  // No application attributes: their location is the end of the space.
  space.le32(ea_application_attributes_location, ea_space_bytes);
  const FieldWriter free_space = space.at(ea_free_space_attribute);
  write_implementation_attribute(image, free_space, free_ea_space_attribute_bytes,
                                 free_ea_space_use_bytes, regid_free_ea_space);
  free_space.le16(iua_implementation_use, 0);  // free EA space
  const FieldWriter cgms = space.at(ea_cgms_attribute);
  write_implementation_attribute(image, cgms, cgms_attribute_bytes, cgms_use_bytes,
                                 regid_dvd_cgms_info);
  // CGMS information, data structure type and protection system information
  // stay zero: no copy protection.
  make_tag(image, space.data(), tag_extended_attribute_header_descriptor, ea_header_crc_bytes,
           location);
}

// Allocation descriptors of a file or directory, as its allocation plan
// says; returns their byte length. Directories: one short descriptor of the
// identifiers. Files: one descriptor per piece; an empty file gets one
// all-zero descriptor.
uint32_t write_allocation_descriptors(const DiscImage& image, const SourceNode& node,
                                      const FieldWriter& area, bool long_form,
                                      uint64_t max_pieces) {
  if (node.is_directory) {
    write_short_ad(area.data(), node.fid_bytes, node.fid_block);
    return short_ad::bytes;
  }
  const size_t descriptor_bytes = long_form ? long_ad::bytes : short_ad::bytes;
  if (node.size == 0) return static_cast<uint32_t>(descriptor_bytes);
  size_t offset = 0;
  for_each_piece(image.settings.udf_revision, node, max_pieces, [&](const AllocationPiece& piece) {
    const auto block = static_cast<uint32_t>(image.layout.data_start + piece.block);
    uint8_t* field = area.data() + offset;
    if (long_form) {
      // File data lies in the physical partition (partition reference 0).
      write_long_ad(field, piece.length_bytes, block, 0);
    } else {
      write_short_ad(field, piece.length_bytes, block);
    }
    offset += descriptor_bytes;
  });
  return static_cast<uint32_t>(offset);
}

}  // namespace

uint8_t udf_file_type(const SourceNode& node) {
  if (node.is_directory) return icb_file_type_directory;
  return node.kind == NodeKind::plain ? icb_file_type_file : icb_file_type_real_time;
}

void fill_file_entry(const DiscImage& image, uint32_t block, const SourceNode& node,
                     uint8_t* sector) {
  const FieldWriter fields(sector, sector_bytes);
  write_icb_tag(fields, udf_file_type(node), icb_flag_short_ad);
  const uint64_t length = information_length(node);
  write_common_fields(fields, node, length);
  fields.le64(fe_logical_blocks_recorded, blocks_recorded(length));
  write_time(fields, fe_access_time, node.created);
  write_time(fields, fe_modification_time, node.modified);
  write_time(fields, fe_attribute_time, node.created);
  fields.le32(fe_checkpoint, checkpoint_first);
  write_implementation_regid(image, sector + fe_implementation_identifier);
  fields.le64(fe_unique_id, node.unique_id);
  fields.le32(fe_extended_attributes_length, ea_space_bytes);
  write_extended_attributes(image, fields.at(fe_extended_attributes), block);
  const uint32_t descriptor_bytes = write_allocation_descriptors(
      image, node, fields.at(fe_allocation_descriptors), false, file_entry_descriptors);
  fields.le32(fe_allocation_descriptors_length, descriptor_bytes);
  make_tag(image, sector, tag_file_entry,
           static_cast<uint16_t>(fe_fixed_crc_bytes + ea_space_bytes + descriptor_bytes), block);
}

void fill_extended_file_entry(const DiscImage& image, uint32_t block, const SourceNode& node,
                              uint8_t* sector) {
  const FieldWriter fields(sector, sector_bytes);
  // Directories are described by a short descriptor in the metadata
  // partition; file data by long descriptors into the physical partition.
  const bool long_form = !node.is_directory;
  write_icb_tag(fields, udf_file_type(node), long_form ? icb_flag_long_ad : icb_flag_short_ad);
  const uint64_t length = information_length(node);
  write_common_fields(fields, node, length);
  fields.le64(efe_object_size, length);
  fields.le64(efe_logical_blocks_recorded, blocks_recorded(length));
  write_time(fields, efe_access_time, node.created);
  write_time(fields, efe_modification_time, node.modified);
  write_time(fields, efe_creation_time, node.created);
  write_time(fields, efe_attribute_time, node.created);
  fields.le32(efe_checkpoint, checkpoint_first);
  write_implementation_regid(image, sector + efe_implementation_identifier);
  fields.le64(efe_unique_id, node.unique_id);
  fields.le32(efe_extended_attributes_length, 0);
  // The clips of a stereoscopic pair are described extent by extent inside
  // their pair's interleaved block; the entry may continue in further blocks.
  const uint32_t descriptor_bytes =
      has_interleaved_extents(image.settings.udf_revision, node)
          ? fill_interleaved_descriptors(image, block, node, sector)
          : write_allocation_descriptors(image, node, fields.at(efe_allocation_descriptors),
                                         long_form, extended_entry_descriptors);
  fields.le32(efe_allocation_descriptors_length, descriptor_bytes);
  make_tag(image, sector, tag_extended_file_entry,
           static_cast<uint16_t>(efe_fixed_crc_bytes + descriptor_bytes), block);
}

void write_file_entry(const DiscImage& image, SectorEmitter& out, uint32_t block,
                      const SourceNode& node) {
  uint8_t* sector = out.get_sector_buffer(1);
  if (sector == nullptr) return;
  fill_file_entry(image, block, node, sector);
  out.emit_sectors(sector, 1);
}

void write_extended_file_entry(const DiscImage& image, SectorEmitter& out, uint32_t block,
                               const SourceNode& node) {
  const uint32_t blocks = udf_entry_blocks(node);
  uint8_t* sector = out.get_sector_buffer(blocks);
  if (sector == nullptr) return;
  fill_extended_file_entry(image, block, node, sector);
  // Interleaved clips with many extents fill further blocks with allocation
  // extent descriptors.
  out.emit_sectors(sector, blocks);
}

}  // namespace kestrel::udf
