// ISO 9660 path tables (ECMA-119 6.9, 9.4): one record per directory in
// directory-number order, which is the order the tree keeps its directories
// in. Type L holds little-endian numbers, type M big-endian ones.
#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

// The root's directory identifier in a path table (ECMA-119 6.9.2).
constexpr uint8_t root_identifier[1] = {self_identifier};

IdentifierText path_identifier(const IsoTree& tree, uint32_t index) {
  if (index == 0) return {root_identifier, {}};
  return tree.identifier(tree.directories[index]);
}

}  // namespace

uint64_t size_path_table(const IsoTree& tree) {
  uint64_t bytes = 0;
  for (uint32_t index = 0; index < tree.directories.size(); ++index)
    bytes += path_record_bytes(static_cast<uint32_t>(path_identifier(tree, index).size()));
  return bytes;
}

void fill_path_table(const IsoTree& tree, bool little_endian, uint8_t* buffer) {
  namespace ptr = path_table_record;
  const FieldWriter table(buffer, static_cast<size_t>(tree.path_table_sectors) * sector_bytes);
  size_t offset = 0;
  for (uint32_t index = 0; index < tree.directories.size(); ++index) {
    const IsoDirectory& directory = tree.directories[index];
    const IdentifierText identifier = path_identifier(tree, index);
    const uint32_t length = path_record_bytes(static_cast<uint32_t>(identifier.size()));
    if (length > table.size() - offset) return;  // never past the table laid out
    const FieldWriter record = table.at(offset);
    record.u8<ptr::identifier_length>(static_cast<uint8_t>(identifier.size()));
    record.u8<ptr::extended_attribute_length>(0);
    // Every record, the root's included, holds the directory's absolute
    // sector; the root is directory number 1 and its own parent (ECMA-119
    // 9.4.4).
    const auto location = static_cast<uint32_t>(tree.location(directory));
    const auto parent_number = static_cast<uint16_t>(directory.parent + 1);
    if (little_endian) {
      record.le32<ptr::extent_location>(location);
      record.le16<ptr::parent_number>(parent_number);
    } else {
      record.be32<ptr::extent_location>(location);
      record.be16<ptr::parent_number>(parent_number);
    }
    identifier.copy_to(record.at(ptr::bytes).data());
    offset += length;
  }
}

void write_path_table(const IsoTree& tree, SectorEmitter& out, bool little_endian) {
  uint8_t* buffer = out.get_sector_buffer(tree.path_table_sectors);
  if (buffer != nullptr) fill_path_table(tree, little_endian, buffer);
  out.emit_sectors(buffer, tree.path_table_sectors);
}

}  // namespace kestrel::iso9660
