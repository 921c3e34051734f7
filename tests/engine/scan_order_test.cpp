// A wide folder's nodes are made in name order, one after the other in
// memory, so that every pass that visits its children in name order walks
// memory front to back; a small folder keeps the order it was listed in.
// Either way every entry is in the tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

// The children of `directory` in the order they lie in memory.
std::vector<const SourceNode*> by_address(const SourceNode& directory) {
  std::vector<const SourceNode*> children;
  for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next)
    children.push_back(child);
  std::sort(children.begin(), children.end(), std::less<>());
  return children;
}

NativeStringView native_name_of(const SourceNode* node) {
  return {node->native_name, node->native_name_length};
}

TEST(ScanOrder, AWideFoldersNodesLieInMemoryInNameOrder) {
  ScratchFolder source("scan-order");
  constexpr int wide = 300;
  constexpr int small = 12;
  // Made in a scrambled order, which most file systems list in an order of
  // their own (by hash, by age) anyway.
  for (int i = 0; i < wide; ++i) {
    const std::string name = "entry_" + std::to_string(i * 7919 % wide);
    source.file(name + ".bin", 1);
    source.file("wide/" + name, 1);
  }
  for (int i = 0; i < small; ++i) source.file("small/s" + std::to_string(i * 5 % small), 1);
  const auto writer = scanned_writer(source, all_fs_settings[2]);
  ASSERT_NE(writer, nullptr);
  const SourceNode& root = *writer->tree.root;
  for (const SourceNode* folder :
       {&root, static_cast<const SourceNode*>(child_named(root, u"wide"))}) {
    ASSERT_NE(folder, nullptr);
    const std::vector<const SourceNode*> children = by_address(*folder);
    EXPECT_EQ(children.size(), folder == &root ? wide + 2u : wide + 0u);
    EXPECT_TRUE(std::is_sorted(children.begin(), children.end(),
                               [](const SourceNode* a, const SourceNode* b) {
                                 return native_name_of(a) < native_name_of(b);
                               }))
        << (folder == &root ? "the source folder" : "its sub-folder");
  }
  const SourceNode* small_folder = child_named(root, u"small");
  ASSERT_NE(small_folder, nullptr);
  EXPECT_EQ(by_address(*small_folder).size(), size_t{small});
}

}  // namespace
}  // namespace kestrel::test
