// The Rock Ridge entries of a directory record: "SP" and "ER" in the root
// directory's first record (SUSP 5.3, 5.5), "RE", "CL" or "PL" for
// relocated directories (RRIP 4.1.5), "PX" with the attributes peers call
// rational (readable by all, the source's execute bits, owner and group 0),
// "TF" with the times of the source, and "NM" with the name.
#include "iso9660/rock_ridge.h"

#include <algorithm>
#include <vector>

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
// The "CE" entry that sends a reader on.
constexpr uint32_t ce_bytes = static_cast<uint32_t>(ce_entry::bytes);

// The entries of one record in order, each kept whole.
class EntryList {
 public:
  // A zeroed entry of `bytes` with its header filled in; null when the list
  // is full, which the entries of one record never make it.
  FieldWriter add(const char signature[2], size_t bytes) {
    if (count_ == max_entries || bytes > sizeof bytes_ - total_ || bytes > sizeof spare_) {
      overflowed_ = true;
      return FieldWriter(spare_, sizeof spare_);
    }
    starts_[count_++] = total_;
    std::fill_n(bytes_ + total_, bytes, uint8_t{0});
    const FieldWriter entry(bytes_ + total_, bytes);
    total_ += bytes;
    entry.text<entry_header::signature>(std::string_view(signature, 2));
    entry.u8<entry_header::length>(static_cast<uint8_t>(bytes));
    entry.u8<entry_header::version>(system_use_entry_version);
    return entry;
  }
  size_t count() const { return count_; }
  size_t size(size_t i) const { return (i + 1 < count_ ? starts_[i + 1] : total_) - starts_[i]; }
  size_t total() const { return total_; }
  const uint8_t* data(size_t i) const { return bytes_ + starts_[i]; }
  bool overflowed() const { return overflowed_; }

 private:
  static constexpr size_t max_entries = 12;
  uint8_t bytes_[max_continued_bytes + max_directory_record_bytes];
  size_t starts_[max_entries] = {};
  size_t count_ = 0;
  size_t total_ = 0;
  bool overflowed_ = false;
  uint8_t spare_[max_directory_record_bytes + 1] = {};  // takes what does not fit
};

void add_link(EntryList& entries, const char signature[2], uint32_t location) {
  entries.add(signature, link_entry::bytes).both32<link_entry::location>(location);
}

void add_attributes(EntryList& entries, const SourceNode& node) {
  uint32_t mode = mode_readable_by_all;
  uint32_t links = 1;
  if (node.is_directory) {
    mode |= mode_directory | mode_executable_by_all;
    // A directory is linked from its parent, from its own "." and from the
    // ".." of each sub-directory.
    links = 2 + node.directory_children;
  } else {
    mode |= mode_regular_file | (node.executable ? mode_executable_by_all : 0);
  }
  const FieldWriter px = entries.add("PX", px_entry::bytes);
  px.both32<px_entry::mode>(mode);
  px.both32<px_entry::links>(links);
  px.both32<px_entry::uid>(0);
  px.both32<px_entry::gid>(0);
  px.both32<px_entry::serial>(node.unique_id);
}

void add_times(EntryList& entries, const SourceNode& node) {
  const int64_t times[] = {node.created, node.modified, node.accessed};
  const FieldWriter tf = entries.add("TF", tf_entry::bytes + std::size(times) * date7::bytes);
  tf.u8<tf_entry::flags>(tf_entry::flag_creation | tf_entry::flag_modify | tf_entry::flag_access);
  for (size_t i = 0; i < std::size(times); ++i)
    make_iso_date7(times[i], tf.data() + tf_entry::bytes + i * date7::bytes);
}

void add_name(EntryList& entries, const SourceNode& node) {
  const std::string name = rock_ridge_name(node);
  for (size_t at = 0; at < name.size(); at += max_nm_name_bytes) {
    const size_t part = std::min(max_nm_name_bytes, name.size() - at);
    const FieldWriter nm = entries.add("NM", nm_entry::bytes + part);
    nm.u8<nm_entry::flags>(at + part < name.size() ? nm_entry::flag_continue : 0);
    nm.bytes(nm_entry::bytes, name.data() + at, part);
  }
}

