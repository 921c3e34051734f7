// Hand-built source trees for the ISO 9660 unit tests: nodes in a writer's
// arena, linked in primary order, without touching the disk.
#pragma once

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/image_writer.h"
#include "iso9660/iso_volume.h"

namespace kestrel::test {

class IsoTree {
 public:
  explicit IsoTree(int64_t build_time = 1700000000) : writer(build_time) {
    writer.tree.arena = NodeArena::create(0);
    writer.settings.fs_flags = fs_iso9660;
    writer.tree.root = writer.tree.arena->make<SourceNode>();
    writer.tree.root->is_directory = 1;
    writer.tree.root->parent = writer.tree.root;
    writer.tree.root->name = u"";
  }

  SourceNode* add(SourceNode* parent, std::u16string_view name, bool directory, uint64_t size = 0) {
    SourceNode* node = writer.tree.arena->make<SourceNode>();
    auto* stored = static_cast<char16_t*>(
        writer.tree.arena->copy(name.data(), (name.size() + 1) * sizeof(char16_t), 2));
    stored[name.size()] = 0;
    node->name = stored;
    node->name_length = static_cast<uint16_t>(name.size());
    node->is_directory = directory ? 1 : 0;
    node->parent = parent;
    node->size = size;
    node->sectors = static_cast<uint32_t>((size + sector_bytes - 1) / sector_bytes);
    SourceNode*& last = last_child_[parent];
    (last == nullptr ? parent->first_child : last->next) = node;
    last = node;
    return node;
  }
  SourceNode* dir(SourceNode* parent, std::u16string_view name) { return add(parent, name, true); }
  SourceNode* file(SourceNode* parent, std::u16string_view name, uint64_t size = 0) {
    return add(parent, name, false, size);
  }

  // Names and ISO 9660 order for the whole tree, then the directory sizes
  // breadth first, as the layout does; returns false when sizing failed.
  bool size_all(iso9660::IsoLayoutCounters& counters) {
    name_all(*writer.tree.root);
    std::vector<SourceNode*> queue{writer.tree.root};
    for (size_t i = 0; i < queue.size(); ++i) {
      if (!iso9660::size_iso_directory(writer, *queue[i], counters)) return false;
      for (SourceNode* c = queue[i]->iso_first_child; c != nullptr; c = c->iso_next) {
        if (c->is_directory) queue.push_back(c);
      }
    }
    return true;
  }

  // The ISO-only layout values of a sized tree, with consecutive file data in
  // depth-first primary order.
  void place_iso_only(const iso9660::IsoLayoutCounters& counters) {
    writer.layout.iso_area_start = iso_only_area_start;
    writer.layout.path_table_bytes = static_cast<uint32_t>(counters.path_table_bytes);
    writer.layout.path_table_sectors =
        static_cast<uint32_t>((counters.path_table_bytes + sector_bytes - 1) / sector_bytes);
    writer.layout.iso_dir_sectors = static_cast<uint32_t>(counters.directory_sectors);
    writer.layout.data_base = iso_only_area_start;
    writer.layout.data_start = writer.layout.iso_dir_sectors + 2 * writer.layout.path_table_sectors;
    uint32_t next = 0;
    place_files(*writer.tree.root, next);
    writer.layout.data_sectors = next;
    writer.layout.image_sectors =
        (iso_only_area_start + writer.layout.data_start + next + 31) & ~31u;
  }

  // Gives every node below `directory` its identifier and every folder its order.
  void name_all(SourceNode& directory) {
    for (SourceNode* c = directory.first_child; c != nullptr; c = c->next)
      iso9660::make_iso_name(writer, *c);
    iso9660::sort_iso_children(writer, directory);
    for (SourceNode* c = directory.first_child; c != nullptr; c = c->next) {
      if (c->is_directory) name_all(*c);
    }
  }

  std::string iso_order(const SourceNode& directory) const {
    std::string out;
    for (const SourceNode* c = directory.iso_first_child; c != nullptr; c = c->iso_next) {
      if (!out.empty()) out += ' ';
      out.append(c->iso_name, c->iso_name_length);
    }
    return out;
  }

  ImageWriter writer;

 private:
  std::unordered_map<SourceNode*, SourceNode*> last_child_;

  void place_files(SourceNode& directory, uint32_t& next) {
    for (SourceNode* c = directory.first_child; c != nullptr; c = c->next) {
      if (!c->is_directory) {
        c->data_offset = next;
        next += c->sectors;
      }
    }
    for (SourceNode* c = directory.first_child; c != nullptr; c = c->next) {
      if (c->is_directory) place_files(*c, next);
    }
  }
};

}  // namespace kestrel::test
