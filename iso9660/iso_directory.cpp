// ISO 9660 directories (ECMA-119 6.8, 9.1): sizing during the layout and
// writing during the write sequence. Both walk the records through one
// placement routine, so the written records land where the layout counted
// them.
#include <cstdint>

#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

constexpr uint16_t volume_sequence_number = 1;  // a volume set of one volume

// Bytes a directory's extent may have: its Data Length is a 32-bit field.
constexpr uint64_t max_directory_bytes = 0xFFFFFFFFull;

enum class SlotKind { self, parent, child };

struct RecordSlot {
  SlotKind kind;
  const SourceNode* node;  // the child, for SlotKind::child
  uint64_t extent_index;   // files: which extent of the file
  uint64_t extent_count;
  uint64_t offset;  // byte offset in the directory extent
  uint32_t length;
};

// Visits every record of `directory` in order with its place in the extent:
// the "." and ".." records, then each child in ISO 9660 order, a file with
// one record per extent. Returns the offset just past the last record.
template <typename Visitor>
uint64_t for_each_record(const DiscImage& image, const SourceNode& directory, Visitor&& visit) {
  uint64_t offset = 0;
  auto place = [&](SlotKind kind, const SourceNode* node, uint64_t index, uint64_t count,
                   uint32_t length) {
    offset = place_record(offset, length);
    visit(RecordSlot{kind, node, index, count, offset, length});
    offset += length;
  };
  const uint32_t dot_length = directory_record_bytes(image, 1);
  place(SlotKind::self, &directory, 0, 1, dot_length);
  place(SlotKind::parent, &directory, 0, 1, dot_length);
  for (const SourceNode* child = directory.iso_first_child; child != nullptr;
       child = child->iso_next) {
    const uint32_t length = directory_record_bytes(image, child->iso_name_length);
    const uint64_t count = child->is_directory ? 1 : file_extent_count(*child);
    for (uint64_t index = 0; index < count; ++index)
      place(SlotKind::child, child, index, count, length);
  }
  return offset;
}

DirectoryRecord directory_entry(const DiscImage& image, const SourceNode& directory) {
  DirectoryRecord record;
  record.location = static_cast<uint32_t>(directory_location(image, directory));
  record.data_length = directory.iso_dir_bytes;
  record.recorded = directory.modified;
  record.flags = flag_directory;
  return record;
}

DirectoryRecord record_for(const DiscImage& image, const SourceNode& directory,
                           const RecordSlot& slot) {
  static constexpr uint8_t self_id[1] = {self_identifier};
  static constexpr uint8_t parent_id[1] = {parent_identifier};
  if (slot.kind == SlotKind::self) {
    DirectoryRecord record = directory_entry(image, directory);
    record.identifier = self_id;
    record.identifier_length = 1;
    return record;
  }
  if (slot.kind == SlotKind::parent) {
    // The root is its own parent (ECMA-119 6.8.2.2).
    const SourceNode& parent = directory.parent != nullptr ? *directory.parent : directory;
    DirectoryRecord record = directory_entry(image, parent);
    record.identifier = parent_id;
    record.identifier_length = 1;
    return record;
  }
  const SourceNode& child = *slot.node;
  DirectoryRecord record;
  if (child.is_directory) {
    record = directory_entry(image, child);
  } else {
    // Extent i of a file starts max_extent_sectors * i sectors into its data;
    // every extent but the last is full and carries the multi-extent flag.
    const bool last = slot.extent_index + 1 == slot.extent_count;
    const uint64_t first_byte = slot.extent_index * max_extent_bytes;
    record.location = static_cast<uint32_t>(image.layout.file_data_sector(child) +
                                            slot.extent_index * max_extent_sectors);
    record.data_length = static_cast<uint32_t>(last ? child.size - first_byte : max_extent_bytes);
    record.recorded = child.modified;
    record.flags = last ? 0 : flag_multi_extent;
  }
  const Identifier identifier = node_identifier(child);
  record.identifier = identifier.bytes;
  record.identifier_length = identifier.length;
  return record;
}

}  // namespace

