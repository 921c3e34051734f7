// How UDF records where a file's data lies: the pieces its data is cut into,
// how many allocation descriptors fit in an entry and in each block that
// continues it, and so how many blocks a node's entry takes. The capacities
// derive from the record sizes of udf_records.h. The layout asks for each
// node's plan (plan_allocation) and keeps it in the node; the entry writers
// replay it (for_each_piece, descriptors_in_block).
#pragma once

#include <cstddef>
#include <cstdint>

#include <algorithm>

#include "bluray/stereo_pair.h"
#include "disc/source_node.h"
#include "disc/volume_settings.h"
#include "udf/udf_records.h"

namespace kestrel::udf {

// An extent length has 30 bits; the top two bits of the field give the
// extent type (ECMA-167 4/14.14.1.1).
inline constexpr uint32_t max_extent_length = (uint32_t{1} << 30) - 1;
// Extent type 3: the extent holds the next allocation descriptors.
inline constexpr uint32_t extent_type_continuation = uint32_t{3} << 30;

// File data is cut into pieces of at most 0x3FFFF000 bytes (524,286 blocks):
// the largest multiple of 4096 bytes (two blocks) below the extent length
// limit. Both clips of a stereoscopic pair are cut at the same length.
inline constexpr uint32_t piece_alignment_bytes = 2 * sector_bytes;
inline constexpr uint32_t udf_piece_bytes =
    max_extent_length / piece_alignment_bytes * piece_alignment_bytes;
inline constexpr uint32_t udf_piece_sectors = udf_piece_bytes / sector_bytes;
static_assert(udf_piece_bytes == 0x3FFFF000 && udf_piece_sectors == 524286);

// The metadata file of a UDF 2.50 volume is allocated in 32-block units, so
// its extents are cut at the largest multiple of 32 blocks below the limit.
inline constexpr uint32_t metadata_allocation_unit_blocks = 32;
inline constexpr uint32_t metadata_extent_blocks = max_extent_length / sector_bytes /
                                                   metadata_allocation_unit_blocks *
                                                   metadata_allocation_unit_blocks;
static_assert(metadata_extent_blocks == 524256);

// The extended attribute space of a UDF 1.02 file entry: the header
// descriptor and the two implementation use attributes that DVD discs carry
// (UDF 3.3.4.5, 6.11): "*UDF FreeEASpace" with 2 bytes of free space after
// its header checksum, "*UDF DVD CGMS Info" with the CGMS information, the
// data structure type and 4 bytes of protection system information.
inline constexpr uint32_t free_ea_space_attribute_bytes = implementation_attribute::bytes + 2;
inline constexpr uint32_t cgms_attribute_bytes = implementation_attribute::bytes + 1 + 1 + 4;
inline constexpr uint32_t file_entry_attribute_bytes =
    extended_attribute_header::bytes + free_ea_space_attribute_bytes + cgms_attribute_bytes;
static_assert(file_entry_attribute_bytes == 132);

// Allocation descriptors that fit after the fixed part of each record.
inline constexpr uint64_t file_entry_descriptors =
    (sector_bytes - file_entry::bytes - file_entry_attribute_bytes) / short_ad::bytes;
inline constexpr uint64_t extended_entry_descriptors =
    (sector_bytes - extended_file_entry::bytes) / long_ad::bytes;
inline constexpr uint64_t metadata_entry_descriptors =
    (sector_bytes - extended_file_entry::bytes) / short_ad::bytes;
inline constexpr uint64_t extent_block_descriptors =
    (sector_bytes - allocation_extent::bytes) / long_ad::bytes;
static_assert(file_entry_descriptors == 217 && extended_entry_descriptors == 114 &&
              metadata_entry_descriptors == 229 && extent_block_descriptors == 126);

// Pieces of a file of `size` bytes.
constexpr uint64_t udf_piece_count(uint64_t size) {
  return (size + udf_piece_bytes - 1) / udf_piece_bytes;
}

// What the layout keeps of a node's allocation (in icb_sectors and
// extent_count): its data descriptors, and the blocks its entry takes.
struct AllocationPlan {
  uint64_t descriptors = 0;
  uint32_t entry_blocks = 1;
  bool fits = true;  // false: an ordinary file with more pieces than its entry holds
};

// True when the node is a clip of a stereoscopic pair whose allocation
// descriptors follow the pair's extent lists and may continue in further
// blocks (UDF 2.50 only).
bool has_interleaved_extents(uint16_t udf_revision, const SourceNode& node);

AllocationPlan plan_allocation(uint16_t udf_revision, const SourceNode& node);

// Blocks a node's entry takes, as its plan gave them: one, more only for an
// interleaved clip whose descriptors continue in allocation extent blocks.
inline uint32_t udf_entry_blocks(const SourceNode& node) {
  return node.icb_sectors > 1 ? node.icb_sectors : 1;
}

// Blocks an extended file entry with `descriptors` long allocation
// descriptors takes: the entry, then allocation extent blocks for what does
// not fit, each ending with a continuation to the next when more follow.
uint32_t entry_blocks_for_descriptors(uint64_t descriptors);

// The data descriptors that block `index` of an entry holds (0: the entry
// itself) when the entry has `descriptors` in all, and whether a
// continuation to the next block follows them.
struct BlockShare {
  uint64_t first = 0;
  uint64_t count = 0;
  bool continues = false;
};
BlockShare descriptors_in_block(uint64_t descriptors, uint32_t index);

// One piece of a file's data: its first block counted from the start of the
// data area, and its length in bytes.
struct AllocationPiece {
  uint64_t block;
  uint32_t length_bytes;
};

// Calls `visit(piece)` for every piece of the node's data in order: an
// ordinary file's consecutive pieces from its data_offset, or an interleaved
// clip's pieces inside its pair's block (D0, B0, D1, B1, ...), the last one
// ending with the clip's last byte. At most `max_pieces` pieces of an
// ordinary file are visited (the layout refuses a file with more).
template <typename Visitor>
void for_each_piece(uint16_t udf_revision, const SourceNode& node, uint64_t max_pieces,
                    Visitor&& visit) {
  if (!has_interleaved_extents(udf_revision, node)) {
    uint64_t remaining = node.size;
    const uint64_t pieces = std::min(udf_piece_count(node.size), max_pieces);
    for (uint64_t i = 0; i < pieces; ++i) {
      const auto length = static_cast<uint32_t>(std::min<uint64_t>(remaining, udf_piece_bytes));
      visit(AllocationPiece{node.data_offset + i * udf_piece_sectors, length});
      remaining -= length;
    }
    return;
  }
  const bluray::StereoPair& pair = *node.stereo_pair;
  const bool dependent = node.kind == NodeKind::dependent_view_clip;
  const uint64_t block_start = node.dependent_node->data_offset;
  const uint64_t mine = node.extent_count;
  uint64_t offset = 0, taken = 0, bytes_before = 0;
  auto take = [&](uint32_t length, bool is_mine) {
    while (length > 0) {
      const uint32_t sectors = std::min(length, udf_piece_sectors);
      if (is_mine) {
        uint32_t bytes = sectors * sector_bytes;
        // The last piece ends with the clip's last byte, not its last sector.
        if (++taken == mine && node.size > bytes_before && node.size - bytes_before < bytes)
          bytes = static_cast<uint32_t>(node.size - bytes_before);
        visit(AllocationPiece{block_start + offset, bytes});
        bytes_before += bytes;
      }
      offset += sectors;
      length -= sectors;
    }
  };
  for (size_t i = 0; i < pair.dependent_extents.size(); ++i) {
    take(pair.dependent_extents[i], dependent);
    if (i < pair.base_extents.size()) take(pair.base_extents[i], !dependent);
  }
}

}  // namespace kestrel::udf
