// ISO 9660 directory sizing and records, path tables and the limits of both.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "disc/field_writer.h"
#include "iso9660/iso_records.h"
#include "support/node_tree.h"
#include "support/time_zone.h"

namespace kestrel::iso9660 {
namespace {

using Bytes = std::vector<uint8_t>;

// The primary hierarchy's directory of a node, after the layout.
const IsoDirectory& iso_dir(const ImageWriter& writer, const SourceNode& node) {
  return test::NodeTree::iso_directory(writer.iso.primary, node);
}
uint32_t dir_number(const ImageWriter& writer, const SourceNode& node) {
  return static_cast<uint32_t>(&iso_dir(writer, node) - writer.iso.primary.directories.data()) + 1;
}

Bytes directory_bytes(const ImageWriter& writer, const SourceNode& directory) {
  const IsoDirectory& laid_out = iso_dir(writer, directory);
  Bytes out(sectors_for_bytes(laid_out.bytes) * sector_bytes, 0);
  RecordDates dates;
  fill_iso_directory(writer, writer.iso.primary, laid_out, dates, out.data());
  return out;
}

Bytes path_table(const ImageWriter& writer, bool little_endian) {
  Bytes out(static_cast<size_t>(writer.iso.primary.path_table_sectors) * sector_bytes, 0);
  fill_path_table(writer.iso.primary, little_endian, out.data());
  return out;
}

// The records of one directory extent, read back as a reader would: a zero
// length byte ends the records of a sector.
struct ReadRecord {
  size_t offset;
  uint32_t location;
  uint32_t data_length;
  uint8_t flags;
  std::string identifier;
};
std::vector<ReadRecord> read_records(const Bytes& extent, uint32_t data_length) {
  std::vector<ReadRecord> out;
  size_t offset = 0;
  while (offset < data_length) {
    const uint8_t length = extent[offset];
    if (length == 0) {
      offset = (offset / sector_bytes + 1) * sector_bytes;
      continue;
    }
    // A record must end inside the sector it begins in.
    EXPECT_LE(offset % sector_bytes + length, sector_bytes) << "record at " << offset;
    const uint8_t* r = &extent[offset];
    EXPECT_EQ(read_le32(r + 2), read_be32(r + 6));
    EXPECT_EQ(read_le32(r + 10), read_be32(r + 14));
    out.push_back({offset, read_le32(r + 2), read_le32(r + 10), r[25],
                   std::string(reinterpret_cast<const char*>(r + 33), r[32])});
    offset += length;
  }
  return out;
}

class IsoDirectoryTest : public ::testing::Test {
 private:
  test::TimeZoneGuard zone_{"UTC0"};
};

// 'a.txt' (3000 bytes) and 'd' holding 'f.bin' (100 bytes), ISO 9660 only.
TEST_F(IsoDirectoryTest, WorkedLayoutByteForByte) {
  test::NodeTree tree(fs_iso9660);
  SourceNode* root = tree.writer.tree.root;
  SourceNode* a = tree.file(root, u"a.txt", 3000);
  SourceNode* d = tree.dir(root, u"d");
  SourceNode* f = tree.file(d, u"f.bin", 100);
  constexpr int64_t t = 1709644029;  // 2024-03-05 13:07:09 UTC
  root->modified = t;
  a->modified = t + 1;
  d->modified = t + 2;
  f->modified = t + 3;

  ASSERT_NE(tree.writer.lay_out(), 0u);
  EXPECT_EQ(tree.iso_order(*root), "A.TXT;1 D");
  EXPECT_EQ(tree.writer.iso.primary.path_table_bytes, 20u);
  EXPECT_EQ(tree.writer.iso.primary.directory_sectors, 2u);
  EXPECT_EQ(dir_number(tree.writer, *root), 1);
  EXPECT_EQ(dir_number(tree.writer, *d), 2);
  EXPECT_EQ(iso_dir(tree.writer, *root).bytes, 142u);
  EXPECT_EQ(iso_dir(tree.writer, *d).bytes, 108u);
  EXPECT_EQ(tree.writer.layout.data_start, 4u);
  EXPECT_EQ(tree.writer.layout.file_data_sector(*a), 22u);
  EXPECT_EQ(tree.writer.layout.file_data_sector(*f), 24u);
  EXPECT_EQ(tree.writer.layout.image_sectors, 32u);

  // Path tables: the root record holds the root's absolute sector (20), like
  // every other record.
  const Bytes type_l = path_table(tree.writer, true);
  const Bytes expected_l = {1, 0, 20, 0, 0, 0, 1, 0, 0, 0, 1, 0, 21, 0, 0, 0, 1, 0, 'D', 0};
  EXPECT_EQ(Bytes(type_l.begin(), type_l.begin() + 20), expected_l);
  const Bytes type_m = path_table(tree.writer, false);
  const Bytes expected_m = {1, 0, 0, 0, 0, 20, 0, 1, 0, 0, 1, 0, 0, 0, 0, 21, 0, 1, 'D', 0};
  EXPECT_EQ(Bytes(type_m.begin(), type_m.begin() + 20), expected_m);
  EXPECT_EQ(Bytes(type_l.begin() + 20, type_l.end()), Bytes(sector_bytes - 20, 0));

  const Bytes root_extent = directory_bytes(tree.writer, *root);
  // The 'A.TXT;1' record at 68: 7 identifier bytes, odd, so no padding byte.
  const Bytes a_record = {40, 0, 22,   0,    0,   0,   0,   0,   0,   22,  0xB8, 0x0B, 0, 0,
                          0,  0, 0x0B, 0xB8, 124, 3,   5,   13,  7,   10,  0,    0,    0, 0,
                          1,  0, 0,    1,    7,   'A', '.', 'T', 'X', 'T', ';',  '1'};
  EXPECT_EQ(Bytes(root_extent.begin() + 68, root_extent.begin() + 108), a_record);
  // The 'D' record at 108: one identifier byte and no padding: 34 bytes.
  const Bytes d_record = {34,  0,   21, 0, 0,  0, 0,  0, 0, 21, 108, 0, 0, 0, 0, 0, 0,
                          108, 124, 3,  5, 13, 7, 11, 0, 2, 0,  0,   1, 0, 0, 1, 1, 'D'};
  EXPECT_EQ(Bytes(root_extent.begin() + 108, root_extent.begin() + 142), d_record);
  const auto root_records = read_records(root_extent, iso_dir(tree.writer, *root).bytes);
  ASSERT_EQ(root_records.size(), 4u);
  // "." and "..": both the root itself.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(root_records[i].location, 20u);
    EXPECT_EQ(root_records[i].data_length, 142u);
    EXPECT_EQ(root_records[i].flags, flag_directory);
    EXPECT_EQ(root_records[i].identifier, std::string(1, static_cast<char>(i)));
  }
  EXPECT_EQ(Bytes(root_extent.begin() + 142, root_extent.end()), Bytes(sector_bytes - 142, 0));

