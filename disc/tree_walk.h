// Walks over the source tree in the orders that the layout and the writers
// share: breadth first for directories and tables, depth-first pre-order for
// file data and unique IDs, both over the primary child order.
#pragma once

#include <vector>

#include "disc/source_node.h"

namespace kestrel {

// Calls `found` for each sub-directory of `directory` in primary order.
// The search ends at the last one (the directory counts them), so a folder
// of files alone is not walked through: in a wide folder every node visited
// is a cache miss, and the readers and the layout each walk the tree.
template <typename Found>
void for_each_sub_directory(const SourceNode& directory, Found&& found) {
  uint32_t left = directory.directory_children;
  for (SourceNode* child = directory.first_child; left > 0 && child != nullptr;
       child = child->next) {
    if (!child->is_directory) continue;
    found(child);
    --left;
  }
}

// Visits every directory level by level, each level in primary order. The
// visitor returns false to stop the walk; the walk then returns false.
template <typename Visitor>
bool walk_directories_breadth_first(SourceNode* start, Visitor&& visit) {
  std::vector<SourceNode*> queue{start};
  for (size_t front = 0; front < queue.size(); ++front) {
    SourceNode* directory = queue[front];
    if (!visit(*directory)) return false;
    for_each_sub_directory(*directory, [&](SourceNode* child) { queue.push_back(child); });
  }
  return true;
}

// Visits every directory in depth-first pre-order: a directory, then each
// sub-directory's subtree in primary order.
template <typename Visitor>
bool walk_directories_depth_first(SourceNode* start, Visitor&& visit) {
  std::vector<SourceNode*> stack{start};
  std::vector<SourceNode*> children;
  while (!stack.empty()) {
    SourceNode* directory = stack.back();
    stack.pop_back();
    if (!visit(*directory)) return false;
    children.clear();
    for_each_sub_directory(*directory, [&](SourceNode* child) { children.push_back(child); });
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return true;
}

}  // namespace kestrel
