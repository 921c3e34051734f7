// The scan: one walk over the source folder that builds the tree, with the
// DVD-video arrangement for DVD folders and the marking of Blu-ray stream
// clips.
#include "engine/source_tree.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "engine/dvd_video.h"
#include "engine/scan_queue.h"
#include "engine/stereo_arrangement.h"

namespace kestrel {
namespace {

// The tree's nodes and names are taken from blocks of 2 MiB, which come from
// bulk memory: a tree of 100,000 files fills about 15 of them.
constexpr size_t tree_block_bytes = 2 * 1024 * 1024;

struct DirectoryIdentity {
  uint64_t device;
  uint64_t inode;
};

// The identity of one folder of the tree and the index of the folder above
// it, so that the folders from the root down to any one can be walked.
struct IdentityLink {
  DirectoryIdentity identity;
  size_t parent;
};
constexpr size_t no_parent = static_cast<size_t>(-1);

struct ScanState {
  ImageWriter& writer;
  // One link per folder listed or waiting, to notice a folder link that
  // leads back into its own tree.
  std::vector<IdentityLink> identities;
  // The DVD folders as found on disk, which the main walk leaves to the DVD
  // arrangement.
  std::vector<NativeString> dvd_folders_on_disk;
  // The image name of the entry being added: one buffer for every name.
  std::u16string name;
  // The sub-folders of the folder being listed: one buffer for every folder.
  std::vector<PendingFolder> sub_folders;
  // The entries of the folder being listed: one buffer for every folder.
  std::vector<FindEntry> entries;
};

// A folder of at least this many entries gets its nodes in name order.
// Every pass after the scan (UDF and ISO 9660 naming, Joliet, the sizing,
// the entries and records) visits a folder's children in name order, all
// close to the entries' byte order; made in that order, one after the other
// in the arena, a wide folder's nodes are visited front to back instead of
// all over memory, a cache miss each, in a listing's own order (a hash order
// on most Linux file systems). A small folder's nodes share a few cache
// lines whatever their order, and are not worth the sort.
constexpr size_t name_order_from_entries = 256;
// Entries whose buffer is kept from one folder to the next.
constexpr size_t kept_entries = 4096;

template <typename Char>
const Char* copy_text(NodeArena* arena, std::basic_string_view<Char> text) {
  auto* copy = static_cast<Char*>(arena->allocate((text.size() + 1) * sizeof(Char), alignof(Char)));
  if (copy == nullptr) return nullptr;
  std::copy(text.begin(), text.end(), copy);
  return copy;
}

SourceNode* make_root(ImageWriter& writer) {
  SourceNode* root = writer.tree.arena->make<SourceNode>();
  if (root == nullptr) return nullptr;
  root->name = copy_text<char16_t>(writer.tree.arena, u"");
  root->native_name = copy_text<NativeChar>(writer.tree.arena, NativeStringView());
  root->is_directory = 1;
  root->parent = root;
  root->created = root->modified = root->accessed = writer.settings.build_time;
  root->icb_block = 2;  // the root's file entry follows the file set descriptor and its terminator
  root->icb_sectors = 1;
  return root;
}

bool is_dot_entry(const NativeString& name) {
  return name == KESTREL_NATIVE(".") || name == KESTREL_NATIVE("..");
}

// Lists a DVD folder and adds its DVD files, sorted into DVD order. Anything
// else in it is left out, with a warning: DVD players read only these files.
bool arrange_dvd_folder(ScanState& state, const NativeString& folder_on_disk, SourceNode& folder,
                        char16_t initial) {
  ImageWriter& writer = state.writer;
  struct DvdEntry {
    uint32_t key;
    std::u16string name;
    FindEntry entry;
  };
  std::vector<DvdEntry> entries;
  const NativeString path = writer.tree.source_folder + folder_on_disk + native_separator;
  DirectoryFinder finder;
  FindEntry entry;
  bool found = finder.find_first(path, entry, DotEntries::leave_out);
  if (!found && finder.last_error() != 0) {
    writer.report.fail(BuildError::source_list_failed, path, finder.last_error());
    return false;
  }
  for (; found; found = finder.find_next(entry)) {
    if (entry.is_directory && is_dot_entry(entry.name)) continue;
    if (entry.broken_link) {
      writer.report.warn(BuildWarning::broken_link_skipped, path + entry.name);
      continue;
    }
    if (entry.is_special) {
      writer.report.warn(BuildWarning::special_file_skipped, path + entry.name);
      continue;
    }
    std::u16string name = image_name_from_native(entry.name);
    const bool dvd_name = !entry.is_directory && !name.empty() &&
                          (name[0] == initial || name[0] == initial + (u'a' - u'A'));
    const uint32_t key = dvd_name ? dvd_sort_key(name) : 0;
    if (key == 0) {
      writer.report.warn(BuildWarning::dvd_entry_skipped, path + entry.name);
      continue;
    }
    if (entry.unreadable) {
      writer.report.fail(BuildError::source_unreadable, path + entry.name, entry.error);
      return false;
    }
    entries.push_back(DvdEntry{key, std::move(name), entry});
  }
  if (finder.last_error() != 0) {
    writer.report.fail(BuildError::source_list_failed, path, finder.last_error());
    return false;
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const DvdEntry& a, const DvdEntry& b) { return a.key < b.key; });
  SourceNode* last = nullptr;
  for (const DvdEntry& item : entries) {
    if (add_node(writer, folder, last, item.name, item.entry.name, item.entry) == nullptr)
      return false;
  }
  return true;
}

bool build_dvd_arrangement(ScanState& state, const SourceDescription& source) {
  ImageWriter& writer = state.writer;
  SourceNode* last = nullptr;
  for (const DiscFolder which : {DiscFolder::audio_ts, DiscFolder::video_ts}) {
    const std::u16string_view folder_name = disc_folder_name(which);
    const NativeString& on_disk = source.folder(which);
    FindEntry times;
    times.is_directory = true;
    times.created = times.modified = times.accessed = writer.settings.build_time;
    // The folder is named as DVD players expect it, whatever its case on disk.
    SourceNode* folder =
        add_node(writer, *writer.tree.root, last, folder_name,
                 on_disk.empty() ? native_from_utf16(folder_name) : on_disk, times);
    if (folder == nullptr) return false;
    if (on_disk.empty()) continue;
    state.dvd_folders_on_disk.push_back(on_disk);
    if (!arrange_dvd_folder(state, on_disk, *folder, folder_name[0])) return false;
  }
  return true;
}

// The image being built, and the temporary files of builds to it (this
// one's, another running build's, or a crashed one's), when the source holds
// its own target.
// `name` is an entry of the folder `folder_path`. Only a name that starts
// with the image's own can be either, so the others are told apart without
// making their paths.
bool is_own_output(const ImageWriter& writer, const NativeString& folder_path,
                   NativeStringView name) {
  const NativeString& target = writer.tree.output_path;
  if (target.empty()) return false;
  size_t name_at = target.size();
  while (name_at > 0 && !is_path_separator(target[name_at - 1])) --name_at;
  const NativeStringView target_name = NativeStringView(target).substr(name_at);
  if (name.size() < target_name.size() ||
      !same_path(name.substr(0, target_name.size()), target_name))
    return false;
  const NativeString path = folder_path + NativeString(name);
  return same_path(path, target) || is_temporary_file_of(target, path);
}

// True when the folder `entry` is `folder` itself or one of the folders above it.
bool leads_back_up(const ScanState& state, size_t folder, const FindEntry& entry) {
  if (entry.device == 0 && entry.inode == 0) return false;
  for (size_t link = folder; link != no_parent; link = state.identities[link].parent) {
    const DirectoryIdentity& id = state.identities[link].identity;
    if (id.device == entry.device && id.inode == entry.inode) return true;
  }
  return false;
}

// One entry of the folder being listed: left out with a warning, added as a
// child of the folder's node (a sub-folder queued in state.sub_folders), or
// the end of the build (false) when it cannot be examined.
bool add_entry(ScanState& state, const PendingFolder& folder, SourceNode*& last,
               const FindEntry& entry) {
  ImageWriter& writer = state.writer;
  const NativeString& path = folder.path;
  SourceNode& directory = *folder.node;
  if (entry.is_directory && is_dot_entry(entry.name)) return true;
  if (entry.broken_link) {
    writer.report.warn(BuildWarning::broken_link_skipped, path + entry.name);
    return true;
  }
  if (entry.unreadable) {
    writer.report.fail(BuildError::source_unreadable, path + entry.name, entry.error);
    return false;
  }
  if (!entry.is_directory && is_own_output(writer, path, entry.name)) {
    writer.report.warn(BuildWarning::image_file_skipped, path + entry.name);
    return true;
  }
  if (entry.is_directory && &directory == writer.tree.root && writer.tree.dvd_video_mode &&
      std::find(state.dvd_folders_on_disk.begin(), state.dvd_folders_on_disk.end(), entry.name) !=
          state.dvd_folders_on_disk.end()) {
    return true;
  }
  if (entry.is_special) {
    writer.report.warn(BuildWarning::special_file_skipped, path + entry.name);
    return true;
  }
  // An image cannot hold a loop: a folder link back up its own tree is
  // left out like a link that leads nowhere, and the rest is written.
  if (entry.is_directory && leads_back_up(state, folder.identity, entry)) {
    writer.report.warn(BuildWarning::link_loop_skipped, path + entry.name);
    return true;
  }
  std::u16string& name = state.name;
  image_name_from_native(entry.name, name);
  if (!entry.is_directory && name == excluded_file_name) {
    writer.report.warn(BuildWarning::thumbnail_cache_skipped, path + entry.name);
    return true;
  }
  SourceNode* node = add_node(writer, directory, last, name, entry.name, entry);
  if (node == nullptr) return false;
  if (!entry.is_directory) return true;
  state.identities.push_back(
      IdentityLink{DirectoryIdentity{entry.device, entry.inode}, folder.identity});
  state.sub_folders.push_back(
      PendingFolder{node, path + entry.name + native_separator, state.identities.size() - 1});
  return true;
}

// Lists one folder: adds its entries as children of its node and queues its
// sub-folders, so that they are listed next, in the order added.
bool scan_directory(ScanState& state, ScanQueue& queue, const PendingFolder& folder,
                    FolderCursor& listing) {
  ImageWriter& writer = state.writer;
  const NativeString& path = folder.path;
  // New children follow any already there (the DVD folders at the root).
  SourceNode* last = nullptr;
  for (SourceNode* child = folder.node->first_child; child != nullptr; child = child->next)
    last = child;

  const auto cancelled = [&] {
    if (!writer.cancel_seen()) return false;
    writer.report.fail(BuildError::cancelled);
    return true;
  };
  FindEntry listed;
  bool found = listing.next(path, listed);
  if (listing.in_name_order()) {
    // Listed in name order already (the source folder, as its description
    // sorted it): each entry is added as it comes.
    for (; found; found = listing.next(path, listed)) {
      if (cancelled() || !add_entry(state, folder, last, listed)) return false;
    }
  } else {
    std::vector<FindEntry>& entries = state.entries;
    entries.clear();
    for (; found; found = listing.next(path, listed)) {
      if (cancelled()) return false;
      entries.push_back(std::move(listed));
    }
    const auto by_name = [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; };
    if (entries.size() >= name_order_from_entries &&
        !std::is_sorted(entries.begin(), entries.end(), by_name))
      std::sort(entries.begin(), entries.end(), by_name);
    for (const FindEntry& entry : entries) {
      if (!add_entry(state, folder, last, entry)) return false;
    }
    // The entries of a wide folder take more memory than its nodes: given
    // back at once rather than kept for a folder as wide, which is rare.
    if (entries.capacity() > kept_entries) std::vector<FindEntry>().swap(entries);
  }
  // A folder that cannot be listed would silently lose its contents.
  if (listing.last_error() != 0) {
    writer.report.fail(BuildError::source_list_failed, path, listing.last_error());
    return false;
  }
  queue.push(state.sub_folders);
  return true;
}

// Lists the source folder and every folder below it, depth first in the
// order found, each folder once and completely before the next.
// The folders still to be listed wait in a queue on the heap instead of in
// recursion, so that no depth of folders can exhaust the worker thread's
// stack; with two processors a helper lists them ahead.
bool scan_tree(ScanState& state, const FindEntry& source,
               const std::vector<NativeString>* source_names) {
  state.identities.push_back(
      IdentityLink{DirectoryIdentity{source.device, source.inode}, no_parent});
  ScanQueue queue(std::thread::hardware_concurrency() >= 2);
  state.sub_folders.push_back(
      PendingFolder{state.writer.tree.root, state.writer.tree.source_folder, 0});
  queue.push(state.sub_folders);
  // Where the source folder was listed moments ago, to describe it, the
  // scan examines those names rather than listing a wide folder twice.
  bool at_source = true;
  while (!queue.empty()) {
    const ScanQueue::Taken taken = queue.take();
    // The description lists them in byte order.
    if (at_source && source_names != nullptr) taken.cursor->use_listing(*source_names, true);
    at_source = false;
    if (!scan_directory(state, queue, taken.folder, *taken.cursor)) return false;
  }
  return true;
}

SourceNode* find_child_directory(SourceNode& directory, std::u16string_view name) {
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    if (child->is_directory && std::u16string_view(child->name, child->name_length) == name)
      return child;
  }
  return nullptr;
}

}  // namespace