  const auto d_records =
      read_records(directory_bytes(tree.writer, *d), iso_dir(tree.writer, *d).bytes);
  ASSERT_EQ(d_records.size(), 3u);
  EXPECT_EQ(d_records[0].location, 21u);
  EXPECT_EQ(d_records[1].location, 20u);
  EXPECT_EQ(d_records[1].data_length, 142u);
  EXPECT_EQ(d_records[2].identifier, "F.BIN;1");
  EXPECT_EQ(d_records[2].location, 24u);
  EXPECT_EQ(d_records[2].data_length, 100u);
}

TEST_F(IsoDirectoryTest, IdentifierPaddingAndDvdSystemUse) {
  for (const bool dvd : {false, true}) {
    test::NodeTree tree(fs_iso9660);
    tree.writer.tree.dvd_video_mode = dvd;
    tree.file(tree.writer.tree.root, u"A.B");   // 'A.B;1', 5 bytes: no padding
    tree.file(tree.writer.tree.root, u"AB.C");  // 'AB.C;1', 6 bytes: one padding byte
    tree.dir(tree.writer.tree.root, u"XY");     // 2 bytes in the path table: none there
    tree.dir(tree.writer.tree.root, u"XYZ");    // 3 bytes: one padding byte there
    ASSERT_NE(tree.writer.lay_out(), 0u);
    const uint32_t extra = dvd ? 6 : 0;
    EXPECT_EQ(tree.writer.iso.primary.path_table_bytes, 10u + 10u + 12u);
    EXPECT_EQ(iso_dir(tree.writer, *tree.writer.tree.root).bytes,
              2 * (34 + extra) + (38 + extra) + (40 + extra) + (36 + extra) + (36 + extra));
    const Bytes extent = directory_bytes(tree.writer, *tree.writer.tree.root);
    const auto records = read_records(extent, iso_dir(tree.writer, *tree.writer.tree.root).bytes);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[2].identifier, "A.B;1");
    EXPECT_EQ(records[3].identifier, "AB.C;1");
    EXPECT_EQ(extent[records[3].offset], 40 + extra);
    EXPECT_EQ(extent[records[3].offset + 39], 0);  // the padding byte
  }
}

