// ISO 9660 directories (ECMA-119 6.8, 9.1): sizing during the layout and
// writing during the write sequence. Both walk the records through one
// placement routine, so the written records land where the layout counted
// them.
#include <cstdint>

#include "iso9660/iso_names.h"
#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

constexpr uint16_t volume_sequence_number = 1;  // a volume set of one volume

// Bytes a directory's extent may have: its Data Length is a 32-bit field.
constexpr uint64_t max_directory_bytes = 0xFFFFFFFFull;

// The longest identifier a record holds with its version number.
constexpr size_t max_recorded_identifier = 255 - directory_record::bytes;

enum class SlotKind { self, parent, child };

struct RecordSlot {
  SlotKind kind;
  const IsoEntry* entry;  // the child, for SlotKind::child
  uint64_t extent_index;  // files: which extent of the file
  uint64_t extent_count;
  uint64_t offset;  // byte offset in the directory extent
  uint32_t length;
};

// The identifier a record holds: the stored one, and a file's version
// number, in UCS-2 in a Joliet hierarchy.
struct RecordedIdentifier {
  uint8_t bytes[max_recorded_identifier];
  uint32_t length = 0;
};

uint32_t version_bytes(const IsoTree& tree) {
  const auto characters = static_cast<uint32_t>(version_suffix.size());
  return tree.hierarchy() == Hierarchy::joliet ? 2 * characters : characters;
}

uint32_t recorded_identifier_length(const IsoTree& tree, const IsoEntry& entry) {
  const auto stored = static_cast<uint32_t>(tree.identifier(entry).size());
  return entry.is_directory ? stored : stored + version_bytes(tree);
}

RecordedIdentifier recorded_identifier(const IsoTree& tree, const IsoEntry& entry) {
  RecordedIdentifier out;
  const IdentifierText stored = tree.identifier(entry);
  if (recorded_identifier_length(tree, entry) > sizeof out.bytes) return out;
  stored.copy_to(out.bytes);
  out.length = static_cast<uint32_t>(stored.size());
  if (entry.is_directory) return out;
  for (const char c : version_suffix) {
    if (tree.hierarchy() == Hierarchy::joliet) out.bytes[out.length++] = 0;
    out.bytes[out.length++] = static_cast<uint8_t>(c);
  }
  return out;
}

// Visits every record of `directory` in order with its place in the extent:
// the "." and ".." records, then each child in ISO 9660 order, a file with
// one record per extent. Returns the offset just past the last record.
template <typename Visitor>
uint64_t for_each_record(const DiscImage& image, const IsoTree& tree, const IsoDirectory& directory,
                         Visitor&& visit) {
  uint64_t offset = 0;
  auto place = [&](SlotKind kind, const IsoEntry* entry, uint64_t index, uint64_t count,
                   uint32_t length) {
    offset = place_record(offset, length);
    visit(RecordSlot{kind, entry, index, count, offset, length});
    offset += length;
  };
  const uint32_t dot_length = directory_record_bytes(image, 1);
  place(SlotKind::self, nullptr, 0, 1, dot_length);
  place(SlotKind::parent, nullptr, 0, 1, dot_length);
  for (const IsoEntry& entry : tree.entries_of(directory)) {
    const uint32_t length = directory_record_bytes(image, recorded_identifier_length(tree, entry));
    const uint64_t count = entry.is_directory ? 1 : file_extent_count(*entry.node);
    for (uint64_t index = 0; index < count; ++index)
      place(SlotKind::child, &entry, index, count, length);
  }
  return offset;
}

DirectoryRecord directory_entry(const IsoTree& tree, const IsoDirectory& directory) {
  DirectoryRecord record;
  record.location = static_cast<uint32_t>(tree.location(directory));
  record.data_length = directory.bytes;
  record.recorded = directory.node->modified;
  record.flags = flag_directory;
  return record;
}

