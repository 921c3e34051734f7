// Hand-built source trees and descriptor checks for the UDF file structure
// tests: nodes in a writer's arena, linked in primary order, and an
// independent check of descriptor tags (ECMA-167 3/7.2).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "disc/field_writer.h"
#include "engine/image_writer.h"
#include "udf/udf_volume.h"

namespace kestrel::test {

class UdfTree {
 public:
  explicit UdfTree(uint16_t revision = udf_revision_102, bool dvd_video_mode = false)
      : writer(1700000000) {
    writer.tree.arena = NodeArena::create(0);
    writer.settings.fs_flags = fs_udf;
    writer.settings.udf_revision = revision;
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

  // UDF names of every child of `directory`, then its UDF order.
  void name_children(SourceNode& directory) {
    for (SourceNode* c = directory.first_child; c != nullptr; c = c->next)
      udf::make_udf_name(writer, *c);
    udf::sort_udf_children(writer, directory, false);
  }

  ImageWriter writer;

 private:
  std::unordered_map<SourceNode*, SourceNode*> last_child_;
};

// The UDF name of a node as UTF-16 (names stored high byte first) or as the
// 8-bit bytes widened (DVD-video mode).
inline std::u16string udf_name_of(const ImageWriter& writer, const SourceNode& node) {
  std::u16string text;
  if (writer.tree.dvd_video_mode) {
    for (size_t i = 0; i < node.udf_name_length; ++i)
      text += static_cast<char16_t>(node.udf_name[i]);
  } else {
    for (size_t i = 0; i + 1 < node.udf_name_length; i += 2)
      text += static_cast<char16_t>(read_be16(node.udf_name + i));
  }
  return text;
}

// The CRC of ECMA-167 3/7.2.6, bit by bit (CRC-ITU-T, initial value 0).
inline uint16_t reference_crc(const uint8_t* bytes, size_t length) {
  uint16_t crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

// Checks a descriptor tag: identifier, CRC length, location, CRC and checksum.
inline void expect_valid_tag(const uint8_t* descriptor, uint16_t identifier, uint16_t crc_length,
                             uint32_t location) {
  SCOPED_TRACE("tag " + std::to_string(identifier) + " at block " + std::to_string(location));
  EXPECT_EQ(read_le16(descriptor), identifier);
  EXPECT_EQ(read_le16(descriptor + 6), 1);  // serial number
  EXPECT_EQ(read_le16(descriptor + 10), crc_length);
  EXPECT_EQ(read_le32(descriptor + 12), location);
  EXPECT_EQ(read_le16(descriptor + 8), reference_crc(descriptor + 16, crc_length));
  unsigned sum = 0;
  for (int i = 0; i < 16; ++i) sum += i == 4 ? 0 : descriptor[i];
  EXPECT_EQ(descriptor[4], sum % 256);
}

}  // namespace kestrel::test
