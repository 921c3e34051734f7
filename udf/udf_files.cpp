// The UDF file structure: sizing of every directory's identifiers and the
// blocks of every entry during the layout, and the emitting of the whole
// structure (file set descriptor, its terminator, the root entry, then for
// each directory, breadth first, its identifiers and its children's entries).
#include "udf/udf_files.h"
#include "udf/udf_interleaved.h"

#include <algorithm>
#include <cstring>

#include "disc/field_writer.h"
#include "disc/tree_walk.h"
#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// The file set descriptor (block 0), its terminating descriptor and the
// root's entry take the first three blocks of the file structure.
constexpr uint32_t file_set_terminator_block = 1;
constexpr uint32_t root_entry_block = 2;

// A directory's identifiers are described by one short allocation
// descriptor, whose extent length has 30 bits (ECMA-167 4/14.14.1.1).
constexpr uint64_t max_directory_bytes = (uint64_t{1} << 30) - 1;

// Directory identifiers are built and emitted through a window of this many
// blocks, so that a folder of a hundred thousand files needs no buffer of
// its own size.
constexpr uint32_t identifier_window_blocks = 64;

// ECMA-167 4/14.4: file version number 1.
constexpr uint16_t fid_version_number = 1;
// File characteristics (ECMA-167 4/14.4.3).
constexpr uint8_t fid_characteristic_directory = 0x02;
constexpr uint8_t fid_characteristic_parent = 0x08;

// Builds one file identifier descriptor at `record` (zero-filled, at least
// its length long), which begins in partition block `block`.
uint32_t fill_file_identifier(const DiscImage& image, uint8_t* record, uint32_t block,
                              const SourceNode& target, bool parent_entry) {
  const uint32_t name_bytes = parent_entry ? 0 : target.udf_name_length;
  const uint32_t length =
      parent_entry ? parent_identifier_bytes : file_identifier_bytes(name_bytes);
  namespace fid = file_identifier;
  const FieldWriter fields(record, length);
  fields.le16<fid::version>(fid_version_number);
  uint8_t characteristics = 0;
  if (parent_entry) {
    characteristics = fid_characteristic_directory | fid_characteristic_parent;
  } else if (target.is_directory) {
    characteristics = fid_characteristic_directory;
  }
  fields.u8<fid::characteristics>(characteristics);
  // The identifier is the compression ID followed by the name bytes.
  fields.u8<fid::identifier_length>(static_cast<uint8_t>(name_bytes == 0 ? 0 : name_bytes + 1));
  const FieldWriter icb = fields.at<fid::icb>();
  write_long_ad(icb, sector_bytes, target.icb_block, file_structure_partition(image));
  // The parent entry carries the unique ID only from UDF 2.00 on.
  if (!parent_entry || image.settings.udf_revision >= udf_revision_250)
    icb.le32<long_ad::unique_id>(target.unique_id);
  fields.le16<fid::implementation_use_length>(0);
  if (name_bytes > 0) {
    fields.u8(fid::bytes,
              target.udf_name_8bit != 0 ? dstring_compression_8 : dstring_compression_16);
    fields.bytes(fid::bytes + 1, target.udf_name, name_bytes);
  }
  make_tag(image, record, tag_file_identifier_descriptor, crc_length(length), block);
  return length;
}

// Emits the identifiers through a window of blocks: a descriptor may run
// across a block boundary, so the unfinished last block of a window is
// carried into the next one.
class IdentifierEmitter {
 public:
  IdentifierEmitter(const DiscImage& image, SectorEmitter& out, uint32_t first_block,
                    uint64_t total_bytes)
      : image_(image), out_(out), first_block_(first_block) {
    window_blocks_ = static_cast<uint32_t>(
        std::min<uint64_t>(sectors_for_bytes(total_bytes), identifier_window_blocks));
    window_ = out_.get_sector_buffer(window_blocks_);
  }

  bool add(const SourceNode& target, bool parent_entry) {
    if (window_ == nullptr) return false;
    const uint32_t length =
        parent_entry ? parent_identifier_bytes : file_identifier_bytes(target.udf_name_length);
    if (length > window_blocks_ * sector_bytes - used_) {
      if (!flush_full_blocks()) return false;
      // Only a directory sized for fewer identifiers than it holds gets here.
      if (length > window_blocks_ * sector_bytes - used_) return false;
    }
    const uint64_t block = first_block_ + (emitted_bytes_ + used_) / sector_bytes;
    used_ += fill_file_identifier(image_, window_ + used_, static_cast<uint32_t>(block), target,
                                  parent_entry);
    return true;
  }

  // Emits what is left; returns the bytes emitted in all, whole blocks.
  uint64_t finish() {
    if (window_ != nullptr && used_ > 0) {
      const auto blocks = static_cast<uint32_t>(sectors_for_bytes(used_));
      out_.emit_sectors(window_, blocks);
      emitted_bytes_ += static_cast<uint64_t>(blocks) * sector_bytes;
      used_ = 0;
    }
    return emitted_bytes_;
  }

