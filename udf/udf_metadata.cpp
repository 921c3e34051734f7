// UDF 2.50 metadata partition: the metadata file entry at the start of the
// physical partition and the metadata mirror file entry after the file data
// (UDF 2.2.13). Both are extended file entries (ECMA-167 4/14.17) whose short
// allocation descriptors cover the `metadata_blocks` blocks of the file
// structure: from partition block 32 for the metadata file, from the mirror
// data for the mirror.
#include "udf/udf_metadata.h"

#include "disc/field_writer.h"
#include "udf/udf_allocation.h"
#include "udf/udf_files.h"
#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// UDF 2.2.13: file types of the metadata file and its mirror.
constexpr uint8_t file_type_metadata = 250;
constexpr uint8_t file_type_metadata_mirror = 251;
constexpr uint32_t initial_checkpoint = 1;

// The metadata file's data starts one 32-block allocation unit into the
// physical partition, after the entry itself.
constexpr uint32_t metadata_data_block = metadata_allocation_unit_blocks;

}  // namespace

bool fill_metadata_file_entry(const DiscImage& image, uint8_t* buffer, uint32_t sector,
                              bool mirror) {
  namespace efe = extended_file_entry;
  const uint32_t metadata_blocks = image.layout.metadata_blocks;
  // The metadata is allocated in 32-block units, so its extents are cut at a
  // multiple of 32 blocks too; a single entry sector holds this many.
  const uint64_t extents =
      (uint64_t{metadata_blocks} + metadata_extent_blocks - 1) / metadata_extent_blocks;
  if (extents > metadata_entry_descriptors) return false;
  const FieldWriter entry(buffer, sector_bytes);
  const uint64_t metadata_bytes = uint64_t{metadata_blocks} * sector_bytes;
  write_icb_tag(entry.at<efe::icb_tag>(), mirror ? file_type_metadata_mirror : file_type_metadata,
                icb_short_descriptors);
  write_entry_owner(entry, 0);
  entry.le64<efe::information_length>(metadata_bytes);
  entry.le64<efe::object_size>(metadata_bytes);
  entry.le64<efe::logical_blocks_recorded>(metadata_blocks);
  write_build_timestamp(image, entry.at<efe::access_time>());
  write_build_timestamp(image, entry.at<efe::modification_time>());
  write_build_timestamp(image, entry.at<efe::creation_time>());
  write_build_timestamp(image, entry.at<efe::attribute_time>());
  entry.le32<efe::checkpoint>(initial_checkpoint);
  write_implementation_regid(image, entry.at<efe::implementation_identifier>());
  entry.le64<efe::unique_id>(0);
  entry.le32<efe::extended_attributes_length>(0);

  // The allocation descriptors, in blocks of the physical partition.
  uint32_t position =
      mirror ? image.layout.mirror_data_sector - image.layout.data_base : metadata_data_block;
  uint32_t remaining = metadata_blocks;
  size_t offset = efe::bytes;
  while (remaining > 0) {
    const uint32_t blocks = remaining < metadata_extent_blocks ? remaining : metadata_extent_blocks;
    write_short_ad(entry.at(offset), blocks * sector_bytes, position);
    position += blocks;
    remaining -= blocks;
    offset += short_ad::bytes;
  }
  const auto descriptor_bytes = static_cast<uint32_t>(offset - efe::bytes);
  entry.le32<efe::allocation_descriptors_length>(descriptor_bytes);
  make_tag(image, buffer, tag_extended_file_entry, crc_length(efe::bytes, descriptor_bytes),
           sector - image.layout.data_base);
  return true;
}

bool write_metadata_file_entry(const DiscImage& image, SectorEmitter& out, uint32_t sector,
                               bool mirror) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer == nullptr) return true;
  if (!fill_metadata_file_entry(image, buffer, sector, mirror)) return false;
  out.emit_sectors(buffer, 1);
  return true;
}

}  // namespace kestrel::udf
