#include "engine/stereo_arrangement.h"

#include <cstdio>
#include <map>

#include "bluray/stereo_analysis.h"
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
bool extents_cover(const std::vector<uint32_t>& extents, const SourceNode& clip) {
  return sum_of(extents) == clip.sectors && !has_empty_extent(extents);
}

void mark_failure(bluray::StereoPair& pair, StereoFailure failure, uint16_t clip,
                  uint32_t found = 0) {
  if (pair.failure != StereoFailure::none) return;
  pair.failure = failure;
  pair.faulty_clip = clip;
  pair.found_sectors = found;
}

// Checks one pair against the clips in the tree and records why it cannot be
// interleaved, if it cannot. `roles` counts how many pairs name each clip.
void check_pair(bluray::StereoPair& pair, const std::map<uint32_t, SourceNode*>& clips,
                const std::map<SourceNode*, int>& roles) {
  const auto base = clips.find(pair.base_clip);
  const auto dependent = clips.find(pair.dependent_clip);
  if (base == clips.end()) return mark_failure(pair, StereoFailure::stream_missing, pair.base_clip);
  if (dependent == clips.end())
    return mark_failure(pair, StereoFailure::stream_missing, pair.dependent_clip);
  // A clip in two pairs, or in both roles, would be written twice or never.
  for (const auto& [number, node] : {*base, *dependent}) {
    if (base->second == dependent->second || roles.at(node) > 1)
      return mark_failure(pair, StereoFailure::clip_in_two_pairs, static_cast<uint16_t>(number));
  }
  if (pair.base_sectors != base->second->sectors) {
    return mark_failure(pair, StereoFailure::stream_size_mismatch, pair.base_clip,
                        base->second->sectors);
  }
  if (pair.dependent_sectors != dependent->second->sectors) {
    return mark_failure(pair, StereoFailure::stream_size_mismatch, pair.dependent_clip,
                        dependent->second->sectors);
  }
  // The dependent clip leads every pair of extents, so the base clip has at
  // most as many.
  if (pair.dependent_extents.empty() ||
      !extents_cover(pair.dependent_extents, *dependent->second)) {
    mark_failure(pair, StereoFailure::start_points_unusable, pair.dependent_clip);
  } else if (pair.base_extents.size() > pair.dependent_extents.size() ||
             !extents_cover(pair.base_extents, *base->second)) {
    mark_failure(pair, StereoFailure::start_points_unusable, pair.base_clip);
  }
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

// The stream file of clip `number` in the movie folder at `movie_path`.
NativeString clip_stream_path(const NativeString& movie_path, uint32_t number) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05u", static_cast<unsigned>(number));
  NativeString path = movie_path;
  path += native_separator;
  path += native_from_utf16(stream_folder_name);
  path += native_separator;
  for (const char* c = digits; *c != '\0'; ++c) path += static_cast<NativeChar>(*c);
  path += native_from_utf16(clip_name_tail);
  return path;
}

SourceNode* find_folder(SourceNode& parent, std::u16string_view name) {
  for (SourceNode* child = parent.first_child; child != nullptr; child = child->next) {
    if (child->is_directory && std::u16string_view(child->name, child->name_length) == name)
      return child;
  }
  return nullptr;
}

}  // namespace

void warn_titles_not_interleaved(ImageWriter& writer, const bluray::StereoPairList& pairs,
                                 NativeStringView movie_folder) {
  const NativeString movie_path = writer.tree.source_folder + NativeString(movie_folder);
  for (const bluray::StereoPair& pair : pairs) {
    StereoTitleNote note;
    note.reason =
        pair.failure == StereoFailure::none ? StereoFailure::other_title_failed : pair.failure;
    note.base_clip = pair.base_clip;
    note.dependent_clip = pair.dependent_clip;
    note.faulty_clip = pair.faulty_clip;
    NativeString path;
    switch (note.reason) {
      case StereoFailure::clip_info_missing:
      case StereoFailure::start_points_unusable:
        path = bluray::clip_info_path(writer.tree.source_folder, movie_folder, pair.faulty_clip);
        break;
      case StereoFailure::stream_size_mismatch:
        note.stated_sectors =
            pair.faulty_clip == pair.base_clip ? pair.base_sectors : pair.dependent_sectors;
        note.found_sectors = pair.found_sectors;
        [[fallthrough]];
      case StereoFailure::stream_missing:
      case StereoFailure::clip_in_two_pairs:
        path = clip_stream_path(movie_path, pair.faulty_clip);
        break;
      case StereoFailure::none:
      case StereoFailure::other_title_failed: path = movie_path; break;
    }
    writer.report.warn(BuildWarning::stereo_title_not_interleaved, std::move(path), note);
  }
}

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
    for (const uint32_t number : {pair.base_clip, pair.dependent_clip}) {
      if (const auto clip = clips.find(number); clip != clips.end()) ++roles[clip->second];
    }
  }
  bool usable = true;
  for (bluray::StereoPair& pair : *writer.stereo_pairs) {
    check_pair(pair, clips, roles);
    if (pair.failure != StereoFailure::none) usable = false;
  }
  if (!usable) {
    const SourceNode& movie_folder = *stream_folder.parent;
    warn_titles_not_interleaved(
        writer, *writer.stereo_pairs,
        NativeStringView(movie_folder.native_name, movie_folder.native_name_length));
    return false;
  }

  // Interleaved files replace any SSIF folder the source already has (disc
  // backups carry one).
  if (SourceNode* existing = find_folder(stream_folder, stereo_folder_name)) {
    writer.report.warn(BuildWarning::stereo_folder_replaced, node_path(writer, *existing));
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
    file_entry.link_count = 1;  // a file of the image alone, a link of nothing
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
