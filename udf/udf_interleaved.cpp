#include "udf/udf_interleaved.h"

#include "disc/field_writer.h"
#include "udf/udf_allocation.h"
#include "udf/udf_tags.h"

namespace kestrel::udf {
namespace {

// Entries and allocation extents live in the metadata partition.
constexpr uint16_t metadata_partition_reference = 1;

}  // namespace

uint32_t fill_interleaved_descriptors(const DiscImage& image, uint32_t block,
                                      const SourceNode& node, uint8_t* entry) {
  // Blocks reserved by the layout; the descriptors never run past them.
  const uint32_t blocks = udf_entry_blocks(node);
  const uint64_t descriptors = node.extent_count;
  const FieldWriter all(entry, size_t{blocks} * sector_bytes);
  // Where each block keeps its descriptors: after the entry's fixed part,
  // after each allocation extent descriptor's.
  auto descriptors_of = [&](uint32_t index) {
    return all.at(size_t{index} * sector_bytes +
                  (index == 0 ? extended_file_entry::bytes : allocation_extent::bytes));
  };

  uint64_t next = 0;
  uint32_t current = 0;
  BlockShare share = descriptors_in_block(descriptors, current);
  for_each_piece(image.settings.udf_revision, node, descriptors, [&](const AllocationPiece& piece) {
    while (next >= share.first + share.count && current + 1 < blocks)
      share = descriptors_in_block(descriptors, ++current);
    const uint64_t slot = next++ - share.first;
    // File data lies in the physical partition (partition reference 0).
    write_long_ad(descriptors_of(current).at(static_cast<size_t>(slot) * long_ad::bytes),
                  piece.length_bytes, static_cast<uint32_t>(image.layout.data_start + piece.block),
                  0);
  });

  uint32_t entry_descriptor_bytes = 0;
  for (uint32_t index = 0; index < blocks; ++index) {
    const BlockShare own = descriptors_in_block(descriptors, index);
    size_t descriptor_bytes = static_cast<size_t>(own.count) * long_ad::bytes;
    // A block that does not hold the last descriptors names the next block.
    if (own.continues && index + 1 < blocks) {
      write_long_ad(descriptors_of(index).at(descriptor_bytes),
                    extent_type_continuation | sector_bytes, block + index + 1,
                    metadata_partition_reference);
      descriptor_bytes += long_ad::bytes;
    }
    if (index == 0) {
      entry_descriptor_bytes = static_cast<uint32_t>(descriptor_bytes);
      continue;
    }
    const FieldWriter extent = all.at(size_t{index} * sector_bytes);
    extent.le32<allocation_extent::previous_location>(0);
    extent.le32<allocation_extent::descriptors_length>(static_cast<uint32_t>(descriptor_bytes));
    make_tag(image, extent.data(), tag_allocation_extent_descriptor,
             crc_length(allocation_extent::bytes, descriptor_bytes), block + index);
  }
  return entry_descriptor_bytes;
}

}  // namespace kestrel::udf
