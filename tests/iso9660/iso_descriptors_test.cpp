// The primary volume descriptor: volume identifier from the label, the text
// fields and the layout values it records.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "disc/field_writer.h"
#include "iso9660/iso_records.h"
#include "support/node_tree.h"
#include "support/time_zone.h"

namespace kestrel::iso9660 {
namespace {

std::string field(const std::vector<uint8_t>& sector, size_t offset, size_t width) {
  return std::string(reinterpret_cast<const char*>(&sector[offset]), width);
}

std::vector<uint8_t> descriptor(const ImageWriter& writer) {
  std::vector<uint8_t> sector(sector_bytes, 0);
  fill_primary_descriptor(writer, writer.iso.primary, sector.data());
  return sector;
}

TEST(IsoDescriptors, VolumeIdentifierFromTheLabel) {
  test::NodeTree tree(fs_iso9660);
  set_volume_label(tree.writer.settings, u"My Disc");
  EXPECT_EQ(field(descriptor(tree.writer), 40, 32), "MY DISC" + std::string(25, ' '));

  // At most 31 characters of an 8-bit label; only a-z are raised.
  set_volume_label(tree.writer.settings, u"abcdefghijklmnopqrstuvwxyz-0123456789\u00e9");
  EXPECT_EQ(field(descriptor(tree.writer), 40, 32), "ABCDEFGHIJKLMNOPQRSTUVWXYZ-0123 ");
  set_volume_label(tree.writer.settings, u"caf\u00e9");
  EXPECT_EQ(field(descriptor(tree.writer), 40, 32), "CAF\xe9" + std::string(28, ' '));

  // A label with a character beyond Latin-1 has no 8-bit form.
  set_volume_label(tree.writer.settings, u"Disc \u4e00");
  EXPECT_EQ(field(descriptor(tree.writer), 40, 32), "NONE" + std::string(28, ' '));
}

TEST(IsoDescriptors, PrimaryDescriptorFields) {
  test::TimeZoneGuard zone("XXX-1");

  constexpr int64_t build_time = 1709644029;  // 2024-03-05 14:07:09 at UTC+1
  test::NodeTree tree(fs_iso9660, udf_revision_102, false, build_time);
  tree.file(tree.writer.tree.root, u"a.txt", 3000);
  tree.file(tree.dir(tree.writer.tree.root, u"d"), u"f.bin", 100);
  ASSERT_NE(tree.writer.lay_out(), 0u);
  const char app[] = "*Kestrel 1.5";
  std::copy(app, app + sizeof app - 1, tree.writer.settings.application_id);
  set_volume_label(tree.writer.settings, u"My Disc");

  const std::vector<uint8_t> s = descriptor(tree.writer);
  EXPECT_EQ(s[0], 1);
  EXPECT_EQ(field(s, 1, 5), "CD001");
  EXPECT_EQ(s[6], 1);
  EXPECT_EQ(field(s, 8, 32), std::string(32, ' '));
  EXPECT_EQ(read_le32(&s[80]), 32u);
  EXPECT_EQ(read_be32(&s[84]), 32u);
  EXPECT_EQ(read_le16(&s[120]), 1);
  EXPECT_EQ(read_be16(&s[126]), 1);
  EXPECT_EQ(read_le16(&s[128]), 2048);
  EXPECT_EQ(read_be16(&s[130]), 2048);
  EXPECT_EQ(read_le32(&s[132]), 20u);
  EXPECT_EQ(read_be32(&s[136]), 20u);
  EXPECT_EQ(read_le32(&s[140]), 18u);
  EXPECT_EQ(read_le32(&s[144]), 0u);
  EXPECT_EQ(read_be32(&s[148]), 19u);
  EXPECT_EQ(read_be32(&s[152]), 0u);
  // Root record: 34 bytes at 20, 142 bytes long, dated at the build time.
  const std::vector<uint8_t> root = {34,  0,   20, 0, 0,  0, 0, 0, 0, 20, 142, 0, 0, 0, 0, 0, 0,
                                     142, 124, 3,  5, 14, 7, 9, 4, 2, 0,  0,   1, 0, 0, 1, 1, 0};
  EXPECT_EQ(std::vector<uint8_t>(s.begin() + 156, s.begin() + 190), root);

  char set_id[17];
  std::snprintf(set_id, sizeof set_id, "%08X%08X", static_cast<unsigned>(build_time), 32u);
  EXPECT_EQ(field(s, 190, 128), std::string(set_id) + std::string(112, ' '));
  EXPECT_EQ(field(s, 318, 256), std::string(256, ' '));
  EXPECT_EQ(field(s, 574, 128), "KESTREL 1.5" + std::string(117, ' '));
  EXPECT_EQ(field(s, 702, 111), std::string(111, ' '));
  EXPECT_EQ(field(s, 813, 16), "2024030514070900");
  EXPECT_EQ(s[829], 4);
  EXPECT_EQ(field(s, 830, 17), field(s, 813, 17));
  EXPECT_EQ(field(s, 847, 17), std::string(16, '0') + std::string(1, '\0'));
  EXPECT_EQ(field(s, 864, 17), std::string(16, '0') + std::string(1, '\0'));
  EXPECT_EQ(s[881], 1);
  EXPECT_EQ(std::vector<uint8_t>(s.begin() + 882, s.end()),
            std::vector<uint8_t>(sector_bytes - 882, 0));

  // Without an application name the field is all spaces.
  std::fill(std::begin(tree.writer.settings.application_id),
            std::end(tree.writer.settings.application_id), 0);
  EXPECT_EQ(field(descriptor(tree.writer), 574, 128), std::string(128, ' '));
}

}  // namespace
}  // namespace kestrel::iso9660