SourceNode* add_node(ImageWriter& writer, SourceNode& directory, SourceNode*& last_child,
                     std::u16string_view name, NativeStringView native_name,
                     const FindEntry& entry) {
  SourceNode* node = writer.tree.arena->make<SourceNode>();
  const char16_t* name_copy = node == nullptr ? nullptr : copy_text(writer.tree.arena, name);
  const NativeChar* native_copy =
      name_copy == nullptr ? nullptr : copy_text(writer.tree.arena, native_name);
  if (native_copy == nullptr) {
    writer.report.fail(BuildError::out_of_memory);
    return nullptr;
  }
  node->name = name_copy;
  node->name_length = static_cast<uint16_t>(name.size());
  node->native_name = native_copy;
  node->native_name_length = static_cast<uint16_t>(native_name.size());
  node->is_directory = entry.is_directory ? 1 : 0;
  node->executable = entry.executable ? 1 : 0;
  node->kind = NodeKind::plain;
  node->created = entry.created;
  node->modified = entry.modified;
  node->accessed = entry.accessed;
  node->parent = &directory;
  node->icb_sectors = 1;
  if (directory.first_child == nullptr) directory.first_child = node;
  if (last_child != nullptr) last_child->next = node;
  last_child = node;
  if (entry.is_directory) {
    ++directory.directory_children;
    ++writer.tree.directory_count;
  } else {
    ++directory.file_children;
    ++writer.tree.file_count;
    node->size = entry.size;
    node->may_have_holes = entry.may_have_holes ? 1 : 0;
    // A file with more than one name may meet another of them in the tree;
    // where the listing does not count names, the layout asks (shared_data.cpp).
    if (entry.size > 0 && entry.link_count > 1) {
      writer.linked_files.push_back(LinkedFile{entry.device, entry.inode, node});
    } else if (entry.size > 0 && entry.link_count == 0) {
      writer.link_counts_unknown = true;
    }
    const uint64_t sectors = sectors_for_bytes(entry.size);
    node->sectors = static_cast<uint32_t>(sectors);
    // A single file beyond 2^32 - 1 sectors (8 TiB) cannot be addressed.
    if (sectors > UINT32_MAX) {
      writer.report.fail(BuildError::file_too_large, node_file_path(writer, *node));
    }
  }
  return node;
}