TEST_F(IsoDirectoryTest, RecordsNeverCrossASectorBoundary) {
  // 'FNNNNNNN.TXT;1' records are 48 bytes: after the two 34-byte records, 41
  // fit in the first sector (ending at 2036) and the 42nd starts at 2048.
  test::NodeTree tree(fs_iso9660);
  for (int i = 0; i < 50; ++i) {
    const std::string digits = std::to_string(i);
    const std::string name = "f" + std::string(7 - digits.size(), '0') + digits + ".txt";
    tree.file(tree.writer.tree.root, std::u16string(name.begin(), name.end()));
  }
  SourceNode* sub = tree.dir(tree.writer.tree.root, u"ZZ");
  ASSERT_NE(tree.writer.lay_out(), 0u);
  EXPECT_EQ(iso_dir(tree.writer, *tree.writer.tree.root).bytes, 2048u + 9 * 48 + 36);
  EXPECT_EQ(tree.writer.iso.primary.directory_sectors, 3u);
  EXPECT_EQ(iso_dir(tree.writer, *sub).sector, 2u);
  const Bytes extent = directory_bytes(tree.writer, *tree.writer.tree.root);
  ASSERT_EQ(extent.size(), 2u * sector_bytes);
  EXPECT_EQ(Bytes(extent.begin() + 2036, extent.begin() + 2048), Bytes(12, 0));
  const auto records = read_records(extent, iso_dir(tree.writer, *tree.writer.tree.root).bytes);
  ASSERT_EQ(records.size(), 53u);
  EXPECT_EQ(records[43].offset, 2048u);
  EXPECT_EQ(records[52].identifier, "ZZ");
  EXPECT_EQ(records[52].location, tree.writer.iso.primary.directory_area_sector + 2u);
}

TEST_F(IsoDirectoryTest, LargeFilesBecomeMultiExtentFiles) {
  constexpr uint64_t max_extent = 0xFFFFF800;
  constexpr uint64_t gib = 1ull << 30;
  struct Case {
    uint64_t size;
    std::vector<uint32_t> lengths;
  };
  const Case cases[] = {
      {max_extent, {0xFFFFF800u}},
      {4 * gib, {0xFFFFF800u, 2048u}},
      {5 * gib, {0xFFFFF800u, static_cast<uint32_t>(5 * gib - max_extent)}},
      {2 * max_extent, {0xFFFFF800u, 0xFFFFF800u}},
      {2 * max_extent + 1, {0xFFFFF800u, 0xFFFFF800u, 1u}},
  };
  for (const Case& c : cases) {
    test::NodeTree tree(fs_iso9660);
    tree.file(tree.writer.tree.root, u"a.txt", 10);
    SourceNode* big = tree.file(tree.writer.tree.root, u"big.bin", c.size);
    tree.file(tree.writer.tree.root, u"z.txt", 0);
    ASSERT_NE(tree.writer.lay_out(), 0u);
    // 'BIG.BIN;1' records are 42 bytes, one per extent.
    EXPECT_EQ(iso_dir(tree.writer, *tree.writer.tree.root).bytes,
              68u + 40 + 42 * c.lengths.size() + 40);
    const auto records = read_records(directory_bytes(tree.writer, *tree.writer.tree.root),
                                      iso_dir(tree.writer, *tree.writer.tree.root).bytes);
    ASSERT_EQ(records.size(), 4u + c.lengths.size());
    uint64_t expected_sector = tree.writer.layout.file_data_sector(*big);
    for (size_t i = 0; i < c.lengths.size(); ++i) {
      const ReadRecord& r = records[3 + i];
      EXPECT_EQ(r.identifier, "BIG.BIN;1");
      EXPECT_EQ(r.location, expected_sector) << c.size << " extent " << i;
      EXPECT_EQ(r.data_length, c.lengths[i]) << c.size << " extent " << i;
      EXPECT_EQ(r.flags, i + 1 < c.lengths.size() ? flag_multi_extent : 0)
          << c.size << " extent " << i;
      expected_sector += c.lengths[i] / sector_bytes;  // every extent but the last is whole sectors
    }
    // The 0-byte file after it points at the next free data sector.
    const ReadRecord& empty = records.back();
    EXPECT_EQ(empty.identifier, "Z.TXT;1");
    EXPECT_EQ(empty.data_length, 0u);
    EXPECT_EQ(empty.location, tree.writer.layout.file_data_sector(*big) + big->sectors);
  }
}

TEST_F(IsoDirectoryTest, DirectoryNumbersStopAt65535) {
  for (const int subdirectories : {65534, 65535}) {
    test::NodeTree tree(fs_iso9660);
    for (int i = 0; i < subdirectories; ++i) {
      const std::string name = "d" + std::to_string(i);
      tree.dir(tree.writer.tree.root, std::u16string(name.begin(), name.end()));
    }
    const bool laid_out = tree.writer.lay_out() != 0;
    const auto highest = static_cast<uint32_t>(tree.writer.iso.primary.directories.size());
    if (subdirectories == 65534) {
      // The root and 65,534 directories: exactly the 65,535 numbers there are.
      EXPECT_TRUE(laid_out);
      EXPECT_EQ(highest, 65535u);
      EXPECT_FALSE(tree.writer.report.failed());
    } else {
      EXPECT_FALSE(laid_out);
      EXPECT_EQ(tree.writer.report.error.error, BuildError::too_many_directories);
    }
  }
}

}  // namespace
}  // namespace kestrel::iso9660