Identifier node_identifier(const SourceNode& node) {
  static constexpr uint8_t root_identifier[1] = {self_identifier};
  if (node.parent == nullptr || node.parent == &node) return Identifier{root_identifier, 1};
  return Identifier{reinterpret_cast<const uint8_t*>(node.iso_name), node.iso_name_length};
}

uint32_t fill_directory_record(const FieldWriter& out, const DirectoryRecord& record,
                               bool dvd_system_use) {
  namespace dr = directory_record;
  const uint32_t length = static_cast<uint32_t>(dr::bytes) + record.identifier_length +
                          (record.identifier_length % 2 == 0 ? 1 : 0) +
                          (dvd_system_use ? static_cast<uint32_t>(dvd_system_use_bytes) : 0);
  out.u8<dr::length>(static_cast<uint8_t>(length));
  out.u8<dr::extended_attribute_length>(0);
  out.both32<dr::extent_location>(record.location);
  out.both32<dr::data_length>(record.data_length);
  make_iso_date7(record.recorded, out.at<dr::recording_date>().data());
  out.u8<dr::file_flags>(record.flags);
  out.u8<dr::file_unit_size>(0);
  out.u8<dr::interleave_gap>(0);
  out.both16<dr::volume_sequence_number>(volume_sequence_number);
  out.u8<dr::identifier_length>(static_cast<uint8_t>(record.identifier_length));
  out.bytes(dr::bytes, record.identifier, record.identifier_length);
  // The padding byte and the system use bytes stay zero.
  return length;
}

void fill_iso_directory(const DiscImage& image, const SourceNode& directory, uint8_t* buffer) {
  const size_t buffer_bytes =
      static_cast<size_t>(sectors_for_bytes(directory.iso_dir_bytes)) * sector_bytes;
  const FieldWriter extent(buffer, buffer_bytes);
  for_each_record(image, directory, [&](const RecordSlot& slot) {
    if (slot.length > buffer_bytes - slot.offset) return;  // never past the extent laid out
    fill_directory_record(extent.at(static_cast<size_t>(slot.offset)),
                          record_for(image, directory, slot), image.tree.dvd_video_mode);
  });
}

bool size_iso_directory(DiscImage& image, SourceNode& directory, IsoLayoutCounters& counters) {
  // Path table numbers are 16-bit: the 65,536th directory cannot be recorded.
  if (counters.next_directory_number > max_directory_number) {
    image.report.fail(BuildError::too_many_directories);
    return false;
  }
  const Identifier identifier = node_identifier(directory);
  counters.path_table_bytes += path_record_bytes(identifier.length);

  const uint64_t bytes = for_each_record(image, directory, [](const RecordSlot&) {});
  if (bytes > max_directory_bytes) {
    image.report.fail(BuildError::image_too_large);
    return false;
  }
  if (counters.directory_sectors > UINT32_MAX) {
    image.report.fail(BuildError::image_too_large);
    return false;
  }
  directory.iso_dir_bytes = static_cast<uint32_t>(bytes);
  directory.iso_dir_number = static_cast<uint16_t>(counters.next_directory_number++);
  directory.iso_dir_sector = static_cast<uint32_t>(counters.directory_sectors);
  counters.directory_sectors += sectors_for_bytes(bytes);
  return true;
}

void write_iso_directory(const DiscImage& image, SectorEmitter& out, SourceNode& directory) {
  const auto sectors = static_cast<uint32_t>(sectors_for_bytes(directory.iso_dir_bytes));
  uint8_t* buffer = out.get_sector_buffer(sectors);
  if (buffer != nullptr) fill_iso_directory(image, directory, buffer);
  out.emit_sectors(buffer, sectors);
}

}  // namespace kestrel::iso9660
