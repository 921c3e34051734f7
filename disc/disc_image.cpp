#include "disc/disc_image.h"

#include <vector>

namespace kestrel {

NativeString node_path(const DiscImage& image, const SourceNode& directory) {
  std::vector<const SourceNode*> chain;
  for (const SourceNode* node = &directory; node->parent != node; node = node->parent)
    chain.push_back(node);
  NativeString path = image.tree.source_folder;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += (*it)->native_name;
    path += native_separator;
  }
  return path;
}

NativeString node_file_path(const DiscImage& image, const SourceNode& node) {
  if (node.parent == &node) return image.tree.source_folder;
  NativeString path = node_path(image, *node.parent);
  path += node.native_name;
  return path;
}

}  // namespace kestrel
