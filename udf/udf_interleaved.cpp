#include "udf/udf_interleaved.h"

#include "disc/field_writer.h"
#include "engine/stereo_arrangement.h"
#include "udf/udf_tags.h"

namespace kestrel {
namespace {

// Where the allocation descriptors start in an extended file entry
// (ECMA-167 4/14.17) and in an allocation extent descriptor (4/14.5).
constexpr size_t efe_allocation_descriptors = 216;
constexpr size_t aed_previous_location = 16;
constexpr size_t aed_descriptors_length = 20;
constexpr size_t aed_descriptors = 24;
constexpr uint16_t aed_fixed_crc_bytes = 8;

// Descriptors an entry holds before it must continue elsewhere, and those an
// allocation extent block holds before and without a continuation.
constexpr size_t descriptors_in_entry = 114;
constexpr size_t entry_descriptors_before_continuation = 113;
constexpr size_t block_descriptors_before_continuation = 125;
constexpr size_t descriptors_in_last_block = 126;

// Extent type 3 (ECMA-167 4/14.14.1.1): the extent holds the next allocation
// descriptors; here one block of them.
constexpr uint32_t continuation_extent = (3u << 30) | sector_bytes;
// Entries and allocation extents live in the metadata partition.
constexpr uint16_t metadata_partition_reference = 1;

void write_piece(uint8_t* field, const InterleavedPiece& piece, uint64_t block_start) {
  // File data lies in the physical partition (partition reference 0).
  write_long_ad(field, piece.length_bytes,
                static_cast<uint32_t>(block_start + piece.offset_sectors), 0);
}

}  // namespace

uint32_t fill_interleaved_descriptors(const ImageWriter& writer, uint32_t block,
                                      const SourceNode& node, uint8_t* entry) {
  std::vector<InterleavedPiece> pieces = interleaved_extents(node);
  if (pieces.empty() || node.dependent_node == nullptr) return 0;
  // The last extent ends with the clip's last byte, not with its last sector.
  uint64_t before_last = 0;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) before_last += pieces[i].length_bytes;
  if (node.size > before_last && node.size - before_last < pieces.back().length_bytes) {
    pieces.back().length_bytes = static_cast<uint32_t>(node.size - before_last);
  }
  const uint64_t block_start =
      static_cast<uint64_t>(writer.layout.data_start) + node.dependent_node->data_offset;
  // Blocks reserved by the layout; the descriptors never run past them.
  const uint32_t blocks = node.icb_sectors == 0 ? 1 : node.icb_sectors;

  if (pieces.size() <= descriptors_in_entry) {
    for (size_t i = 0; i < pieces.size(); ++i) {
      write_piece(entry + efe_allocation_descriptors + i * long_ad_bytes, pieces[i], block_start);
    }
    return static_cast<uint32_t>(pieces.size() * long_ad_bytes);
  }

  size_t next = 0;
  for (; next < entry_descriptors_before_continuation; ++next) {
    write_piece(entry + efe_allocation_descriptors + next * long_ad_bytes, pieces[next],
                block_start);
  }
  write_long_ad(entry + efe_allocation_descriptors + next * long_ad_bytes, continuation_extent,
                block + 1, metadata_partition_reference);
  for (uint32_t index = 1; index < blocks && next < pieces.size(); ++index) {
    uint8_t* sector = entry + static_cast<size_t>(index) * sector_bytes;
    const FieldWriter fields(sector, sector_bytes);
    const size_t remaining = pieces.size() - next;
    const bool last = remaining <= descriptors_in_last_block || index + 1 == blocks;
    const size_t count = last ? std::min(remaining, descriptors_in_last_block)
                              : block_descriptors_before_continuation;
    for (size_t i = 0; i < count; ++i)
      write_piece(sector + aed_descriptors + i * long_ad_bytes, pieces[next++], block_start);
    size_t descriptor_bytes = count * long_ad_bytes;
    if (!last) {
      write_long_ad(sector + aed_descriptors + descriptor_bytes, continuation_extent,
                    block + index + 1, metadata_partition_reference);
      descriptor_bytes += long_ad_bytes;
    }
    fields.le32(aed_previous_location, 0);
    fields.le32(aed_descriptors_length, static_cast<uint32_t>(descriptor_bytes));
    make_tag(writer, sector, tag_allocation_extent_descriptor,
             static_cast<uint16_t>(aed_fixed_crc_bytes + descriptor_bytes), block + index);
  }
  return static_cast<uint32_t>((entry_descriptors_before_continuation + 1) * long_ad_bytes);
}

}  // namespace kestrel
