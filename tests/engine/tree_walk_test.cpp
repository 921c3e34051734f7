// The directory walks that the layout, the writers and the content readers
// share: every directory once, in the order of their child lists, wherever a
// sub-directory stands among the files of its folder.
#include <gtest/gtest.h>

#include <string>

#include "disc/tree_walk.h"
#include "support/node_tree.h"

namespace kestrel {
namespace {

using test::NodeTree;

std::u16string numbered(std::u16string_view prefix, int number) {
  const std::string digits = std::to_string(number);
  std::u16string name(prefix);
  name.append(digits.begin(), digits.end());
  return name;
}

std::string walked(SourceNode* root, bool depth_first) {
  std::string names;
  const auto visit = [&](SourceNode& directory) {
    names += directory.parent == &directory
                 ? std::string("/")
                 : " " + std::string(directory.name, directory.name + directory.name_length);
    return true;
  };
  if (depth_first) {
    walk_directories_depth_first(root, visit);
  } else {
    walk_directories_breadth_first(root, visit);
  }
  return names;
}

// Sub-directories before, among and after many files, a folder of files
// alone and an empty one.
TEST(TreeWalk, VisitsEveryDirectoryInOrderWhereverItStandsAmongFiles) {
  NodeTree tree(fs_iso9660);
  SourceNode* root = tree.writer.tree.root;
  SourceNode* zeta = tree.dir(root, u"ZETA");
  for (int i = 0; i < 50; ++i) tree.file(root, numbered(u"F", i), 1);
  SourceNode* mu = tree.dir(root, u"MU");
  tree.file(mu, u"ONLY_FILES", 1);
  tree.file(mu, u"MORE_FILES", 1);
  for (int i = 0; i < 30; ++i) tree.file(zeta, numbered(u"G", i), 1);
  tree.dir(zeta, u"LAST");
  SourceNode* alpha = tree.dir(root, u"ALPHA");
  tree.dir(alpha, u"EMPTY");
  tree.file(root, u"TAIL", 1);

  EXPECT_EQ(walked(root, true), "/ ZETA LAST MU ALPHA EMPTY");
  EXPECT_EQ(walked(root, false), "/ ZETA MU ALPHA LAST EMPTY");
}

}  // namespace
}  // namespace kestrel
