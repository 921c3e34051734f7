// Building an ISO 9660 hierarchy from the source tree: breadth first, each
// directory's children named and ordered as its hierarchy records them.
#include "iso9660/iso_tree.h"

#include <limits>
#include <string_view>

#include "iso9660/iso_names.h"
#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

// The longest identifier the primary volume stores: "8" + "." + "3".
constexpr size_t max_stored_primary_identifier = 12;

// Appends an identifier to the tree's identifier bytes; its first byte, or
// false when the bytes would exceed what a 32-bit offset addresses.
bool store_identifier(IsoTree& tree, std::string_view identifier, uint32_t& at) {
  if (tree.identifiers.size() > std::numeric_limits<uint32_t>::max() - identifier.size())
    return false;
  at = static_cast<uint32_t>(tree.identifiers.size());
  tree.identifiers.insert(tree.identifiers.end(), identifier.begin(), identifier.end());
  return true;
}

}  // namespace

bool build_primary_tree(DiscImage& image, IsoTree& tree) {
  tree = IsoTree(Hierarchy::primary);
  if (image.tree.root == nullptr) return false;
  const size_t nodes = size_t{image.tree.file_count} + image.tree.directory_count;
  tree.entries.reserve(nodes);
  // Only the bytes written are touched, so reserving for the longest
  // identifiers costs address space, not memory.
  tree.identifiers.reserve(nodes * max_stored_primary_identifier);
  tree.directories.push_back(IsoDirectory{image.tree.root, 0, 0, 0, 0, 0, 0, 0});

  std::vector<NamedChild> children;
  for (uint32_t index = 0; index < tree.directories.size(); ++index) {
    name_primary_children(image, *tree.directories[index].node, children);
    tree.directories[index].first_entry = static_cast<uint32_t>(tree.entries.size());
    tree.directories[index].entry_count = static_cast<uint32_t>(children.size());
    for (const NamedChild& child : children) {
      std::string_view identifier = child.identifier;
      // The version number is the writer's: stored identifiers have none.
      if (!child.node->is_directory && identifier.ends_with(version_suffix))
        identifier.remove_suffix(version_suffix.size());
      uint32_t at = 0;
      if (!store_identifier(tree, identifier, at)) {
        image.report.fail(BuildError::image_too_large);
        return false;
      }
      const auto length = static_cast<uint8_t>(identifier.size());
      if (!child.node->is_directory) {
        tree.entries.push_back(IsoEntry{child.node, at, length, 0});
        continue;
      }
      // Path table numbers are 16-bit: the 65,536th directory cannot be
      // recorded.
      if (tree.directories.size() >= max_directory_number) {
        image.report.fail(BuildError::too_many_directories);
        return false;
      }
      const auto directory = static_cast<uint32_t>(tree.directories.size());
      tree.directories.push_back(IsoDirectory{child.node, index, 0, 0, at, length, 0, 0});
      tree.entries.push_back(IsoEntry{child.node, directory, 0, 1});
    }
  }
  return true;
}

}  // namespace kestrel::iso9660
