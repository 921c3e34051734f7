// The Rock Ridge entries of a directory record: "SP" and "ER" in the root
// directory's first record (SUSP 5.3, 5.5), "RE", "CL" or "PL" for
// relocated directories (RRIP 4.1.5), "PX" with the attributes peers call
// rational (readable by all, the source's execute bits, owner and group 0),
// "TF" with the modification time the record itself has, and "NM" with the
// name.
#include "iso9660/rock_ridge.h"

#include <algorithm>
#include <cstring>

#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"
#include "iso9660/rock_ridge_records.h"

namespace kestrel::iso9660 {
namespace {

// A name longer than this is recorded in two "NM" entries, the first with
// its CONTINUE flag: one entry has at most 255 bytes.
constexpr size_t max_nm_name_bytes = max_directory_record_bytes - nm_entry::bytes;
// Rock Ridge names, as POSIX systems take them, have at most 255 bytes.
constexpr size_t max_rock_ridge_name_bytes = 255;
constexpr uint32_t ce_bytes = static_cast<uint32_t>(ce_entry::bytes);
// TF records one time: the modification, which the record holds too.
constexpr uint32_t tf_bytes = static_cast<uint32_t>(tf_entry::bytes + date7::bytes);
constexpr uint32_t er_bytes = static_cast<uint32_t>(er_entry::bytes + rrip_identifier.size() +
                                                    rrip_descriptor.size() + rrip_source.size());

enum class EntryKind : uint8_t { sp, re, cl, pl, px, tf, nm, er };

// The entries of one record in order, with their sizes.
struct EntryList {
  static constexpr size_t max_entries = 10;
  EntryKind kinds[max_entries];
  uint16_t sizes[max_entries];
  size_t count = 0;

