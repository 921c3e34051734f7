// Sizing of UDF directories and entries during the layout, and the fields of
// file entries (UDF 1.02) and extended file entries (UDF 2.50).
#include <gtest/gtest.h>

#include <vector>

#include "support/node_tree.h"
#include "tests/udf/udf_tag_checks.h"
#include "udf/udf_files.h"
#include "udf/udf_tags.h"

namespace kestrel::udf {
namespace {

using test::expect_valid_tag;
using test::NodeTree;

constexpr uint64_t piece = 0x3FFFF000;

void size_tree(NodeTree& tree, UdfLayoutCounters& counters) {
  std::vector<SourceNode*> queue{tree.writer.tree.root};
  for (size_t i = 0; i < queue.size(); ++i) {
    tree.name_udf_children(*queue[i]);
    udf::size_udf_directory(tree.writer, *queue[i], counters);
    for (SourceNode* c = queue[i]->first_child; c != nullptr; c = c->next) {
      if (c->is_directory) queue.push_back(c);
    }
  }
}

TEST(UdfSizing, IdentifierBytesAndEntryBlocks) {
  NodeTree tree(fs_udf);
  SourceNode* root = tree.writer.tree.root;
  SourceNode* b = tree.dir(root, u"b");
  SourceNode* a = tree.file(root, u"a", 10);
  SourceNode* empty = tree.dir(b, u"e");
  udf::UdfLayoutCounters counters;
  size_tree(tree, counters);
  // 40 for the parent entry, (2 + 42) & ~3 = 44 for each child.
  EXPECT_EQ(root->fid_bytes, 128u);
  EXPECT_EQ(root->fid_block, 3u);
  EXPECT_EQ(a->icb_block, 4u);  // 'a' sorts first, after the root's identifier block
  EXPECT_EQ(b->icb_block, 5u);
  EXPECT_EQ(b->fid_block, 6u);
  EXPECT_EQ(b->fid_bytes, 84u);
  EXPECT_EQ(empty->icb_block, 7u);
  EXPECT_EQ(empty->fid_block, 8u);
  EXPECT_EQ(empty->fid_bytes, 40u);
  EXPECT_EQ(counters.next_block, 9u);
  EXPECT_EQ(counters.identifier_blocks, 3u);

  // DVD-video mode: 8-bit names, (1 + 42) & ~3 = 40 bytes each.
  NodeTree dvd(fs_udf, udf_revision_102, true);
  dvd.dir(dvd.writer.tree.root, u"b");
  dvd.file(dvd.writer.tree.root, u"a");
  udf::UdfLayoutCounters dvd_counters;
  size_tree(dvd, dvd_counters);
  EXPECT_EQ(dvd.writer.tree.root->fid_bytes, 120u);
}

TEST(UdfSizing, LongIdentifierStreamsAndInterleavedEntries) {
  NodeTree tree(fs_udf, udf_revision_250);
  SourceNode* root = tree.writer.tree.root;
  // 30 names of 100 units: 40 + 30 * 240 = 7240 bytes, 4 blocks.
  for (int i = 0; i < 30; ++i)
    tree.file(root, std::u16string(99, u'n') + static_cast<char16_t>(u'A' + i));
  // An interleaved clip of 300 one-sector extents: its entry continues in
  // two allocation extent blocks.
  bluray::StereoPair pair;
  pair.dependent_extents.assign(300, 1);
  SourceNode* clip = tree.file(root, u"00001.m2ts", 300 * 2048);
  clip->kind = NodeKind::dependent_view_clip;
  clip->stereo_pair = &pair;
  clip->dependent_node = clip->base_node = clip;
  SourceNode* after = tree.file(root, u"00002.m2ts");
  udf::UdfLayoutCounters counters;
  size_tree(tree, counters);
  EXPECT_EQ(root->fid_bytes, 40u + 30 * 240 + 2 * 60);
  EXPECT_EQ(counters.identifier_blocks, 4u);
  EXPECT_EQ(clip->icb_block, 3u + 4);
  EXPECT_EQ(clip->icb_sectors, 3u);
  EXPECT_EQ(after->icb_block, 3u + 4 + 3);
  EXPECT_EQ(counters.next_block, 3u + 4 + 3 + 1 + 30);
}

TEST(UdfSizing, FilesBeyondOneEntryFailTheLayout) {
  for (const uint16_t revision : {udf_revision_102, udf_revision_250}) {
    const uint64_t limit = revision == udf_revision_102 ? 217 : 114;
    NodeTree fits(fs_udf, revision);
    fits.file(fits.writer.tree.root, u"big", limit * piece);
    udf::UdfLayoutCounters counters;
    size_tree(fits, counters);
    EXPECT_FALSE(fits.writer.report.failed()) << revision;

    NodeTree too_big(fs_udf, revision);
    SourceNode* folder = too_big.dir(too_big.writer.tree.root, u"d");
    too_big.file(folder, u"big", limit * piece + 1);
    udf::UdfLayoutCounters failing;
    size_tree(too_big, failing);
    EXPECT_EQ(too_big.writer.report.error.error, BuildError::file_too_large) << revision;
    const NativeString expected =
        NativeString(KESTREL_NATIVE("/src/d")) + native_separator + KESTREL_NATIVE("big");
    EXPECT_EQ(too_big.writer.report.error.path, expected);
  }
}

// The allocation descriptors of a file entry, as (length, block, partition).
struct Extent {
  uint32_t length;
  uint32_t block;
  uint16_t partition;
  bool operator==(const Extent&) const = default;
};

std::vector<Extent> extents_of(const uint8_t* entry, bool extended) {
  const uint32_t ad_length = read_le32(entry + (extended ? 212 : 172));
  const uint8_t* ads = entry + (extended ? 216 : 308);
  const bool long_form = (read_le16(entry + 34) & 7) == 1;
  std::vector<Extent> extents;
  for (uint32_t at = 0; at < ad_length; at += long_form ? 16 : 8) {
    extents.push_back({read_le32(ads + at), read_le32(ads + at + 4),
                       long_form ? read_le16(ads + at + 8) : uint16_t{0xFFFF}});
  }
  return extents;
}

TEST(UdfFileEntry, FileEntryOfRevision102) {
  NodeTree tree(fs_udf);
  tree.writer.layout.data_start = 40;
  SourceNode* file = tree.file(tree.writer.tree.root, u"f", 5000);
  file->data_offset = 7;
  file->unique_id = 21;
  uint8_t sector[2048] = {};
  udf::fill_file_entry(tree.writer, 12, *file, sector);

  expect_valid_tag(sector, udf::tag_file_entry, 160 + 132 + 8, 12);
  EXPECT_EQ(read_le16(sector + 2), 2);      // descriptor version 2 for UDF 1.02
  EXPECT_EQ(read_le16(sector + 20), 4);     // strategy 4
  EXPECT_EQ(read_le16(sector + 24), 1);     // one entry
  EXPECT_EQ(sector[27], 5);                 // a file
  EXPECT_EQ(read_le16(sector + 34), 0x20);  // archive, short descriptors
  EXPECT_EQ(read_le32(sector + 36), 0xFFFFFFFFu);
  EXPECT_EQ(read_le32(sector + 40), 0xFFFFFFFFu);
  EXPECT_EQ(read_le32(sector + 44), 0x14A5u);
  EXPECT_EQ(read_le16(sector + 48), 1);
  EXPECT_EQ(read_le64(sector + 56), 5000u);
  EXPECT_EQ(read_le64(sector + 64), 3u);
  uint8_t created[12], modified[12];
  udf::make_udf_timestamp(file->created, created);
  udf::make_udf_timestamp(file->modified, modified);
  EXPECT_EQ(0, std::memcmp(sector + 72, created, 12));  // access: the creation time
  EXPECT_EQ(0, std::memcmp(sector + 84, modified, 12));
  EXPECT_EQ(0, std::memcmp(sector + 96, created, 12));
  EXPECT_EQ(read_le32(sector + 108), 1u);
  EXPECT_EQ(0, std::memcmp(sector + 129, "*Kestrel", 8));
  EXPECT_EQ(read_le64(sector + 160), 21u);
  EXPECT_EQ(read_le32(sector + 168), 132u);
  EXPECT_EQ(read_le32(sector + 172), 8u);
  EXPECT_EQ(extents_of(sector, false), (std::vector<Extent>{{5000, 47, 0xFFFF}}));

  // The extended attribute header and the two implementation use attributes.
  expect_valid_tag(sector + 176, udf::tag_extended_attribute_header_descriptor, 8, 12);
  EXPECT_EQ(read_le32(sector + 192), 24u);
  EXPECT_EQ(read_le32(sector + 196), 132u);
  const struct {
    size_t at;
    uint32_t length, use_length;
    const char* identifier;
  } attributes[] = {{200, 52, 4, "*UDF FreeEASpace"}, {252, 56, 8, "*UDF DVD CGMS Info"}};
  for (const auto& attribute : attributes) {
    const uint8_t* a = sector + attribute.at;
    EXPECT_EQ(read_le32(a), 2048u);
    EXPECT_EQ(a[4], 1);
    EXPECT_EQ(read_le32(a + 8), attribute.length);
    EXPECT_EQ(read_le32(a + 12), attribute.use_length);
    EXPECT_EQ(0, std::memcmp(a + 17, attribute.identifier, std::strlen(attribute.identifier)));
    EXPECT_EQ(read_le16(a + 16 + 24), 0x0102);  // identifier suffix: the UDF revision
    unsigned sum = 0;
    for (int i = 0; i < 48; ++i) sum += a[i];
    EXPECT_EQ(read_le16(a + 48), sum & 0xFFFF);
  }
  // Nothing after the descriptor.
  for (size_t i = 316; i < sizeof sector; ++i) ASSERT_EQ(sector[i], 0) << i;
}

TEST(UdfFileEntry, DirectoriesInBothRevisions) {
  for (const uint16_t revision : {udf_revision_102, udf_revision_250}) {
    SCOPED_TRACE(revision);
    NodeTree tree(fs_udf, revision);
    SourceNode* folder = tree.dir(tree.writer.tree.root, u"d");
    tree.dir(folder, u"x");
    tree.dir(folder, u"y");
    tree.file(folder, u"z");
    folder->fid_block = 9;
    folder->fid_bytes = 2100;
    folder->unique_id = 17;
    uint8_t sector[2048] = {};
    const bool extended = revision == udf_revision_250;
    if (extended) {
      udf::fill_extended_file_entry(tree.writer, 5, *folder, sector);
      expect_valid_tag(sector, udf::tag_extended_file_entry, 200 + 8, 5);
      EXPECT_EQ(read_le16(sector + 2), 3);
      EXPECT_EQ(read_le64(sector + 64), 2100u);  // object size
      EXPECT_EQ(read_le64(sector + 72), 2u);
      EXPECT_EQ(read_le64(sector + 200), 17u);
      EXPECT_EQ(read_le32(sector + 208), 0u);
      uint8_t created[12];
      udf::make_udf_timestamp(folder->created, created);
      EXPECT_EQ(0, std::memcmp(sector + 104, created, 12));
    } else {
      udf::fill_file_entry(tree.writer, 5, *folder, sector);
      expect_valid_tag(sector, udf::tag_file_entry, 160 + 132 + 8, 5);
      EXPECT_EQ(read_le64(sector + 64), 2u);
      EXPECT_EQ(read_le64(sector + 160), 17u);
    }
    EXPECT_EQ(sector[27], 4);
    EXPECT_EQ(read_le16(sector + 34), 0x20);  // short descriptors in both revisions
    EXPECT_EQ(read_le16(sector + 48), 3);     // itself and two sub-directories
    EXPECT_EQ(read_le64(sector + 56), 2100u);
    EXPECT_EQ(extents_of(sector, extended), (std::vector<Extent>{{2100, 9, 0xFFFF}}));

    // More sub-directories than the 16-bit link count holds: the largest
    // count, not the low 16 bits of the real one.
    folder->directory_children = 70000;
    std::memset(sector, 0, sizeof sector);
    if (extended) {
      udf::fill_extended_file_entry(tree.writer, 5, *folder, sector);
    } else {
      udf::fill_file_entry(tree.writer, 5, *folder, sector);
    }
    EXPECT_EQ(read_le16(sector + 48), 0xFFFF);
  }
}

TEST(UdfFileEntry, PiecesOfAtMostOneGibibyteLessFourKibibytes) {
  for (const uint16_t revision : {udf_revision_102, udf_revision_250}) {
    SCOPED_TRACE(revision);
    const bool extended = revision == udf_revision_250;
    const uint16_t partition = extended ? 0 : 0xFFFF;  // file data: physical partition 0
    NodeTree tree(fs_udf, revision);
    tree.writer.layout.data_start = extended ? 64 : 10;
    SourceNode* file = tree.file(tree.writer.tree.root, u"f", piece);
    file->data_offset = 3;
    const uint32_t first = tree.writer.layout.data_start + 3;
    uint8_t sector[2048] = {};
    auto entry = [&] {
      std::memset(sector, 0, sizeof sector);
      if (extended) {
        udf::fill_extended_file_entry(tree.writer, 4, *file, sector);
      } else {
        udf::fill_file_entry(tree.writer, 4, *file, sector);
      }
      return extents_of(sector, extended);
    };
    EXPECT_EQ(entry(), (std::vector<Extent>{{0x3FFFF000, first, partition}}));
    EXPECT_EQ(read_le16(sector + 34), extended ? 0x21 : 0x20);
    file->size = piece + 1;
    EXPECT_EQ(entry(), (std::vector<Extent>{{0x3FFFF000, first, partition},
                                            {1, first + 524286, partition}}));
    EXPECT_EQ(read_le64(sector + (extended ? 72 : 64)), 524287u);
    // An empty file: one all-zero descriptor.
    file->size = 0;
    EXPECT_EQ(entry(), (std::vector<Extent>{{0, 0, extended ? uint16_t{0} : uint16_t{0xFFFF}}}));
    EXPECT_EQ(read_le32(sector + (extended ? 212 : 172)), extended ? 16u : 8u);
    // The largest file one entry holds.
    file->size = (extended ? 114 : 217) * piece;
    const std::vector<Extent> pieces = entry();
    ASSERT_EQ(pieces.size(), extended ? 114u : 217u);
    EXPECT_EQ(pieces.back().block, first + (pieces.size() - 1) * 524286);
    expect_valid_tag(sector, extended ? udf::tag_extended_file_entry : udf::tag_file_entry,
                     static_cast<uint16_t>(extended ? 200 + 114 * 16 : 160 + 132 + 217 * 8), 4);
  }
}

TEST(UdfFileEntry, StreamClipsAreRealTimeFiles) {
  NodeTree tree(fs_udf, udf_revision_250);
  SourceNode* clip = tree.file(tree.writer.tree.root, u"00001.m2ts", 100);
  uint8_t sector[2048] = {};
  udf::fill_extended_file_entry(tree.writer, 3, *clip, sector);
  EXPECT_EQ(sector[27], 5);
  for (const NodeKind kind : {NodeKind::unpaired_clip, NodeKind::base_view_clip,
                              NodeKind::dependent_view_clip, NodeKind::stereo_virtual_file}) {
    clip->kind = kind;
    std::memset(sector, 0, sizeof sector);
    udf::fill_extended_file_entry(tree.writer, 3, *clip, sector);
    EXPECT_EQ(sector[27], 249);
  }
}

}  // namespace
}  // namespace kestrel::udf
