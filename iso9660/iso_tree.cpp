// Building an ISO 9660 hierarchy from the source tree: breadth first, each
// directory's children named and ordered as its hierarchy records them.
#include "iso9660/iso_tree.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "iso9660/iso_names.h"
#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"
#include "iso9660/joliet_names.h"

namespace kestrel::iso9660 {
namespace {

// The longest identifier the primary volume stores: "8" + "." + "3".
constexpr size_t max_stored_primary_identifier = 12;

// A child of a directory as its hierarchy names it: the identifier to
// store (d-characters, or UCS-2 units stored big-endian), or the source
// name itself. The texts are views of the naming's own.
struct ChildRecord {
  SourceNode* node;
  std::string_view stored;
  std::u16string_view stored_units;
  bool source_named;
  RecordRole role;

  size_t stored_bytes() const { return stored.size() + 2 * stored_units.size(); }
};

// Appends a child's identifier to the tree's identifier bytes; its first
// byte, or false when the bytes would exceed what a 32-bit offset addresses.
bool store_identifier(IsoTree& tree, const ChildRecord& child, uint32_t& at) {
  if (tree.identifiers.size() > std::numeric_limits<uint32_t>::max() - child.stored_bytes())
    return false;
  at = static_cast<uint32_t>(tree.identifiers.size());
  tree.identifiers.insert(tree.identifiers.end(), child.stored.begin(), child.stored.end());
  for (const char16_t unit : child.stored_units) {
    tree.identifiers.push_back(static_cast<uint8_t>(unit >> 8));
    tree.identifiers.push_back(static_cast<uint8_t>(unit & 0xFF));
  }
  return true;
}

// The hierarchy breadth first: for each directory in turn, its children as
// `name_children` names and orders them, its sub-directories appended to
// the directories still to come.
template <typename NameChildren>
bool build_tree(const DiscImage& image, BuildReport& report, IsoTree& tree,
                size_t identifier_bytes_hint, NameChildren&& name_children) {
  if (image.tree.root == nullptr) return false;
  const size_t nodes = size_t{image.tree.file_count} + image.tree.directory_count;
  tree.entries.reserve(nodes);
  tree.identifiers.reserve(identifier_bytes_hint);
  tree.directories.push_back(
      IsoDirectory{image.tree.root, 0, 0, 0, 0, 0, 0, RecordRole::plain, 0, 0, 0, 0});

  std::vector<ChildRecord> children;
  for (uint32_t index = 0; index < tree.directories.size(); ++index) {
    name_children(index, children);
    tree.directories[index].first_entry = static_cast<uint32_t>(tree.entries.size());
    tree.directories[index].entry_count = static_cast<uint32_t>(children.size());
    for (const ChildRecord& child : children) {
      uint32_t at = 0;
      if (!child.source_named && !store_identifier(tree, child, at)) {
        report.fail(BuildError::image_too_large);
        return false;
      }
      const auto length = static_cast<uint8_t>(child.stored_bytes());
      const auto source_named = static_cast<uint8_t>(child.source_named ? 1 : 0);
      if (child.role == RecordRole::child_link) {
        // A file record in the place of a directory moved to the root,
        // which the root has recorded already: it now learns where it
        // belongs.
        const auto moved = tree.relocated.find(child.node);
        if (moved == tree.relocated.end()) {
          report.fail(BuildError::layout_mismatch);
          return false;
        }
        tree.directories[moved->second].rock_ridge_parent = index;
        tree.entries.push_back(
            IsoEntry{child.node, at, length, 0, source_named, RecordRole::child_link});
        continue;
      }
      if (!child.node->is_directory) {
        tree.entries.push_back(
            IsoEntry{child.node, at, length, 0, source_named, RecordRole::plain});
        continue;
      }
      // Path table numbers are 16-bit: the 65,536th directory cannot be
      // recorded.
      if (tree.directories.size() >= max_directory_number) {
        report.fail(BuildError::too_many_directories);
        return false;
      }
      const auto directory = static_cast<uint32_t>(tree.directories.size());
      tree.directories.push_back(IsoDirectory{child.node, index, 0, 0, at, length, source_named,
                                              child.role, 0, 0, index, 0});
      tree.entries.push_back(IsoEntry{child.node, directory, 0, 1, 0, child.role});
      if (child.role == RecordRole::relocated && child.node != tree.relocation_folder.get())
        tree.relocated[child.node] = directory;
    }
  }
  return true;
}

// ECMA-119 6.8.2.1: a hierarchy has at most eight levels, the root's the
// first.
constexpr uint32_t max_directory_levels = 8;

// The relocation folder: its name, as the readers of Rock Ridge that look for
// it know it, and the file serial number its PX records (the root has 0,
// every source node one from 16 on).
constexpr std::u16string_view relocation_folder_name = u"rr_moved";
constexpr NativeChar relocation_folder_native_name[] = KESTREL_NATIVE("rr_moved");
constexpr uint32_t relocation_folder_serial = 1;

// Relocated directories lie in the relocation folder, a folder of the root:
// at the third level.
constexpr uint32_t relocated_level = 3;

// The directories that would lie deeper than eight levels in the primary
// hierarchy, with everything below them counted from their new place. In
// the order of their paths, so that their identifiers in the relocation
// folder do not depend on the order the system lists folders in.
std::vector<SourceNode*> directories_to_relocate(const DiscImage& image) {
  std::vector<SourceNode*> relocated;
  std::vector<std::pair<SourceNode*, uint32_t>> pending{{image.tree.root, 1}};
  while (!pending.empty()) {
    const auto [directory, level] = pending.back();
    pending.pop_back();
    for (SourceNode* child = directory->first_child; child != nullptr; child = child->next) {
      if (!child->is_directory) continue;
      if (level + 1 > max_directory_levels) {
        relocated.push_back(child);
        pending.emplace_back(child, relocated_level);
      } else {
        pending.emplace_back(child, level + 1);
      }
    }
  }
  if (relocated.size() > 1) {
    std::vector<std::pair<NativeString, SourceNode*>> by_path;
    for (SourceNode* node : relocated) by_path.emplace_back(node_path(image, *node), node);
    std::sort(by_path.begin(), by_path.end());
    for (size_t i = 0; i < by_path.size(); ++i) relocated[i] = by_path[i].second;
  }
  return relocated;
}

// The folder of the root that holds the relocated directories (RRIP 4.1.5),
// named as readers of Rock Ridge expect it; its record is marked as
// relocated too, so that they do not show it.
std::unique_ptr<SourceNode> make_relocation_folder(const DiscImage& image, size_t holds) {
  auto folder = std::make_unique<SourceNode>();
  folder->name = relocation_folder_name.data();
  folder->name_length = static_cast<uint16_t>(relocation_folder_name.size());
  folder->native_name = relocation_folder_native_name;
  folder->native_name_length = static_cast<uint16_t>(relocation_folder_name.size());
  folder->is_directory = 1;
  folder->parent = image.tree.root;
  folder->created = folder->modified = folder->accessed = image.settings.build_time;
  folder->directory_children = static_cast<uint32_t>(holds);
  folder->unique_id = relocation_folder_serial;
  return folder;
}

}  // namespace

bool build_primary_tree(const DiscImage& image, BuildReport& report, IsoTree& tree,
                        bool rock_ridge) {
  tree = IsoTree(Hierarchy::primary);
  tree.rock_ridge = rock_ridge;
  const std::vector<SourceNode*> relocated =
      rock_ridge ? directories_to_relocate(image) : std::vector<SourceNode*>{};
  const std::unordered_set<const SourceNode*> moved(relocated.begin(), relocated.end());
  if (!relocated.empty()) {
    tree.relocation_folder = make_relocation_folder(image, relocated.size());
  }
  const SourceNode* folder = tree.relocation_folder.get();
  std::vector<NamedChild> named;
  const size_t nodes = size_t{image.tree.file_count} + image.tree.directory_count;
  // Only the bytes written are touched, so reserving for the longest
  // identifiers costs address space, not memory.
  return build_tree(
      image, report, tree, (nodes + relocated.size() + 1) * max_stored_primary_identifier,
      [&](uint32_t index, std::vector<ChildRecord>& children) {
        const SourceNode& directory = *tree.directories[index].node;
        named.clear();
        if (&directory == folder) {
          // The relocation folder holds the relocated directories.
          for (SourceNode* node : relocated)
            named.push_back(NamedChild{node, {}, RecordRole::relocated});
        } else {
          size_t count = 1;  // and the relocation folder, in the root
          for (const SourceNode* child = directory.first_child; child != nullptr;
               child = child->next)
            ++count;
          named.reserve(count);
          for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
            const bool left_behind = child->is_directory && moved.count(child) != 0;
            named.push_back(
                NamedChild{child, {}, left_behind ? RecordRole::child_link : RecordRole::plain});
          }
          // The root takes the relocation folder, after its own children.
          if (index == 0 && folder != nullptr)
            named.push_back(NamedChild{tree.relocation_folder.get(), {}, RecordRole::relocated});
        }
        name_primary_children(image, named);
        children.clear();
        children.reserve(named.size());
        for (const NamedChild& child : named) {
          std::string_view identifier = child.identifier.view();
          // The version number is the writer's: stored identifiers have none.
          if (!child.node->is_directory && identifier.ends_with(version_suffix))
            identifier.remove_suffix(version_suffix.size());
          children.push_back(ChildRecord{child.node, identifier, {}, false, child.role});
        }
      });
}

bool build_joliet_tree(const DiscImage& image, BuildReport& report, IsoTree& tree,
                       uint32_t& altered_names) {
  tree = IsoTree(Hierarchy::joliet);
  altered_names = 0;
  std::vector<JolietChild> named;
  // Most names are recorded as they are and store nothing.
  return build_tree(
      image, report, tree, 0, [&](uint32_t index, std::vector<ChildRecord>& children) {
        name_joliet_children(*tree.directories[index].node, named);
        children.clear();
        children.reserve(named.size());
        for (const JolietChild& child : named) {
          if (!child.altered) {
            children.push_back(ChildRecord{child.node, {}, {}, true, RecordRole::plain});
            continue;
          }
          ++altered_names;
          children.push_back(ChildRecord{child.node, {}, child.name, false, RecordRole::plain});
        }
      });
}

}  // namespace kestrel::iso9660