  void add(EntryKind kind, size_t bytes) {
    if (count == max_entries) return;
    kinds[count] = kind;
    sizes[count++] = static_cast<uint16_t>(bytes);
  }
};

size_t rock_ridge_name_bytes(const SourceNode& node) {
  if constexpr (sizeof(NativeChar) == 1) {
    if (node.native_name_length <= max_rock_ridge_name_bytes) return node.native_name_length;
  }
  return rock_ridge_name(node).size();
}

EntryList entries_of(const RockRidgeFacts& facts) {
  EntryList entries;
  // SUSP 5.3: "SP" is the first entry of the root's first record.
  if (facts.protocol) entries.add(EntryKind::sp, sp_entry::bytes);
  if (facts.relocated) entries.add(EntryKind::re, re_entry_bytes);
  if (facts.child_link) entries.add(EntryKind::cl, link_entry::bytes);
  if (facts.parent_link) entries.add(EntryKind::pl, link_entry::bytes);
  if (facts.node != nullptr) {
    entries.add(EntryKind::px, px_entry::bytes);
    entries.add(EntryKind::tf, tf_bytes);
    if (facts.named) {
      size_t left = rock_ridge_name_bytes(*facts.node);
      do {
        const size_t part = std::min(left, max_nm_name_bytes);
        entries.add(EntryKind::nm, nm_entry::bytes + part);
        left -= part;
      } while (left > 0);
    }
  }
  if (facts.protocol) entries.add(EntryKind::er, er_bytes);
  return entries;
}

FieldWriter header(uint8_t* at, const char signature[2], size_t bytes) {
  const FieldWriter entry(at, bytes);
  entry.text<entry_header::signature>(std::string_view(signature, 2));
  entry.u8<entry_header::length>(static_cast<uint8_t>(bytes));
  entry.u8<entry_header::version>(system_use_entry_version);
  return entry;
}

void fill_attributes(const FieldWriter& px, const SourceNode& node) {
  uint32_t mode = mode_readable_by_all;
  uint32_t links = 1;
  if (node.is_directory) {
    mode |= mode_directory | mode_executable_by_all;
    // A directory is linked from its parent, from its own "." and from the
    // ".." of each sub-directory.
    links = 2 + node.directory_children;
  } else {
    mode |= mode_regular_file | (node.executable ? mode_executable_by_all : 0);
    // A hard-linked file's names share one entry, as in UDF: each counts
    // them all, and all have the serial number of the first.
    const SourceNode& entry =
        node.shares_entry && node.shares_data_of != nullptr ? *node.shares_data_of : node;
    links = 1 + uint32_t{entry.hard_link_names};
  }
  px.both32<px_entry::mode>(mode);
  px.both32<px_entry::links>(links);
  px.both32<px_entry::uid>(0);
  px.both32<px_entry::gid>(0);
  px.both32<px_entry::serial>(node.unique_id);
}

void fill_extension_reference(const FieldWriter& er) {
  er.u8<er_entry::identifier_length>(static_cast<uint8_t>(rrip_identifier.size()));
  er.u8<er_entry::descriptor_length>(static_cast<uint8_t>(rrip_descriptor.size()));
  er.u8<er_entry::source_length>(static_cast<uint8_t>(rrip_source.size()));
  er.u8<er_entry::extension_version>(rrip_extension_version);
  size_t at = er_entry::bytes;
  for (const std::string_view text : {rrip_identifier, rrip_descriptor, rrip_source}) {
    er.text(at, text);
    at += text.size();
  }
}

bool is_continuation_byte(char c) { return (static_cast<uint8_t>(c) & 0xC0) == 0x80; }

}  // namespace

std::string rock_ridge_name(const SourceNode& node) {
  std::string name;
  if constexpr (sizeof(NativeChar) == 1) {
    name.assign(reinterpret_cast<const char*>(node.native_name), node.native_name_length);
  } else {
    name = utf8_from_utf16({node.name, node.name_length});
  }
  if (name.size() <= max_rock_ridge_name_bytes) return name;
  // Only a name in wide characters can be longer: it is cut at a character
  // boundary, keeping an extension of up to 16 bytes.
  const size_t dot = name.rfind('.');
  const std::string extension =
      dot != std::string::npos && dot > 0 && name.size() - dot <= 16 ? name.substr(dot) : "";
  size_t keep = max_rock_ridge_name_bytes - extension.size();
  while (keep > 0 && is_continuation_byte(name[keep])) --keep;
  return name.substr(0, keep) + extension;
}

RockRidgePlan plan_rock_ridge(const RockRidgeFacts& facts, uint32_t record_head) {
  // The record's length stays even (ECMA-119 9.1.1).
  const uint32_t room = (max_directory_record_bytes - record_head) & ~uint32_t{1};
  // Most records are a file's or a folder's with PX, TF and one NM that
  // fit: sized without listing the entries.
  if (facts.named && facts.node != nullptr && !facts.protocol && !facts.relocated &&
      !facts.child_link && !facts.parent_link) {
    const size_t name_bytes = rock_ridge_name_bytes(*facts.node);
    const auto total =
        static_cast<uint32_t>(px_entry::bytes + tf_bytes + nm_entry::bytes + name_bytes);
    if (name_bytes <= max_nm_name_bytes && total <= room) {
      RockRidgePlan plan;
      plan.kept_entries = 3;
      plan.in_record_bytes = total + total % 2;
      return plan;
    }
  }
  const EntryList entries = entries_of(facts);
  uint32_t total = 0;
  for (size_t i = 0; i < entries.count; ++i) total += entries.sizes[i];
  RockRidgePlan plan;
  if (total <= room) {
    plan.kept_entries = static_cast<uint8_t>(entries.count);
    plan.in_record_bytes = total;
  } else {
    // Entries stay in the record while they leave room for the "CE" entry.
    size_t kept = 0;
    uint32_t used = 0;
    while (kept < entries.count && used + entries.sizes[kept] + ce_bytes <= room)
      used += entries.sizes[kept++];
    plan.kept_entries = static_cast<uint8_t>(kept);
    plan.in_record_bytes = used + ce_bytes;
    plan.continued_bytes = total - used;
  }
  // A padding byte keeps the record's length even.
  if (plan.in_record_bytes % 2 != 0) ++plan.in_record_bytes;
  return plan;
}

void fill_rock_ridge(const RockRidgeFacts& facts, const RockRidgePlan& plan,
                     const RockRidgeTarget& target) {
  const EntryList entries = entries_of(facts);
  // Where the system's own name can be recorded as it is, it is used where
  // it lies; only a name that must be converted or cut is made anew.
  std::string made_name;
  std::string_view name;
  size_t name_at = 0;
  if (facts.named && facts.node != nullptr) {
    const SourceNode& node = *facts.node;
    if (sizeof(NativeChar) == 1 && node.native_name_length <= max_rock_ridge_name_bytes) {
      name = std::string_view(reinterpret_cast<const char*>(node.native_name),
                              node.native_name_length);
    } else {
      made_name = rock_ridge_name(node);
      name = made_name;
    }
  }
  uint8_t* at = target.system_use;
  for (size_t i = 0; i < entries.count; ++i) {
    if (i == plan.kept_entries) {
      // SUSP 5.1: where the other entries continue.
      const FieldWriter ce = header(at, "CE", ce_bytes);
      ce.both32<ce_entry::block>(target.continuation_sector);
      ce.both32<ce_entry::offset>(target.continuation_offset);
      ce.both32<ce_entry::length>(plan.continued_bytes);
      if (target.continuation == nullptr) return;
      at = target.continuation;
    }
    const size_t bytes = entries.sizes[i];
    switch (entries.kinds[i]) {
      case EntryKind::sp: {
        const FieldWriter sp = header(at, "SP", bytes);
        const uint8_t check[2] = {sp_entry::check_byte_1, sp_entry::check_byte_2};
        sp.bytes<sp_entry::check_bytes>(check, sizeof check);
        sp.u8<sp_entry::bytes_skipped>(0);
        break;
      }
      case EntryKind::re: header(at, "RE", bytes); break;
      case EntryKind::cl:
      case EntryKind::pl:
        header(at, entries.kinds[i] == EntryKind::cl ? "CL" : "PL", bytes)
            .both32<link_entry::location>(facts.link_location);
        break;
      case EntryKind::px: fill_attributes(header(at, "PX", bytes), *facts.node); break;
      case EntryKind::tf: {
        const FieldWriter tf = header(at, "TF", bytes);
        tf.u8<tf_entry::flags>(tf_entry::flag_modify);
        uint8_t* date = tf.data() + tf_entry::bytes;
        if (target.recorded != nullptr && target.recorded_at == facts.node->modified)
          std::memcpy(date, target.recorded, date7::bytes);
        else
          make_iso_date7(facts.node->modified, date);
        break;
      }
      case EntryKind::nm: {
        const size_t part = bytes - nm_entry::bytes;
        const FieldWriter nm = header(at, "NM", bytes);
        nm.u8<nm_entry::flags>(name_at + part < name.size() ? nm_entry::flag_continue : 0);
        nm.bytes(nm_entry::bytes, name.data() + name_at, part);
        name_at += part;
        break;
      }
      case EntryKind::er: fill_extension_reference(header(at, "ER", bytes)); break;
    }
    at += bytes;
  }
}

uint64_t ContinuationCursor::place(uint32_t bytes) {
  const uint64_t used = offset % sector_bytes;
  if (used != 0 && bytes > sector_bytes - used) offset += sector_bytes - used;
  const uint64_t at = offset;
  offset += bytes;
  return at;
}

}  // namespace kestrel::iso9660
