#include "engine/stereo_arrangement.h"

#include <map>

#include "engine/source_tree.h"

namespace kestrel {
namespace {

constexpr size_t clip_number_digits = 5;

// The clip number of a clip file "NNNNN.m2ts"; false unless the first five
// characters are ASCII digits.
bool clip_number(const SourceNode& node, uint32_t& number) {
  number = 0;
  for (size_t i = 0; i < clip_number_digits; ++i) {
    const char16_t c = node.name[i];
    if (c < u'0' || c > u'9') return false;
    number = number * 10 + static_cast<uint32_t>(c - u'0');
  }
  return true;
}

uint64_t sum_of(const std::vector<uint32_t>& extents) {
  uint64_t sum = 0;
  for (uint32_t length : extents) sum += length;
  return sum;
}

bool has_empty_extent(const std::vector<uint32_t>& extents) {
  for (uint32_t length : extents) {
    if (length == 0) return true;
  }
  return false;
}

// The data of a pair is copied as D0, B0, D1, B1, ...: the extents must
// cover each clip exactly, or every later sector of the image would shift.
bool pair_adds_up(const bluray::StereoPair& pair, const SourceNode& base,
                  const SourceNode& dependent) {
  return pair.base_sectors == base.sectors && pair.dependent_sectors == dependent.sectors &&
         !pair.dependent_extents.empty() &&
         pair.base_extents.size() <= pair.dependent_extents.size() &&
         sum_of(pair.base_extents) == base.sectors &&
         sum_of(pair.dependent_extents) == dependent.sectors &&
         !has_empty_extent(pair.base_extents) && !has_empty_extent(pair.dependent_extents);
}

void mark_clip(SourceNode& clip, NodeKind kind, const bluray::StereoPair& pair, SourceNode& base,
               SourceNode& dependent) {
  clip.kind = kind;
  clip.stereo_pair = &pair;
  clip.base_node = &base;
  clip.dependent_node = &dependent;
}

// Unlinks a sub-folder (and everything in it) from its parent and takes its
// nodes back out of the writer's counts.
void remove_folder(ImageWriter& writer, SourceNode& parent, SourceNode& folder) {
  SourceNode** link = &parent.first_child;
  while (*link != nullptr && *link != &folder) link = &(*link)->next;
  if (*link == nullptr) return;
  *link = folder.next;
  --parent.directory_children;
  std::vector<SourceNode*> pending{&folder};
  while (!pending.empty()) {
    SourceNode* node = pending.back();
    pending.pop_back();
    if (node->is_directory) {
      --writer.tree.directory_count;
      for (SourceNode* child = node->first_child; child != nullptr; child = child->next)
        pending.push_back(child);
    } else {
      --writer.tree.file_count;
    }
  }
}

SourceNode* find_folder(SourceNode& parent, std::u16string_view name) {
  for (SourceNode* child = parent.first_child; child != nullptr; child = child->next) {
    if (child->is_directory && std::u16string_view(child->name, child->name_length) == name)
      return child;
  }
  return nullptr;
}

}  // namespace

bool arrange_stereo_pairs(ImageWriter& writer, SourceNode& stream_folder) {
  if (!writer.stereo_pairs || writer.stereo_pairs->empty()) return false;
  std::map<uint32_t, SourceNode*> clips;
  for (SourceNode* child = stream_folder.first_child; child != nullptr; child = child->next) {
    uint32_t number = 0;
    if (is_clip_name(*child) && clip_number(*child, number)) clips[number] = child;
  }
  // Every pair is checked before anything in the tree changes, so that a
  // failure leaves the tree and its counts as the scan made them.
  std::map<SourceNode*, int> roles;
  for (const bluray::StereoPair& pair : *writer.stereo_pairs) {
    const auto base = clips.find(pair.base_clip);
    const auto dependent = clips.find(pair.dependent_clip);
    if (base == clips.end() || dependent == clips.end() || base->second == dependent->second)
      return false;
    if (!pair_adds_up(pair, *base->second, *dependent->second)) return false;
    // A clip in two pairs, or in both roles, would be written twice or never.
    if (++roles[base->second] > 1 || ++roles[dependent->second] > 1) return false;
  }

  // Interleaved files replace any SSIF folder the source already has (disc
  // backups carry one).
  if (SourceNode* existing = find_folder(stream_folder, stereo_folder_name)) {
    remove_folder(writer, stream_folder, *existing);
  }
  SourceNode* last = nullptr;
  for (SourceNode* child = stream_folder.first_child; child != nullptr; child = child->next)
    last = child;
  FindEntry folder_entry;
  folder_entry.is_directory = true;
  SourceNode* folder = add_node(writer, stream_folder, last, stereo_folder_name,
                                native_from_utf16(stereo_folder_name), folder_entry);
  if (folder == nullptr) return false;
  writer.tree.stereo_folder = folder;

  SourceNode* last_file = nullptr;
  for (const bluray::StereoPair& pair : *writer.stereo_pairs) {
    SourceNode& base = *clips[pair.base_clip];
    SourceNode& dependent = *clips[pair.dependent_clip];
    mark_clip(base, NodeKind::base_view_clip, pair, base, dependent);
    mark_clip(dependent, NodeKind::dependent_view_clip, pair, base, dependent);

    FindEntry file_entry;
    file_entry.size =
        (static_cast<uint64_t>(pair.base_sectors) + pair.dependent_sectors) * sector_bytes;
    file_entry.created = base.created;
    file_entry.modified = base.modified;
    file_entry.accessed = base.accessed;
    const std::u16string name =
        std::u16string(base.name, clip_number_digits) + std::u16string(stereo_file_extension);
    SourceNode* file =
        add_node(writer, *folder, last_file, name, native_from_utf16(name), file_entry);
    if (file == nullptr) return false;
    file->kind = NodeKind::stereo_virtual_file;
    file->base_node = &base;
    file->dependent_node = &dependent;
    file->stereo_pair = &pair;
  }
  return true;
}

}  // namespace kestrel
