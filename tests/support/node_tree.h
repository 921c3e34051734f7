// Hand-built source trees for unit tests that need nodes without a scan:
// nodes in a writer's arena, linked in primary order, never touching the
// disk. `writer.lay_out()` lays such a tree out with the real layout.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/image_writer.h"
#include "iso9660/iso_volume.h"
#include "udf/udf_volume.h"

namespace kestrel::test {

class NodeTree {
 public:
  explicit NodeTree(uint32_t fs_flags, uint16_t udf_revision = udf_revision_102,
                    bool dvd_video_mode = false, int64_t build_time = 1700000000)
      : writer(build_time) {
    writer.tree.arena = NodeArena::create(0);
    writer.settings.fs_flags = fs_flags;
    writer.settings.udf_revision = udf_revision;
    writer.tree.dvd_video_mode = dvd_video_mode;
    writer.tree.source_folder = KESTREL_NATIVE("/src/");
    std::memcpy(writer.settings.implementation_id, "*Kestrel", 8);
    writer.tree.root = writer.tree.arena->make<SourceNode>();
    writer.tree.root->is_directory = 1;
    writer.tree.root->parent = writer.tree.root;
    writer.tree.root->name = u"";
    writer.tree.root->icb_block = 2;
  }

  SourceNode* add(SourceNode* parent, std::u16string_view name, bool directory, uint64_t size = 0) {
    SourceNode* node = writer.tree.arena->make<SourceNode>();
    auto* stored = static_cast<char16_t*>(
        writer.tree.arena->copy(name.data(), (name.size() + 1) * sizeof(char16_t), 2));
    stored[name.size()] = 0;
    node->name = stored;
    node->name_length = static_cast<uint16_t>(name.size());
    // Native names are only used for the paths of warnings: ASCII is enough.
    auto* native = static_cast<NativeChar*>(
        writer.tree.arena->allocate((name.size() + 1) * sizeof(NativeChar), 4));
    for (size_t i = 0; i < name.size(); ++i)
      native[i] = static_cast<NativeChar>(name[i] < 0x80 ? name[i] : '_');
    node->native_name = native;
    node->native_name_length = static_cast<uint16_t>(name.size());
    node->is_directory = directory ? 1 : 0;
    node->parent = parent;
    node->size = size;
    node->sectors = static_cast<uint32_t>((size + sector_bytes - 1) / sector_bytes);
    node->created = 1600000000;
    node->modified = 1650000000;
    SourceNode*& last = last_child_[parent];
    (last == nullptr ? parent->first_child : last->next) = node;
    last = node;
    if (directory) ++parent->directory_children;
    return node;
  }
  SourceNode* dir(SourceNode* parent, std::u16string_view name) { return add(parent, name, true); }
  SourceNode* file(SourceNode* parent, std::u16string_view name, uint64_t size = 0) {
    return add(parent, name, false, size);
  }

  // The primary ISO 9660 hierarchy of the whole tree: identifiers and order.
  iso9660::IsoTree iso_tree() {
    iso9660::IsoTree tree;
    EXPECT_TRUE(iso9660::build_primary_tree(writer, writer.report, tree));
    return tree;
  }

  // The directory of `tree` that records `node`.
  static const iso9660::IsoDirectory& iso_directory(const iso9660::IsoTree& tree,
                                                    const SourceNode& node) {
    for (const iso9660::IsoDirectory& directory : tree.directories) {
      if (directory.node == &node) return directory;
    }
    ADD_FAILURE() << "no ISO 9660 directory for the node";
    return tree.directories.front();
  }

  // An identifier as text: its stored bytes, or the source name (ASCII in
  // the tests that look at it).
  static std::string identifier_text(const iso9660::IdentifierText& identifier) {
    std::string out(identifier.stored.begin(), identifier.stored.end());
    for (const char16_t unit : identifier.name) out += static_cast<char>(unit);
    return out;
  }

  // The identifiers of the records of `directory`'s children in ISO 9660
  // order, a file's with its version.
  static std::string iso_order(const iso9660::IsoTree& tree, const SourceNode& directory) {
    std::string out;
    for (const iso9660::IsoEntry& entry : tree.entries_of(iso_directory(tree, directory))) {
      if (!out.empty()) out += ' ';
      out += identifier_text(tree.identifier(entry));
      if (!entry.is_directory) out += ";1";
    }
    return out;
  }
  std::string iso_order(const SourceNode& directory) { return iso_order(iso_tree(), directory); }

  // UDF names of every child of `directory`, then its UDF order.
  void name_udf_children(SourceNode& directory) {
    for (SourceNode* c = directory.first_child; c != nullptr; c = c->next)
      udf::make_udf_name(writer, *c);
    udf::sort_udf_children(writer, directory, false);
  }

  ImageWriter writer;

 private:
  std::unordered_map<SourceNode*, SourceNode*> last_child_;
};

}  // namespace kestrel::test
