#include "engine/shared_data.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "disc/tree_walk.h"
#include "engine/equal_contents.h"
#include "engine/fs_detection.h"

namespace kestrel {
namespace {

// Files of equal contents are looked for among files of at least this size.
// Below it a shared copy saves at most 31 sectors a file, while telling small
// files apart would read most of a tree of small files (which share their
// sizes widely) once more before the build: for 50,000 files of up to 8 KB
// that is half the time of the build again.
constexpr uint64_t smallest_file_compared = 64 * 1024;

// Whether a file's data may serve other files too.
bool may_hold_shared_data(const ImageWriter& writer, const SourceNode& node) {
  return !node.is_directory && node.size > 0 &&
         (node.kind == NodeKind::plain || node.kind == NodeKind::unpaired_clip) &&
         writer.boot.patched_copy_of(node) == nullptr;
}

// The folder directly in the source folder that holds `node`, or null for a
// file of the source folder itself.
const SourceNode* top_folder(const ImageWriter& writer, const SourceNode& node) {
  const SourceNode* folder = nullptr;
  for (const SourceNode* up = node.parent; up != nullptr && up != writer.tree.root; up = up->parent)
    folder = up;
  return folder;
}

bool in_disc_folder(const ImageWriter& writer, const SourceNode& node, bool dvd_only) {
  const SourceNode* folder = top_folder(writer, node);
  if (folder == nullptr) return false;
  const NativeStringView name(folder->native_name, folder->native_name_length);
  for (size_t i = 0; i < disc_folder_count; ++i) {
    const auto which = static_cast<DiscFolder>(i);
    const bool dvd = which == DiscFolder::video_ts || which == DiscFolder::audio_ts;
    if (dvd_only && !(dvd && writer.tree.dvd_video_mode)) continue;
    const SourceDescription* source = writer.source_description.get();
    if (source != nullptr && source->has(which) && name == source->folder(which)) return true;
  }
  return false;
}

// Whether a file may point at another's copy instead of having its own (the
// rules are in shared_data.h).
bool may_point_elsewhere(const ImageWriter& writer, const SourceNode& node, bool equal_contents) {
  return may_hold_shared_data(writer, node) && !in_disc_folder(writer, node, !equal_contents);
}

void join(ImageWriter& writer, SourceNode& file, SourceNode& copy, bool same_file) {
  file.shares_data_of = &copy;
  // UDF records a file of one kind (a plain file, or a real-time stream
  // clip) in one entry: a hard link of another kind keeps an entry of its own.
  if (same_file && file.kind == copy.kind && copy.hard_link_names < UINT16_MAX - 1) {
    file.shares_entry = 1;
    ++copy.hard_link_names;
    ++writer.tree.shared_entries;
  }
  writer.sharing_files.push_back(&file);
  ++(same_file ? writer.shared.hard_links : writer.shared.equal_files);
  writer.shared.saved_sectors += file.sectors;
  writer.shared.saved_bytes += file.size;
}

// Every file of the tree with data, in scan order (the primary order before
// the name passes sort it).
template <typename Visit>
void for_each_file_with_data(ImageWriter& writer, Visit&& visit) {
  walk_directories_depth_first(writer.tree.root, [&](SourceNode& directory) {
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
      if (!child->is_directory && child->size > 0) visit(*child);
    }
    return true;
  });
}

// Files that share their size with another, grouped by size, each group in
// scan order; only such files can be names of one file or equal.
std::vector<std::vector<SourceNode*>> files_sharing_a_size(ImageWriter& writer, bool holders_only,
                                                           uint64_t smallest = 1) {
  const auto counts = [&](const SourceNode& file) {
    return file.size >= smallest && (!holders_only || may_hold_shared_data(writer, file));
  };
  std::unordered_map<uint64_t, size_t> files_of_size;
  for_each_file_with_data(writer, [&](SourceNode& file) {
    if (counts(file)) ++files_of_size[file.size];
  });
  std::unordered_map<uint64_t, size_t> group_of_size;
  std::vector<std::vector<SourceNode*>> groups;
  for_each_file_with_data(writer, [&](SourceNode& file) {
    if (!counts(file)) return;
    if (files_of_size[file.size] < 2) return;
    const auto [place, added] = group_of_size.try_emplace(file.size, groups.size());
    if (added) groups.emplace_back();
    groups[place->second].push_back(&file);
  });
  return groups;
}

// Where the listing did not count names (Windows), the files that could be
// names of one file are asked for their identity: only those that share
// their size with another.
bool ask_identities(ImageWriter& writer, std::vector<LinkedFile>& linked) {
  for (const std::vector<SourceNode*>& group : files_sharing_a_size(writer, false)) {
    for (SourceNode* file : group) {
      if (writer.cancel_seen()) {
        writer.report.fail(BuildError::cancelled);
        return false;
      }
      FileIdentity identity;
      if (query_file_identity(node_file_path(writer, *file), identity) && identity.link_count > 1 &&
          identity.index != 0)
        linked.push_back(LinkedFile{identity.volume, identity.index, file});
    }
  }
  return true;
}

// The names of one file: the copy is the first name that must keep its own
// data, else the first that may hold shared data, and the other names that
// may point elsewhere point at it. Two names are of one file only when their
// identity, size and time of last change agree, so that a file system whose
// file numbers repeat cannot join two files.
void join_hard_links(ImageWriter& writer, std::vector<LinkedFile> linked) {
  std::stable_sort(linked.begin(), linked.end(), [](const LinkedFile& a, const LinkedFile& b) {
    return a.volume != b.volume ? a.volume < b.volume : a.index < b.index;
  });
  for (size_t first = 0; first < linked.size();) {
    size_t last = first + 1;
    while (last < linked.size() && linked[last].volume == linked[first].volume &&
           linked[last].index == linked[first].index)
      ++last;
    SourceNode* copy = nullptr;
    for (size_t i = first; i < last && copy == nullptr; ++i) {
      SourceNode& file = *linked[i].node;
      if (may_hold_shared_data(writer, file) && !may_point_elsewhere(writer, file, false))
        copy = &file;
    }
    for (size_t i = first; i < last && copy == nullptr; ++i) {
      if (may_hold_shared_data(writer, *linked[i].node)) copy = linked[i].node;
    }
    for (size_t i = first; i < last && copy != nullptr; ++i) {
      SourceNode& file = *linked[i].node;
      // A name found both by the listing and by asking counts once.
      if (&file == copy || file.shares_data_of != nullptr) continue;
      if (may_point_elsewhere(writer, file, false) && file.size == copy->size &&
          file.modified == copy->modified)
        join(writer, file, *copy, true);
    }
    first = last;
  }
}

// Files of equal contents: every file of at least 64 KiB that holds data of
// its own takes part; a hard link that already points at its file's copy is
// represented by it.
bool join_equal_files(ImageWriter& writer) {
  EqualContentFinder finder(writer);
  std::vector<EqualityCandidate> candidates;
  std::vector<EqualFiles> equal;
  for (const std::vector<SourceNode*>& group :
       files_sharing_a_size(writer, true, smallest_file_compared)) {
    candidates.clear();
    for (SourceNode* file : group) {
      if (file->shares_data_of == nullptr)
        candidates.push_back(EqualityCandidate{file, may_point_elsewhere(writer, *file, true)});
    }
    equal.clear();
    if (!finder.find(candidates, equal)) return false;
    for (const EqualFiles& pair : equal) join(writer, *pair.file, *pair.copy, false);
  }
  return true;
}

}  // namespace

bool share_file_data(ImageWriter& writer) {
  std::vector<LinkedFile> linked = writer.linked_files;
  if (writer.link_counts_unknown && !ask_identities(writer, linked)) return false;
  join_hard_links(writer, std::move(linked));
  return !writer.store_equal_files_once || join_equal_files(writer);
}

void place_shared_files(ImageWriter& writer) {
  for (SourceNode* file : writer.sharing_files) {
    const SourceNode* copy = file->shares_data_of;
    // A hard link points at its file's first name, which may itself point
    // at an equal file's copy.
    while (copy->shares_data_of != nullptr) copy = copy->shares_data_of;
    file->data_offset = copy->data_offset;
    if (file->shares_entry) {
      file->icb_block = file->shares_data_of->icb_block;
      file->unique_id = file->shares_data_of->unique_id;
    }
  }
}

}  // namespace kestrel