void add_extension_reference(EntryList& entries) {
  const FieldWriter er = entries.add(
      "ER", er_entry::bytes + rrip_identifier.size() + rrip_descriptor.size() + rrip_source.size());
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

void SystemUse::set_continuation(uint32_t sector, uint32_t offset) {
  if (continued_bytes == 0) return;
  const FieldWriter ce(in_record + ce_at, ce_entry::bytes);
  ce.both32<ce_entry::block>(sector);
  ce.both32<ce_entry::offset>(offset);
  ce.both32<ce_entry::length>(continued_bytes);
}

bool lay_out_rock_ridge(const RockRidgeFacts& facts, uint32_t record_head, SystemUse& out) {
  EntryList entries;
  // SUSP 5.3: "SP" is the first entry of the root's first record.
  if (facts.protocol) {
    const FieldWriter sp = entries.add("SP", sp_entry::bytes);
    const uint8_t check[2] = {sp_entry::check_byte_1, sp_entry::check_byte_2};
    sp.bytes<sp_entry::check_bytes>(check, sizeof check);
    sp.u8<sp_entry::bytes_skipped>(0);
  }
  if (facts.relocated) entries.add("RE", re_entry_bytes);
  if (facts.child_link) add_link(entries, "CL", facts.link_location);
  if (facts.parent_link) add_link(entries, "PL", facts.link_location);
  if (facts.node != nullptr) {
    add_attributes(entries, *facts.node);
    add_times(entries, *facts.node);
    if (facts.named) add_name(entries, *facts.node);
  }
  if (facts.protocol) add_extension_reference(entries);

  // The record's length stays even (ECMA-119 9.1.1).
  const uint32_t room = (max_directory_record_bytes - record_head) & ~uint32_t{1};
  size_t kept = entries.count();
  if (entries.total() > room) {
    // Entries stay in the record while they leave room for the "CE" entry.
    size_t used = 0;
    kept = 0;
    while (kept < entries.count() && used + entries.size(kept) + ce_bytes <= room)
      used += entries.size(kept++);
  }
  out.in_record_bytes = 0;
  out.continued_bytes = 0;
  out.ce_at = 0;
  for (size_t i = 0; i < kept; ++i) {
    std::copy_n(entries.data(i), entries.size(i), out.in_record + out.in_record_bytes);
    out.in_record_bytes += static_cast<uint32_t>(entries.size(i));
  }
  if (kept < entries.count()) {
    out.ce_at = out.in_record_bytes;
    const FieldWriter ce(out.in_record + out.ce_at, ce_entry::bytes);
    ce.text<entry_header::signature>("CE");
    ce.u8<entry_header::length>(static_cast<uint8_t>(ce_entry::bytes));
    ce.u8<entry_header::version>(system_use_entry_version);
    out.in_record_bytes += ce_bytes;
    for (size_t i = kept; i < entries.count(); ++i) {
      if (entries.size(i) > max_continued_bytes - out.continued_bytes) return false;
      std::copy_n(entries.data(i), entries.size(i), out.continued + out.continued_bytes);
      out.continued_bytes += static_cast<uint32_t>(entries.size(i));
    }
  }
  // A padding byte keeps the record's length even.
  if (out.in_record_bytes % 2 != 0) out.in_record[out.in_record_bytes++] = 0;
  return !entries.overflowed();
}

uint64_t ContinuationCursor::place(uint32_t bytes) {
  const uint64_t used = offset % sector_bytes;
  if (used != 0 && bytes > sector_bytes - used) offset += sector_bytes - used;
  const uint64_t at = offset;
  offset += bytes;
  return at;
}

}  // namespace kestrel::iso9660
