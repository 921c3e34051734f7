// PROVISIONAL: placeholder UDF sizing and writers that reserve blocks and emit
// zeros, so the engine can be built and tested before the real UDF writer
// lands. Replaced by udf/ sources of their own.
#include "udf/udf_volume.h"

#include "engine/tree_walk.h"

namespace kestrel {


void make_udf_name(ImageWriter&, SourceNode& node) { node.udf_name_length = static_cast<uint8_t>(node.name_length * 2); }
void sort_udf_children(ImageWriter&, SourceNode&) {}

void size_udf_directory(ImageWriter&, SourceNode& directory, UdfLayoutCounters& counters) {
  uint64_t bytes = 40;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    bytes += (child->udf_name_length + 42u) & ~3u;
  }
  directory.fid_bytes = static_cast<uint32_t>(bytes);
  directory.fid_block = static_cast<uint32_t>(counters.next_block);
  const uint64_t fid_blocks = (bytes + sector_bytes - 1) / sector_bytes;
  uint64_t block = counters.next_block + fid_blocks;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    child->icb_block = static_cast<uint32_t>(block);
    block += child->icb_sectors;
  }
  counters.next_block = block;
  counters.identifier_blocks += fid_blocks;
}


uint64_t write_file_set(ImageWriter& writer) {
  uint64_t blocks = 3;
  writer.emit_zero_sectors(3);
  walk_directories_breadth_first(writer.root, ChildOrder::primary, [&](SourceNode& directory) {
    const uint64_t fid_blocks = (directory.fid_bytes + sector_bytes - 1) / sector_bytes;
    writer.emit_zero_sectors(fid_blocks);
    blocks += fid_blocks;
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
      writer.emit_zero_sectors(child->icb_sectors);
      blocks += child->icb_sectors;
    }
    return true;
  });
  return blocks;
}


}  // namespace kestrel
