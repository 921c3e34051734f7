// PROVISIONAL: placeholder ISO 9660 sizing and writers that reserve sectors and
// emit zeros, so the engine can be built and tested before the real ISO 9660
// writer lands. Replaced by iso9660/ sources of their own.
#include "iso9660/iso_volume.h"

namespace kestrel {

void make_iso_name(ImageWriter&, SourceNode& node) {
  node.iso_name = "";
  node.iso_name_length = 12;
}

void sort_iso_children(ImageWriter&, SourceNode& directory) {
  directory.iso_first_child = directory.first_child;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    child->iso_next = child->next;
  }
}

bool size_iso_directory(ImageWriter&, SourceNode& directory, IsoLayoutCounters& counters) {
  counters.path_table_bytes += 8 + 8;
  uint64_t bytes = 68;
  for (SourceNode* child = directory.iso_first_child; child != nullptr; child = child->iso_next) bytes += 46;
  directory.iso_dir_number = static_cast<uint16_t>(counters.next_directory_number++);
  directory.iso_dir_bytes = static_cast<uint32_t>(bytes);
  directory.iso_dir_sector = static_cast<uint32_t>(counters.directory_sectors);
  counters.directory_sectors += (bytes + sector_bytes - 1) / sector_bytes;
  return true;
}

void write_primary_descriptor(ImageWriter& writer) { writer.emit_zero_sectors(1); }
void write_set_terminator(ImageWriter& writer) { writer.emit_zero_sectors(1); }
void write_path_table(ImageWriter& writer, bool) { writer.emit_zero_sectors(writer.path_table_sectors); }
void write_iso_directory(ImageWriter& writer, SourceNode& directory) {
  writer.emit_zero_sectors((directory.iso_dir_bytes + sector_bytes - 1) / sector_bytes);
}

}  // namespace kestrel