 private:
  bool flush_full_blocks() {
    const uint32_t full_blocks = used_ / sector_bytes;
    const uint32_t tail = used_ % sector_bytes;
    uint8_t carry[sector_bytes];
    std::memcpy(carry, window_ + static_cast<size_t>(full_blocks) * sector_bytes, tail);
    out_.emit_sectors(window_, full_blocks);
    emitted_bytes_ += static_cast<uint64_t>(full_blocks) * sector_bytes;
    window_ = out_.get_sector_buffer(window_blocks_);
    if (window_ == nullptr) return false;
    std::memcpy(window_, carry, tail);
    used_ = tail;
    return true;
  }

  const DiscImage& image_;
  SectorEmitter& out_;
  uint32_t first_block_;
  uint32_t window_blocks_ = 0;
  uint8_t* window_ = nullptr;
  uint32_t used_ = 0;           // bytes built in the window
  uint64_t emitted_bytes_ = 0;  // bytes emitted before the window
};

// Emits the entry of one node: a file entry for 1.02, an extended file entry
// for 2.50. Returns the blocks emitted.
uint32_t write_entry(const DiscImage& image, SectorEmitter& out, uint32_t block,
                     const SourceNode& node) {
  if (image.settings.udf_revision >= udf_revision_250) {
    write_extended_file_entry(image, out, block, node);
    return udf_entry_blocks(node);
  }
  write_file_entry(image, out, block, node);
  return 1;
}

}  // namespace

void size_udf_directory(DiscImage& image, SourceNode& directory, UdfLayoutCounters& counters) {
  uint64_t bytes = parent_identifier_bytes;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    bytes += file_identifier_bytes(child->udf_name_length);
    // Each child's entry takes the blocks its allocation plan asks for.
    const AllocationPlan plan = plan_allocation(image.settings.udf_revision, *child);
    if (!plan.fits) {
      image.report.fail(BuildError::file_too_large, node_file_path(image, *child));
      return;
    }
    child->icb_sectors = plan.entry_blocks;
    child->extent_count = static_cast<uint32_t>(plan.descriptors);
  }
  if (bytes > max_directory_bytes) {
    image.report.fail(BuildError::file_too_large, node_file_path(image, directory));
    return;
  }
  const uint64_t identifier_blocks = sectors_for_bytes(bytes);
  directory.fid_bytes = static_cast<uint32_t>(bytes);
  directory.fid_block = static_cast<uint32_t>(counters.next_block);
  uint64_t block = counters.next_block + identifier_blocks;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    // A hard link is an identifier of its file's entry, which lies elsewhere.
    if (child->shares_entry) continue;
    child->icb_block = static_cast<uint32_t>(block);
    block += udf_entry_blocks(*child);
  }
  counters.next_block = block;
  counters.identifier_blocks += identifier_blocks;
}

uint64_t write_udf_directory(const DiscImage& image, SectorEmitter& out, uint32_t first_block,
                             const SourceNode& directory) {
  IdentifierEmitter emitter(image, out, first_block, directory.fid_bytes);
  // The first entry names the parent; the root is its own parent.
  const SourceNode& parent = directory.parent != nullptr ? *directory.parent : directory;
  if (!emitter.add(parent, true)) return emitter.finish();
  for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    if (!emitter.add(*child, false)) break;
  }
  return emitter.finish();
}

uint64_t write_file_set(const DiscImage& image, SectorEmitter& out) {
  // Block k of the file structure is the k-th sector from here, in the
  // partition (1.02) or in the metadata file and its mirror (2.50).
  const uint64_t base = out.position();
  uint64_t blocks = 0;

  uint8_t* sector = out.get_sector_buffer(1);
  if (sector == nullptr) return blocks;
  fill_file_set_descriptor(image, sector);
  out.emit_sectors(sector, 1);
  ++blocks;
  sector = out.get_sector_buffer(1);
  if (sector == nullptr) return blocks;
  fill_terminating_descriptor(image, sector, file_set_terminator_block);
  out.emit_sectors(sector, 1);
  ++blocks;

  blocks += write_entry(image, out, root_entry_block, *image.tree.root);

  walk_directories_breadth_first(image.tree.root, [&](SourceNode& directory) {
    if (!out.expect_position(base + directory.fid_block)) return false;
    blocks += write_udf_directory(image, out, directory.fid_block, directory) / sector_bytes;
    for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
      // A failed batch or a cancel ends a folder of 100,000 entries at once
      // instead of filling the rest of its entries for nothing.
      if (out.stopped()) return false;
      if (child->shares_entry) continue;
      if (!out.expect_position(base + child->icb_block)) return false;
      blocks += write_entry(image, out, child->icb_block, *child);
    }
    return !out.stopped();
  });
  return blocks;
}

}  // namespace kestrel::udf