void fill_record(const DiscImage& image, const IsoTree& tree, const IsoDirectory& directory,
                 const RecordSlot& slot, const FieldWriter& out) {
  static constexpr uint8_t self_id[1] = {self_identifier};
  static constexpr uint8_t parent_id[1] = {parent_identifier};
  const bool dvd = image.tree.dvd_video_mode;
  if (slot.kind == SlotKind::self) {
    DirectoryRecord record = directory_entry(tree, directory);
    record.identifier = self_id;
    record.identifier_length = 1;
    fill_directory_record(out, record, dvd);
    return;
  }
  if (slot.kind == SlotKind::parent) {
    // The root is its own parent (ECMA-119 6.8.2.2).
    DirectoryRecord record = directory_entry(tree, tree.directories[directory.parent]);
    record.identifier = parent_id;
    record.identifier_length = 1;
    fill_directory_record(out, record, dvd);
    return;
  }
  const IsoEntry& entry = *slot.entry;
  DirectoryRecord record;
  if (entry.is_directory) {
    record = directory_entry(tree, tree.directories[entry.link]);
  } else {
    // Extent i of a file starts max_extent_sectors * i sectors into its data;
    // every extent but the last is full and carries the multi-extent flag.
    const SourceNode& file = *entry.node;
    const bool last = slot.extent_index + 1 == slot.extent_count;
    const uint64_t first_byte = slot.extent_index * max_extent_bytes;
    record.location = static_cast<uint32_t>(image.layout.file_data_sector(file) +
                                            slot.extent_index * max_extent_sectors);
    record.data_length = static_cast<uint32_t>(last ? file.size - first_byte : max_extent_bytes);
    record.recorded = file.modified;
    record.flags = last ? 0 : flag_multi_extent;
  }
  const RecordedIdentifier identifier = recorded_identifier(tree, entry);
  record.identifier = identifier.bytes;
  record.identifier_length = identifier.length;
  fill_directory_record(out, record, dvd);
}

}  // namespace

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

void fill_iso_directory(const DiscImage& image, const IsoTree& tree, const IsoDirectory& directory,
                        uint8_t* buffer) {
  const size_t buffer_bytes =
      static_cast<size_t>(sectors_for_bytes(directory.bytes)) * sector_bytes;
  const FieldWriter extent(buffer, buffer_bytes);
  for_each_record(image, tree, directory, [&](const RecordSlot& slot) {
    if (slot.length > buffer_bytes - slot.offset) return;  // never past the extent laid out
    fill_record(image, tree, directory, slot, extent.at(static_cast<size_t>(slot.offset)));
  });
}

bool size_iso_directories(DiscImage& image, IsoTree& tree) {
  uint64_t sectors = 0;
  for (IsoDirectory& directory : tree.directories) {
    const uint64_t bytes = for_each_record(image, tree, directory, [](const RecordSlot&) {});
    if (bytes > max_directory_bytes || sectors > UINT32_MAX) {
      image.report.fail(BuildError::image_too_large);
      return false;
    }
    directory.bytes = static_cast<uint32_t>(bytes);
    directory.sector = static_cast<uint32_t>(sectors);
    sectors += sectors_for_bytes(bytes);
  }
  if (sectors > UINT32_MAX) {
    image.report.fail(BuildError::image_too_large);
    return false;
  }
  tree.directory_sectors = static_cast<uint32_t>(sectors);
  return true;
}

bool write_iso_directories(const DiscImage& image, const IsoTree& tree, SectorEmitter& out) {
  for (const IsoDirectory& directory : tree.directories) {
    if (!out.expect_position(tree.location(directory))) return false;
    const auto sectors = static_cast<uint32_t>(sectors_for_bytes(directory.bytes));
    uint8_t* buffer = out.get_sector_buffer(sectors);
    if (buffer != nullptr) fill_iso_directory(image, tree, directory, buffer);
    if (!out.emit_sectors(buffer, sectors)) return false;
  }
  return true;
}

}  // namespace kestrel::iso9660
