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
  // Where each block keeps its descriptors: after the entry's fixed part,
  // after each allocation extent descriptor's.
  auto descriptor_field = [&](uint64_t index) -> uint8_t* {
    for (uint32_t b = 0; b < blocks; ++b) {
      const BlockShare share = descriptors_in_block(descriptors, b);
      if (index < share.first + share.count) {
        const size_t fixed = b == 0 ? extended_file_entry::bytes : allocation_extent::bytes;
        return entry + size_t{b} * sector_bytes + fixed + (index - share.first) * long_ad::bytes;
      }
    }
    return nullptr;
  };
  uint64_t index = 0;
  for_each_piece(image.settings.udf_revision, node, descriptors, [&](const AllocationPiece& piece) {
    uint8_t* field = descriptor_field(index++);
    // File data lies in the physical partition (partition reference 0).
    if (field != nullptr)
      write_long_ad(field, piece.length_bytes,
                    static_cast<uint32_t>(image.layout.data_start + piece.block), 0);
  });

  uint32_t entry_descriptor_bytes = 0;
  for (uint32_t b = 0; b < blocks; ++b) {
    const BlockShare share = descriptors_in_block(descriptors, b);
    const size_t fixed = b == 0 ? extended_file_entry::bytes : allocation_extent::bytes;
    uint8_t* sector = entry + size_t{b} * sector_bytes;
    size_t descriptor_bytes = share.count * long_ad::bytes;
    // A block that does not hold the last descriptors names the next block.
    if (share.continues && b + 1 < blocks) {
      write_long_ad(sector + fixed + descriptor_bytes, extent_type_continuation | sector_bytes,
                    block + b + 1, metadata_partition_reference);
      descriptor_bytes += long_ad::bytes;
    }
    if (b == 0) {
      entry_descriptor_bytes = static_cast<uint32_t>(descriptor_bytes);
      continue;
    }
    const FieldWriter fields(sector, sector_bytes);
    fields.le32<allocation_extent::previous_location>(0);
    fields.le32<allocation_extent::descriptors_length>(static_cast<uint32_t>(descriptor_bytes));
    make_tag(
        image, sector, tag_allocation_extent_descriptor,
        static_cast<uint16_t>(allocation_extent::bytes - descriptor_tag::bytes + descriptor_bytes),
        block + b);
  }
  return entry_descriptor_bytes;
}

}  // namespace kestrel::udf
