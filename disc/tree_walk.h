// Walks over the source tree in the orders that the layout and the writers
// share: breadth first for directories and tables, depth-first pre-order for
// file data and unique IDs.
#pragma once

#include <vector>

#include "disc/source_node.h"

namespace kestrel {

enum class ChildOrder { primary, iso9660 };

inline SourceNode* first_child(const SourceNode& node, ChildOrder order) {
  return order == ChildOrder::primary ? node.first_child : node.iso_first_child;
}
inline SourceNode* next_sibling(const SourceNode& node, ChildOrder order) {
  return order == ChildOrder::primary ? node.next : node.iso_next;
}

// Calls `found` for each sub-directory of `directory` in the chosen order.
// The search ends at the last one (the directory counts them), so a folder
// of files alone is not walked through: in a wide folder every node visited
// is a cache miss, and the readers and the layout each walk the tree.
template <typename Found>
void for_each_sub_directory(const SourceNode& directory, ChildOrder order, Found&& found) {
  uint32_t left = directory.directory_children;
  for (SourceNode* child = first_child(directory, order); left > 0 && child != nullptr;
       child = next_sibling(*child, order)) {
    if (!child->is_directory) continue;
    found(child);
    --left;
  }
}

// Visits every directory level by level, each level in the chosen child order.
// The visitor returns false to stop the walk; the walk then returns false.
template <typename Visitor>
bool walk_directories_breadth_first(SourceNode* start, ChildOrder order, Visitor&& visit) {
  std::vector<SourceNode*> queue{start};
  for (size_t front = 0; front < queue.size(); ++front) {
    SourceNode* directory = queue[front];
    if (!visit(*directory)) return false;
    for_each_sub_directory(*directory, order, [&](SourceNode* child) { queue.push_back(child); });
  }
  return true;
}

// Visits every directory in depth-first pre-order: a directory, then each
// sub-directory's subtree in the chosen child order.
template <typename Visitor>
bool walk_directories_depth_first(SourceNode* start, ChildOrder order, Visitor&& visit) {
  std::vector<SourceNode*> stack{start};
  std::vector<SourceNode*> children;
  while (!stack.empty()) {
    SourceNode* directory = stack.back();
    stack.pop_back();
    if (!visit(*directory)) return false;
    children.clear();
    for_each_sub_directory(*directory, order,
                           [&](SourceNode* child) { children.push_back(child); });
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return true;
}

}  // namespace kestrel
