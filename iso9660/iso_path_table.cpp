// ISO 9660 path tables (ECMA-119 6.9, 9.4): one record per directory in
// directory-number order, which is the breadth-first ISO 9660 order the
// layout numbered them in. Type L holds little-endian numbers, type M
// big-endian ones.
#include "disc/tree_walk.h"
#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

struct PathTableWriter {
  FieldWriter table;
  bool little_endian;
  size_t offset = 0;

  void add(const DiscImage& image, const SourceNode& directory, uint16_t parent_number) {
    const Identifier identifier = node_identifier(directory);
    const uint32_t length = path_record_bytes(identifier.length);
    if (length > table.size() - offset) return;  // never past the table laid out
    namespace ptr = path_table_record;
    const FieldWriter record = table.at(offset);
    record.u8<ptr::identifier_length>(static_cast<uint8_t>(identifier.length));
    record.u8<ptr::extended_attribute_length>(0);
    // Every record, the root's included, holds the directory's absolute sector.
    const auto location = static_cast<uint32_t>(directory_location(image, directory));
    if (little_endian) {
      record.le32<ptr::extent_location>(location);
      record.le16<ptr::parent_number>(parent_number);
    } else {
      record.be32<ptr::extent_location>(location);
      record.be16<ptr::parent_number>(parent_number);
    }
    record.bytes(ptr::bytes, identifier.bytes, identifier.length);
    offset += length;
  }
};

}  // namespace

void fill_path_table(const DiscImage& image, bool little_endian, uint8_t* buffer) {
  if (image.tree.root == nullptr) return;
  PathTableWriter table{
      FieldWriter(buffer, static_cast<size_t>(image.layout.path_table_sectors) * sector_bytes),
      little_endian};
  // The root is directory number 1 and its own parent (ECMA-119 9.4.4).
  table.add(image, *image.tree.root, 1);
  walk_directories_breadth_first(image.tree.root, ChildOrder::iso9660, [&](SourceNode& directory) {
    for (const SourceNode* child = directory.iso_first_child; child != nullptr;
         child = child->iso_next) {
      if (child->is_directory) table.add(image, *child, directory.iso_dir_number);
    }
    return true;
  });
}

void write_path_table(const DiscImage& image, SectorEmitter& out, bool little_endian) {
  uint8_t* buffer = out.get_sector_buffer(image.layout.path_table_sectors);
  if (buffer != nullptr) fill_path_table(image, little_endian, buffer);
  out.emit_sectors(buffer, image.layout.path_table_sectors);
}

}  // namespace kestrel::iso9660
