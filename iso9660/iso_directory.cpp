// ISO 9660 directories (ECMA-119 6.8, 9.1): sizing during the layout and
// writing during the write sequence, with the Rock Ridge entries of each
// record and the continuation areas of those that do not fit it. Every pass
// walks the records through one placement routine, so the written records
// and continuation areas land where the layout counted them.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "iso9660/iso_names.h"
#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"
#include "iso9660/record_dates.h"
#include "iso9660/rock_ridge.h"

namespace kestrel::iso9660 {
namespace {

constexpr uint16_t volume_sequence_number = 1;  // a volume set of one volume

// Bytes a directory's extent may have: its Data Length is a 32-bit field.
constexpr uint64_t max_directory_bytes = 0xFFFFFFFFull;

// The longest identifier a record holds with its version number.
constexpr size_t max_recorded_identifier = max_directory_record_bytes - directory_record::bytes;

enum class SlotKind { self, parent, child };

struct RecordSlot {
  SlotKind kind;
  const IsoEntry* entry;  // the child, for SlotKind::child
  uint64_t extent_index;  // files: which extent of the file
  uint64_t extent_count;
  uint64_t offset;  // byte offset in the directory extent
  uint32_t length;
  // Rock Ridge: what the record's entries say and how they are laid out,
  // and where its continuation area lies in the tree's run of them.
  const RockRidgeFacts* facts;  // null without Rock Ridge
  RockRidgePlan plan;
  uint64_t continuation;
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

// A directory's record, and the record left in the place of a relocated
// one, hold a directory identifier: no version number.
bool has_version(const IsoEntry& entry) { return !entry.node->is_directory; }

inline uint32_t recorded_identifier_length(const IsoTree& tree, const IsoEntry& entry) {
  const auto stored = static_cast<uint32_t>(tree.identifier(entry).size());
  return has_version(entry) ? stored + version_bytes(tree) : stored;
}

// Fills `out` in place: a record's identifier is made once per record
// written, and the buffer is large.
void make_recorded_identifier(const IsoTree& tree, const IsoEntry& entry, RecordedIdentifier& out) {
  out.length = 0;
  const IdentifierText stored = tree.identifier(entry);
  if (recorded_identifier_length(tree, entry) > sizeof out.bytes) return;
  stored.copy_to(out.bytes);
  out.length = static_cast<uint32_t>(stored.size());
  if (!has_version(entry)) return;
  for (const char c : version_suffix) {
    if (tree.hierarchy() == Hierarchy::joliet) out.bytes[out.length++] = 0;
    out.bytes[out.length++] = static_cast<uint8_t>(c);
  }
}

// Bytes of a record's fixed part, identifier and padding byte (ECMA-119
// 9.1.12): always an even number.
uint32_t record_head_bytes(uint32_t identifier_length) {
  return static_cast<uint32_t>(directory_record::bytes) + identifier_length +
         (identifier_length % 2 == 0 ? 1 : 0);
}

// What the Rock Ridge entries of a record say.
RockRidgeFacts facts_of(const IsoTree& tree, const IsoDirectory& directory, SlotKind kind,
                        const IsoEntry* entry) {
  RockRidgeFacts facts;
  switch (kind) {
    case SlotKind::self:
      facts.node = directory.node;
      facts.protocol = &directory == &tree.directories.front();
      break;
    case SlotKind::parent: {
      // The ".." of a relocated directory has the attributes of the
      // directory it belongs in, and links to it (RRIP 4.1.5.2).
      const IsoDirectory& belongs_in = tree.directories[directory.rock_ridge_parent];
      facts.node = belongs_in.node;
      if (directory.rock_ridge_parent != directory.parent) {
        facts.parent_link = true;
        facts.link_location = static_cast<uint32_t>(tree.location(belongs_in));
      }
      break;
    }
    case SlotKind::child:
      facts.node = entry->node;
      facts.named = true;
      facts.relocated = entry->role == RecordRole::relocated;
      if (entry->role == RecordRole::child_link) {
        facts.child_link = true;
        const auto moved = tree.relocated.find(entry->node);
        if (moved != tree.relocated.end())
          facts.link_location =
              static_cast<uint32_t>(tree.location(tree.directories[moved->second]));
      }
      break;
  }
  return facts;
}

// Visits every record of `directory` in order with its place in the extent:
// the "." and ".." records, then each child in ISO 9660 order, a file with
// one record per extent, until `visit` returns false. Continuation areas
// are placed by `continuations`. Returns the offset just past the last
// record visited; `ok` turns false when a record's entries would not fit
// their continuation area.
template <typename Visitor>
uint64_t for_each_record(const DiscImage& image, const IsoTree& tree, const IsoDirectory& directory,
                         ContinuationCursor& continuations, bool& ok, Visitor&& visit) {
  uint64_t offset = 0;
  auto place = [&](SlotKind kind, const IsoEntry* entry, uint64_t index, uint64_t count,
                   uint32_t identifier_length) {
    uint32_t length = directory_record_bytes(image, identifier_length);
    RockRidgeFacts facts;
    RockRidgePlan plan;
    uint64_t continuation = 0;
    if (tree.rock_ridge) {
      const uint32_t head = record_head_bytes(identifier_length);
      facts = facts_of(tree, directory, kind, entry);
      plan = plan_rock_ridge(facts, head);
      length = head + plan.in_record_bytes;
      if (plan.continued_bytes > max_continued_bytes) ok = false;
      if (plan.continued_bytes != 0) continuation = continuations.place(plan.continued_bytes);
    }
    offset = place_record(offset, length);
    const bool more = visit(RecordSlot{kind, entry, index, count, offset, length,
                                       tree.rock_ridge ? &facts : nullptr, plan, continuation});
    offset += length;
    return more;
  };
  if (!place(SlotKind::self, nullptr, 0, 1, 1) || !place(SlotKind::parent, nullptr, 0, 1, 1))
    return offset;
  for (const IsoEntry& entry : tree.entries_of(directory)) {
    const uint32_t identifier_length = recorded_identifier_length(tree, entry);
    const uint64_t count = entry.is_directory ? 1 : file_extent_count(*entry.node);
    for (uint64_t index = 0; index < count; ++index) {
      if (!place(SlotKind::child, &entry, index, count, identifier_length)) return offset;
    }
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

DirectoryRecord record_for(const DiscImage& image, const IsoTree& tree,
                           const IsoDirectory& directory, const RecordSlot& slot,
                           RecordedIdentifier& identifier) {
  static constexpr uint8_t self_id[1] = {self_identifier};
  static constexpr uint8_t parent_id[1] = {parent_identifier};
  if (slot.kind == SlotKind::self) {
    DirectoryRecord record = directory_entry(tree, directory);
    record.identifier = self_id;
    record.identifier_length = 1;
    return record;
  }
  if (slot.kind == SlotKind::parent) {
    // The root is its own parent (ECMA-119 6.8.2.2).
    DirectoryRecord record = directory_entry(tree, tree.directories[directory.parent]);
    record.identifier = parent_id;
    record.identifier_length = 1;
    return record;
  }
  const IsoEntry& entry = *slot.entry;
  DirectoryRecord record;
  if (entry.is_directory) {
    record = directory_entry(tree, tree.directories[entry.link]);
  } else if (entry.role == RecordRole::child_link) {
    // RRIP 4.1.5.1: a file record, of no data, where the relocated
    // directory belongs; it points at the directory's extent as its "CL"
    // does.
    const auto moved = tree.relocated.find(entry.node);
    if (moved != tree.relocated.end())
      record.location = static_cast<uint32_t>(tree.location(tree.directories[moved->second]));
    record.recorded = entry.node->modified;
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
  make_recorded_identifier(tree, entry, identifier);
  record.identifier = identifier.bytes;
  record.identifier_length = identifier.length;
  return record;
}

void fill_record(const DiscImage& image, const IsoTree& tree, const IsoDirectory& directory,
                 const RecordSlot& slot, RecordDates& dates, const FieldWriter& out) {
  RecordedIdentifier identifier;
  DirectoryRecord record = record_for(image, tree, directory, slot, identifier);
  record.recorded_date = dates.of(record.recorded);
  fill_directory_record(out, record, image.tree.dvd_video_mode);
  if (slot.facts == nullptr) return;
  const uint32_t head = record_head_bytes(record.identifier_length);
  out.u8<directory_record::length>(static_cast<uint8_t>(head + slot.plan.in_record_bytes));
  RockRidgeTarget target;
  target.system_use = out.at(head).data();
  target.continuation_sector =
      static_cast<uint32_t>(tree.continuation_area_sector + slot.continuation / sector_bytes);
  target.continuation_offset = static_cast<uint32_t>(slot.continuation % sector_bytes);
  target.recorded = out.at<directory_record::recording_date>().data();
  target.recorded_at = record.recorded;
  fill_rock_ridge(*slot.facts, slot.plan, target);
}

// The order of the directory extents on the disc: the order of the path
// table, unless Rock Ridge relocated directories. Then the root and the
// relocation folder come first, then the relocated directories, each with
// the directories below it as readers of Rock Ridge see them (depth first,
// a nested relocated directory after the one whose record links to it),
// and the other directories last. Readers that read the disc front to back
// (libarchive) place a relocated directory when they meet the record that
// links to it: those inside relocated directories must come before the
// ones that put the outermost in their place.
std::vector<uint32_t> extent_order(const IsoTree& tree) {
  std::vector<uint32_t> order;
  order.reserve(tree.directories.size());
  auto in_path_table_order = [&] {
    order.clear();
    for (uint32_t index = 0; index < tree.directories.size(); ++index) order.push_back(index);
    return order;
  };
  if (tree.relocation_folder == nullptr) return in_path_table_order();
  std::vector<bool> placed(tree.directories.size(), false);
  auto place = [&](uint32_t index) {
    placed[index] = true;
    order.push_back(index);
  };
  std::vector<uint32_t> pending;
  std::vector<uint32_t> children;
  // Depth first from `start`, following the links to relocated directories.
  auto place_below = [&](uint32_t start) {
    pending.assign(1, start);
    while (!pending.empty()) {
      const uint32_t index = pending.back();
      pending.pop_back();
      if (placed[index]) continue;
      place(index);
      children.clear();
      for (const IsoEntry& entry : tree.entries_of(tree.directories[index])) {
        if (entry.node == tree.relocation_folder.get()) continue;
        if (entry.role == RecordRole::child_link) {
          const auto moved = tree.relocated.find(entry.node);
          if (moved != tree.relocated.end()) children.push_back(moved->second);
        } else if (entry.is_directory) {
          children.push_back(entry.link);
        }
      }
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
  };
  const std::span<const IsoEntry> in_root = tree.entries_of(tree.directories.front());
  const auto folder = std::find_if(in_root.begin(), in_root.end(), [&](const IsoEntry& entry) {
    return entry.node == tree.relocation_folder.get();
  });
  if (folder == in_root.end()) return in_path_table_order();
  place(0);
  place(folder->link);
  for (const IsoEntry& entry : tree.entries_of(tree.directories[folder->link]))
    place_below(entry.link);
  for (const IsoEntry& entry : in_root) {
    if (entry.is_directory && !placed[entry.link]) place_below(entry.link);
  }
  return order;
}

}  // namespace

uint32_t fill_directory_record(const FieldWriter& out, const DirectoryRecord& record,
                               bool dvd_system_use) {
  namespace dr = directory_record;
  const uint32_t length = record_head_bytes(record.identifier_length) +
                          (dvd_system_use ? static_cast<uint32_t>(dvd_system_use_bytes) : 0);
  out.u8<dr::length>(static_cast<uint8_t>(length));
  out.u8<dr::extended_attribute_length>(0);
  out.both32<dr::extent_location>(record.location);
  out.both32<dr::data_length>(record.data_length);
  if (record.recorded_date != nullptr)
    out.bytes<dr::recording_date>(record.recorded_date, date7::bytes);
  else
    make_iso_date7(record.recorded, out.at<dr::recording_date>().data());
  out.u8<dr::file_flags>(record.flags);
  out.u8<dr::file_unit_size>(0);
  out.u8<dr::interleave_gap>(0);
  out.both16<dr::volume_sequence_number>(volume_sequence_number);
  out.u8<dr::identifier_length>(static_cast<uint8_t>(record.identifier_length));
  out.bytes(dr::bytes, record.identifier, record.identifier_length);
  // The padding byte and the DVD-video system use bytes stay zero.
  return length;
}

void fill_iso_directory(const DiscImage& image, const IsoTree& tree, const IsoDirectory& directory,
                        RecordDates& dates, uint8_t* buffer) {
  const size_t buffer_bytes =
      static_cast<size_t>(sectors_for_bytes(directory.bytes)) * sector_bytes;
  const FieldWriter extent(buffer, buffer_bytes);
  ContinuationCursor continuations{directory.continuation};
  bool ok = true;
  for_each_record(image, tree, directory, continuations, ok, [&](const RecordSlot& slot) {
    // Never past the extent laid out.
    if (slot.length <= buffer_bytes - slot.offset)
      fill_record(image, tree, directory, slot, dates, extent.at(static_cast<size_t>(slot.offset)));
    return true;
  });
}

// Copies the continuation areas of one directory's records, which end at
// `end` in the run, into `buffer`, which holds the sectors from
// `first_sector` of the run on.
void fill_continuation_areas(const DiscImage& image, const IsoTree& tree,
                             const IsoDirectory& directory, uint64_t end, uint64_t first_sector,
                             uint8_t* buffer, uint64_t buffer_bytes) {
  ContinuationCursor continuations{directory.continuation};
  bool ok = true;
  const uint64_t base = first_sector * sector_bytes;
  for_each_record(image, tree, directory, continuations, ok, [&](const RecordSlot& slot) {
    if (slot.facts == nullptr || slot.plan.continued_bytes == 0) return true;
    const uint32_t bytes = slot.plan.continued_bytes;
    if (slot.continuation < base || slot.continuation - base > buffer_bytes ||
        bytes > buffer_bytes - (slot.continuation - base))
      return false;  // never past the sectors laid out
    // Only the continued entries are wanted; the record's own go to scratch.
    uint8_t record_entries[max_directory_record_bytes] = {};
    RockRidgeTarget target;
    target.system_use = record_entries;
    target.continuation = buffer + (slot.continuation - base);
    fill_rock_ridge(*slot.facts, slot.plan, target);
    // Often only the root's "." record continues: the rest need no visit.
    return slot.continuation + bytes < end;
  });
}

bool size_iso_directories(const DiscImage& image, BuildReport& report, IsoTree& tree) {
  ContinuationCursor continuations;
  for (IsoDirectory& directory : tree.directories) {
    directory.continuation = continuations.offset;
    bool ok = true;
    const uint64_t bytes = for_each_record(image, tree, directory, continuations, ok,
                                           [](const RecordSlot&) { return true; });
    if (!ok) {
      report.fail(BuildError::layout_mismatch);
      return false;
    }
    if (bytes > max_directory_bytes) {
      report.fail(BuildError::image_too_large);
      return false;
    }
    directory.bytes = static_cast<uint32_t>(bytes);
  }
  tree.extent_order = extent_order(tree);
  if (tree.extent_order.size() != tree.directories.size()) {
    report.fail(BuildError::layout_mismatch);
    return false;
  }
  uint64_t sectors = 0;
  for (const uint32_t index : tree.extent_order) {
    IsoDirectory& directory = tree.directories[index];
    if (sectors > UINT32_MAX) {
      report.fail(BuildError::image_too_large);
      return false;
    }
    directory.sector = static_cast<uint32_t>(sectors);
    sectors += sectors_for_bytes(directory.bytes);
  }
  const uint64_t continuation_sectors = sectors_for_bytes(continuations.offset);
  if (sectors > UINT32_MAX || continuation_sectors > UINT32_MAX) {
    report.fail(BuildError::image_too_large);
    return false;
  }
  tree.directory_sectors = static_cast<uint32_t>(sectors);
  tree.continuation_bytes = continuations.offset;
  tree.continuation_sectors = static_cast<uint32_t>(continuation_sectors);
  return true;
}

bool write_iso_directories(const DiscImage& image, const IsoTree& tree, RecordDates& dates,
                           SectorEmitter& out) {
  for (const uint32_t index : tree.extent_order) {
    const IsoDirectory& directory = tree.directories[index];
    if (!out.expect_position(tree.location(directory))) return false;
    const auto sectors = static_cast<uint32_t>(sectors_for_bytes(directory.bytes));
    uint8_t* buffer = out.get_sector_buffer(sectors);
    if (buffer != nullptr) fill_iso_directory(image, tree, directory, dates, buffer);
    if (!out.emit_sectors(buffer, sectors)) return false;
  }
  return true;
}

bool write_continuation_areas(const DiscImage& image, const IsoTree& tree, SectorEmitter& out) {
  if (!out.expect_position(tree.continuation_area_sector)) return false;
  // The areas of one directory follow those of the one before, and share a
  // sector with them at most: each directory's sectors are filled at once,
  // the last of them held back while the next directory may add to it.
  uint8_t held[sector_bytes] = {};
  bool holding = false;
  uint64_t held_sector = 0;
  uint64_t emitted = 0;  // sectors of the run written so far
  for (size_t index = 0; index < tree.directories.size(); ++index) {
    const IsoDirectory& directory = tree.directories[index];
    const uint64_t end = index + 1 < tree.directories.size()
                             ? tree.directories[index + 1].continuation
                             : tree.continuation_bytes;
    if (end == directory.continuation) continue;  // its records all fit
    const uint64_t first = directory.continuation / sector_bytes;
    const uint64_t last = (end - 1) / sector_bytes;
    if (holding && held_sector < first) {
      if (!out.emit_sectors(held, 1)) return false;
      ++emitted;
      holding = false;
    }
    const auto count = static_cast<uint32_t>(last - first + 1);
    uint8_t* buffer = out.get_sector_buffer(count);
    if (buffer == nullptr) return out.emit_sectors(nullptr, count);
    if (holding) std::copy_n(held, sector_bytes, buffer);
    fill_continuation_areas(image, tree, directory, end, first, buffer,
                            uint64_t{count} * sector_bytes);
    std::copy_n(buffer + uint64_t{count - 1} * sector_bytes, sector_bytes, held);
    holding = true;
    held_sector = last;
    if (count > 1 && !out.emit_sectors(buffer, count - 1)) return false;
    emitted += count - 1;
  }
  if (holding && !out.emit_sectors(held, 1)) return false;
  return emitted + (holding ? 1 : 0) == tree.continuation_sectors;
}

}  // namespace kestrel::iso9660
