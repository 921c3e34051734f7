// File entries (ECMA-167 4/14.9) for UDF 1.02, with the two implementation
// use extended attributes that DVD discs carry (UDF 3.3.4.5, 6.11), and
// extended file entries (ECMA-167 4/14.17) for UDF 2.50. The records are
// those of udf_records.h; where the data lies is the node's allocation plan.
#include <algorithm>
#include <array>
#include <cstring>

#include "disc/field_writer.h"
#include "udf/udf_files.h"
#include "udf/udf_interleaved.h"
#include "udf/udf_tags.h"

namespace kestrel::udf {
namespace {

// ICB tag (ECMA-167 4/14.6): strategy 4, a single direct entry; the flags
// say which allocation descriptors follow (bits 0-2) and set the archive bit.
constexpr uint16_t icb_strategy_4 = 4;
constexpr uint16_t icb_single_entry = 1;
constexpr uint16_t icb_flag_archive = 0x20;

// UDF 3.3.3.3: no owner or group is recorded. Read and execute for owner,
// group and others (ECMA-167 4/14.9.5).
constexpr uint32_t id_not_specified = 0xFFFFFFFF;
constexpr uint32_t permissions_read_execute = 0x14A5;
constexpr uint32_t checkpoint_first = 1;

// The extended attribute space of a 1.02 entry: the header descriptor, then
// the implementation use attributes "*UDF FreeEASpace" (its use: the header
// checksum and 2 bytes of free space, 0) and "*UDF DVD CGMS Info" (its use:
// the header checksum, the CGMS information, the data structure type and 4
// bytes of protection system information, all 0: no copy protection).
constexpr uint32_t implementation_use_attribute_type = 2048;
constexpr uint8_t attribute_subtype_first = 1;
constexpr size_t free_space_attribute_at = extended_attribute_header::bytes;
constexpr size_t cgms_attribute_at = free_space_attribute_at + free_ea_space_attribute_bytes;
static_assert(cgms_attribute_at + cgms_attribute_bytes == file_entry_attribute_bytes);

uint64_t information_length(const SourceNode& node) {
  return node.is_directory ? node.fid_bytes : node.size;
}

// Logical blocks recorded: the low 32 bits of the length in blocks.
uint64_t blocks_recorded(uint64_t length) {
  return static_cast<uint32_t>(sectors_for_bytes(length));
}

// The fields that lie at the same offsets in both kinds of entry, up to the
// information length.
void write_common_fields(const FieldWriter& entry, const SourceNode& node, uint16_t form) {
  namespace fe = file_entry;
  write_icb_tag(entry.at<fe::icb_tag>(), udf_file_type(node), form);
  // ECMA-167 4/14.9.6: the identifiers that name the entry. A directory is
  // named in its parent and by the parent entry of each sub-directory; a
  // file by each of its names (hard links).
  const uint32_t links = node.is_directory ? 1 + node.directory_children : 1 + node.hard_link_names;
  write_entry_owner(entry, static_cast<uint16_t>(std::min<uint32_t>(links, UINT16_MAX)));
  entry.le64<fe::information_length>(information_length(node));
}

// One implementation use extended attribute with its header checksum.
void write_implementation_attribute(const DiscImage& image, const FieldWriter& attribute,
                                    uint32_t length, std::string_view identifier) {
  namespace iua = implementation_attribute;
  attribute.le32<iua::attribute_type>(implementation_use_attribute_type);
  attribute.u8<iua::attribute_subtype>(attribute_subtype_first);
  attribute.le32<iua::attribute_length>(length);
  attribute.le32<iua::implementation_use_length>(
      static_cast<uint32_t>(length - iua::header_checksum.offset));
  write_regid(attribute.at<iua::implementation_identifier>(), 0, identifier,
              image.settings.udf_revision);
  // UDF 3.3.4.5.1: the sum of the 48 bytes before the checksum.
  uint16_t checksum = 0;
  for (size_t i = 0; i < iua::header_checksum.offset; ++i)
    checksum = static_cast<uint16_t>(checksum + attribute.data()[i]);
  attribute.le16<iua::header_checksum>(checksum);
}

void write_extended_attributes(const DiscImage& image, const FieldWriter& space,
                               uint32_t location) {
  namespace eah = extended_attribute_header;
  space.le32<eah::implementation_attributes_location>(free_space_attribute_at);
  // No application attributes: their location is the end of the space.
  space.le32<eah::application_attributes_location>(file_entry_attribute_bytes);
  write_implementation_attribute(image, space.at(free_space_attribute_at),
                                 free_ea_space_attribute_bytes, regid_free_ea_space);
  write_implementation_attribute(image, space.at(cgms_attribute_at), cgms_attribute_bytes,
                                 regid_dvd_cgms_info);
  make_tag(image, space.data(), tag_extended_attribute_header_descriptor, crc_length(eah::bytes),
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
    write_short_ad(area.at(0), node.fid_bytes, node.fid_block);
    return short_ad::bytes;
  }
  const size_t descriptor_bytes = long_form ? long_ad::bytes : short_ad::bytes;
  if (node.size == 0) return static_cast<uint32_t>(descriptor_bytes);
  size_t offset = 0;
  for_each_piece(image.settings.udf_revision, node, max_pieces, [&](const AllocationPiece& piece) {
    const auto block = static_cast<uint32_t>(image.layout.data_start + piece.block);
    if (long_form) {
      // File data lies in the physical partition (partition reference 0).
      write_long_ad(area.at(offset), piece.length_bytes, block, 0);
    } else {
      write_short_ad(area.at(offset), piece.length_bytes, block);
    }
    offset += descriptor_bytes;
  });
  return static_cast<uint32_t>(offset);
}

void write_time(const FieldWriter& field, int64_t time) { make_udf_timestamp(time, field.data()); }

// The extended attribute space is the same in every entry of a volume but
// for the location in its header's tag, and so that tag's checksum: it is
// made once and copied into each entry, which then writes only those two
// fields. Made per thread, for the revision last asked for.
const uint8_t* attribute_space_template(const DiscImage& image) {
  struct Template {
    bool made = false;
    uint16_t revision = 0;
    std::array<uint8_t, file_entry_attribute_bytes> bytes{};
  };
  thread_local Template space;
  if (!space.made || space.revision != image.settings.udf_revision) {
    space.bytes.fill(0);
    write_extended_attributes(image, FieldWriter(space.bytes.data(), space.bytes.size()), 0);
    space.revision = image.settings.udf_revision;
    space.made = true;
  }
  return space.bytes.data();
}

}  // namespace

void write_icb_tag(const FieldWriter& tag, uint8_t file_type, uint16_t descriptor_form) {
  tag.le32<icb_tag::prior_recorded_entries>(0);
  tag.le16<icb_tag::strategy_type>(icb_strategy_4);
  tag.le16<icb_tag::maximum_entries>(icb_single_entry);
  tag.u8<icb_tag::file_type>(file_type);
  tag.fill<icb_tag::parent_location>(0);
  tag.le16<icb_tag::flags>(static_cast<uint16_t>(icb_flag_archive | descriptor_form));
}

void write_entry_owner(const FieldWriter& entry, uint16_t link_count) {
  namespace fe = file_entry;
  entry.le32<fe::uid>(id_not_specified);
  entry.le32<fe::gid>(id_not_specified);
  entry.le32<fe::permissions>(permissions_read_execute);
  entry.le16<fe::link_count>(link_count);
}

uint8_t udf_file_type(const SourceNode& node) {
  if (node.is_directory) return icb_file_type_directory;
  return node.kind == NodeKind::plain ? icb_file_type_file : icb_file_type_real_time;
}

void fill_file_entry(const DiscImage& image, uint32_t block, const SourceNode& node,
                     uint8_t* sector) {
  namespace fe = file_entry;
  const FieldWriter entry(sector, sector_bytes);
  write_common_fields(entry, node, icb_short_descriptors);
  entry.le64<fe::logical_blocks_recorded>(blocks_recorded(information_length(node)));
  write_time(entry.at<fe::access_time>(), node.created);
  write_time(entry.at<fe::modification_time>(), node.modified);
  write_time(entry.at<fe::attribute_time>(), node.created);
  entry.le32<fe::checkpoint>(checkpoint_first);
  write_implementation_regid(image, entry.at<fe::implementation_identifier>());
  entry.le64<fe::unique_id>(node.unique_id);
  entry.le32<fe::extended_attributes_length>(file_entry_attribute_bytes);
  uint8_t* attribute_space = entry.at(fe::bytes).data();
  std::memcpy(attribute_space, attribute_space_template(image), file_entry_attribute_bytes);
  relocate_tag(attribute_space, block);
  const uint32_t descriptor_bytes = write_allocation_descriptors(
      image, node, entry.at(fe::bytes + file_entry_attribute_bytes), false, file_entry_descriptors);
  entry.le32<fe::allocation_descriptors_length>(descriptor_bytes);
  make_tag(image, sector, tag_file_entry,
           crc_length(fe::bytes, file_entry_attribute_bytes + descriptor_bytes), block);
}

void fill_extended_file_entry(const DiscImage& image, uint32_t block, const SourceNode& node,
                              uint8_t* sector) {
  namespace efe = extended_file_entry;
  const FieldWriter entry(sector, sector_bytes);
  // Directories are described by a short descriptor in the metadata
  // partition; file data by long descriptors into the physical partition.
  const bool long_form = !node.is_directory;
  write_common_fields(entry, node, long_form ? icb_long_descriptors : icb_short_descriptors);
  const uint64_t length = information_length(node);
  entry.le64<efe::object_size>(length);
  entry.le64<efe::logical_blocks_recorded>(blocks_recorded(length));
  write_time(entry.at<efe::access_time>(), node.created);
  write_time(entry.at<efe::modification_time>(), node.modified);
  write_time(entry.at<efe::creation_time>(), node.created);
  write_time(entry.at<efe::attribute_time>(), node.created);
  entry.le32<efe::checkpoint>(checkpoint_first);
  write_implementation_regid(image, entry.at<efe::implementation_identifier>());
  entry.le64<efe::unique_id>(node.unique_id);
  entry.le32<efe::extended_attributes_length>(0);
  // The clips of a stereoscopic pair are described extent by extent inside
  // their pair's interleaved block; the entry may continue in further blocks.
  const uint32_t descriptor_bytes =
      has_interleaved_extents(image.settings.udf_revision, node)
          ? fill_interleaved_descriptors(image, block, node, sector)
          : write_allocation_descriptors(image, node, entry.at(efe::bytes), long_form,
                                         extended_entry_descriptors);
  entry.le32<efe::allocation_descriptors_length>(descriptor_bytes);
  make_tag(image, sector, tag_extended_file_entry, crc_length(efe::bytes, descriptor_bytes), block);
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