bool is_clip_name(const SourceNode& node) {
  const std::u16string_view name(node.name, node.name_length);
  return !node.is_directory && name.size() == clip_name_length &&
         name.substr(clip_name_length - clip_name_tail.size()) == clip_name_tail;
}

void mark_unpaired_clips(SourceNode& stream_folder) {
  for (SourceNode* child = stream_folder.first_child; child != nullptr; child = child->next) {
    if (!is_clip_name(*child)) continue;
    child->kind = NodeKind::unpaired_clip;
    child->stereo_pair = nullptr;
    child->dependent_node = nullptr;
    child->base_node = nullptr;
    child->extent_count = 0;
    child->icb_sectors = 1;
  }
}

SourceNode* find_stream_folder(const ImageWriter& writer) {
  const NativeString& movie_folder = writer.source_description->folder(DiscFolder::bdmv);
  if (writer.tree.root == nullptr || movie_folder.empty()) return nullptr;
  for (SourceNode* child = writer.tree.root->first_child; child != nullptr; child = child->next) {
    if (child->is_directory &&
        NativeStringView(child->native_name, child->native_name_length) == movie_folder)
      return find_child_directory(*child, stream_folder_name);
  }
  return nullptr;
}

bool scan_source(ImageWriter& writer) {
  if (writer.tree.arena == nullptr) writer.tree.arena = NodeArena::create(tree_block_bytes);
  if (writer.tree.arena == nullptr) {
    writer.report.fail(BuildError::out_of_memory);
    return false;
  }
  writer.tree.root = make_root(writer);
  if (writer.tree.root == nullptr) {
    writer.report.fail(BuildError::out_of_memory);
    return false;
  }
  FindEntry source;
  if (!stat_path(writer.tree.source_folder, source) || !source.is_directory) {
    writer.report.fail(BuildError::source_not_found, writer.tree.source_folder, source.error);
    return false;
  }
  ScanState state{writer, {}, {}, {}, {}, {}};

  // The front end or the worker may have described the source already.
  if (!writer.source_description) writer.describe_source();
  const SourceDescription& description = *writer.source_description;
  if (description.list_error != 0) {
    writer.report.fail(BuildError::source_list_failed, writer.tree.source_folder,
                       description.list_error);
    return false;
  }
  writer.tree.dvd_video_mode =
      writer.settings.fs_flags == (fs_iso9660 | fs_udf) &&
      writer.settings.udf_revision == udf_revision_102 &&
      (description.has(DiscFolder::video_ts) || description.has(DiscFolder::audio_ts));
  if (writer.tree.dvd_video_mode && !build_dvd_arrangement(state, description)) return false;
  if (!scan_tree(state, source, description.listed ? &description.names : nullptr)) return false;

  SourceNode* stream_folder = find_stream_folder(writer);
  if (stream_folder == nullptr) return true;
  if (writer.stereo_pairs && !writer.stereo_pairs->empty() &&
      arrange_stereo_pairs(writer, *stream_folder)) {
    return true;
  }
  mark_unpaired_clips(*stream_folder);
  return !writer.report.failed();
}

}  // namespace kestrel
