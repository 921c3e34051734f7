// The Joliet hierarchy: names as Joliet can hold them, unique without
// regard to case and the same whatever order a folder is listed in; the
// supplementary volume descriptor; every file of a deep tree in the
// hierarchy, sharing its extents with the primary volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "disc/field_writer.h"
#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"
#include "iso9660/joliet_names.h"
#include "iso9660/unit_order.h"
#include "support/node_tree.h"

namespace kestrel::iso9660 {
namespace {

std::u16string joliet(std::u16string_view name, bool* altered = nullptr) {
  bool changed = false;
  std::u16string out = joliet_name(name, changed);
  if (altered != nullptr) *altered = changed;
  return out;
}

TEST(JolietNames, ForbiddenCharactersAndUnpairedSurrogatesBecomeUnderscores) {
  bool altered = true;
  EXPECT_EQ(joliet(u"Letter to a friend.txt", &altered), u"Letter to a friend.txt");
  EXPECT_FALSE(altered);
  EXPECT_EQ(joliet(u"a*b:c?d;e\\f.txt", &altered), u"a_b_c_d_e_f.txt");
  EXPECT_TRUE(altered);
  EXPECT_EQ(joliet(u"new\nline\x01.txt"), u"new_line_.txt");
  // A pair stays whole; a lone half of one cannot be read back.
  EXPECT_EQ(joliet(u"smile \U0001F600.txt", &altered), u"smile \U0001F600.txt");
  EXPECT_FALSE(altered);
  EXPECT_EQ(joliet(std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00)), u"a_b_");
  // Readers drop a name's last dots: "name." would meet "name", "..." be ".".
  EXPECT_EQ(joliet(u"name.", &altered), u"name_");
  EXPECT_TRUE(altered);
  EXPECT_EQ(joliet(u"..."), u"___");
  EXPECT_EQ(joliet(u".profile"), u".profile");
}

TEST(JolietNames, LongNamesAreShortenedKeepingTheirExtension) {
  bool altered = false;
  const std::u16string long_name = std::u16string(100, u'x') + u".txt";
  EXPECT_EQ(joliet(long_name, &altered), std::u16string(60, u'x') + u".txt");
  EXPECT_TRUE(altered);
  EXPECT_EQ(joliet(std::u16string(64, u'y'), &altered), std::u16string(64, u'y'));
  EXPECT_FALSE(altered);
  // An extension longer than 16 units is cut with the rest of the name.
  const std::u16string long_extension = u"a." + std::u16string(70, u'e');
  EXPECT_EQ(joliet(long_extension), long_extension.substr(0, 64));
  // A pair that the cut would halve goes whole.
  const std::u16string pair_at_cut = std::u16string(63, u'z') + u"\U0001F600" + u"tail";
  EXPECT_EQ(joliet(pair_at_cut), std::u16string(63, u'z'));
}

std::vector<std::u16string> joliet_names_of(test::NodeTree& tree) {
  std::vector<JolietChild> children;
  name_joliet_children(*tree.writer.tree.root, children);
  std::vector<std::u16string> names;
  for (const JolietChild& child : children) names.emplace_back(child.text());
  return names;
}

TEST(JolietNames, NamesThatMeetWithoutRegardToCaseGetNumbers) {
  const std::u16string long_a = std::u16string(70, u'n') + u"-a.dat";
  const std::u16string long_b = std::u16string(70, u'n') + u"-b.dat";
  for (const bool reversed : {false, true}) {
    test::NodeTree tree(fs_iso9660);
    std::vector<std::u16string> names = {u"readme",        u"README",        u"ReadMe",
                                         u"caf\u00e9.txt", u"CAF\u00c9.TXT", long_a,
                                         long_b,           u"a:b",           u"a_b"};
    if (reversed) std::reverse(names.begin(), names.end());
    for (const std::u16string& name : names) tree.file(tree.writer.tree.root, name);
    // The first by source name that Joliet holds as it is keeps its name.
    const std::vector<std::u16string> expected = {u"CAF\u00c9.TXT",
                                                  u"README",
                                                  u"ReadMe~1",
                                                  u"a_b",
                                                  u"a_b~1",
                                                  u"caf\u00e9~1.txt",
                                                  std::u16string(60, u'n') + u".dat",
                                                  std::u16string(58, u'n') + u"~1.dat",
                                                  u"readme~2"};
    EXPECT_EQ(joliet_names_of(tree), expected) << reversed;
  }
}

TEST(JolietNames, FoldingCoversTheCommonScripts) {
  EXPECT_EQ(fold_case(u'a'), u'A');
  EXPECT_EQ(fold_case(u'\u00e9'), u'\u00c9');
  EXPECT_EQ(fold_case(u'\u00f7'), u'\u00f7');
  EXPECT_EQ(fold_case(u'\u00ff'), u'\u0178');
  EXPECT_EQ(fold_case(u'\u03c9'), u'\u03a9');
  EXPECT_EQ(fold_case(u'\u03c2'), u'\u03a3');
  EXPECT_EQ(fold_case(u'\u044f'), u'\u042f');
  EXPECT_EQ(fold_case(u'\u0451'), u'\u0401');
  EXPECT_EQ(fold_case(u'\u65e5'), u'\u65e5');
}

TEST(JolietNames, RecordsSortByTheirUnits) {
  // Past a shared start of more than four units, the first unit that differs
  // decides; a start of another name comes first; units compare as numbers,
  // so a surrogate (0xD83D) sorts before a private-use character (0xE000).
  EXPECT_TRUE(units_less(u"entry_0000009.bin", u"entry_0000010.bin"));
  EXPECT_FALSE(units_less(u"entry_0000010.bin", u"entry_0000009.bin"));
  EXPECT_TRUE(units_less(u"entry_00", u"entry_000"));
  EXPECT_FALSE(units_less(u"entry_000", u"entry_000"));
  EXPECT_TRUE(units_less(u"abcd😀", u"abcd"));
  EXPECT_TRUE(units_less(u"abcdefghĀ", u"abcdefghȀ"));
}

TEST(Joliet, DescriptorRecordsTheLabelAndTheHierarchy) {
  test::NodeTree tree(fs_iso9660);
  tree.writer.settings.name_extensions = NameExtensions{true, false};
  std::memcpy(tree.writer.settings.application_id, "*Kestrel 1.5", 12);
  // 15 characters and a pair: the pair would be cut, so it goes.
  set_volume_label(tree.writer.settings, u"\u65e5\u672c\u8a9e Holiday 202\U0001F600");
  tree.file(tree.writer.tree.root, u"a.txt", 10);
  ASSERT_NE(tree.writer.lay_out(), 0u);
  std::vector<uint8_t> s(sector_bytes, 0);
  fill_joliet_descriptor(tree.writer, tree.writer.iso.joliet, s.data());
  EXPECT_EQ(s[0], 2);
  EXPECT_EQ(std::string(s.begin() + 1, s.begin() + 6), "CD001");
  EXPECT_EQ(s[88], 0x25);
  EXPECT_EQ(s[89], 0x2F);
  EXPECT_EQ(s[90], 0x45);
  std::u16string volume;
  for (size_t i = 0; i < 16; ++i) volume += static_cast<char16_t>(read_be16(&s[40 + 2 * i]));
  EXPECT_EQ(volume, std::u16string(u"\u65e5\u672c\u8a9e Holiday 202 "));
  std::u16string application;
  for (size_t i = 0; i < 11; ++i) application += static_cast<char16_t>(read_be16(&s[574 + 2 * i]));
  EXPECT_EQ(application, u"Kestrel 1.5");
  EXPECT_EQ(read_be16(&s[574 + 22]), u' ');
  EXPECT_EQ(read_le32(&s[140]), tree.writer.iso.joliet.path_table_l_sector);
  EXPECT_EQ(read_be32(&s[148]), tree.writer.iso.joliet.path_table_m_sector);
  EXPECT_EQ(read_le32(&s[156 + 2]), tree.writer.iso.joliet.directory_area_sector);
  // The primary descriptor still has the label's 8-bit form: none here.
  std::vector<uint8_t> p(sector_bytes, 0);
  fill_primary_descriptor(tree.writer, tree.writer.iso.primary, p.data());
  EXPECT_EQ(std::string(p.begin() + 40, p.begin() + 44), "NONE");
}

// The names of the records of one directory extent.
std::vector<std::u16string> joliet_records(const std::vector<uint8_t>& extent, uint32_t bytes) {
  std::vector<std::u16string> names;
  for (size_t offset = 0; offset < bytes;) {
    const uint8_t length = extent[offset];
    if (length == 0) {
      offset = (offset / sector_bytes + 1) * sector_bytes;
      continue;
    }
    const uint8_t id_length = extent[offset + 32];
    std::u16string name;
    for (size_t i = 0; i + 1 < id_length; i += 2)
      name += static_cast<char16_t>(read_be16(&extent[offset + 33 + i]));
    if (id_length > 1) names.push_back(name);
    offset += length;
  }
  return names;
}

TEST(Joliet, DeepTreesAreWholeAndShareTheExtentsOfThePrimaryVolume) {
  // Twelve folders deep, and a file at the bottom: Joliet keeps every level,
  // its path table numbers every folder with its parent's number.
  test::NodeTree tree(fs_iso9660);
  tree.writer.settings.name_extensions = NameExtensions{true, false};
  SourceNode* folder = tree.writer.tree.root;
  for (int level = 1; level <= 12; ++level)
    folder = tree.dir(folder, u"Level " + std::u16string(1, static_cast<char16_t>('a' + level)));
  SourceNode* deep = tree.file(folder, u"the deepest file.txt", 5000);
  ASSERT_NE(tree.writer.lay_out(), 0u);
  const IsoTree& joliet = tree.writer.iso.joliet;
  ASSERT_EQ(joliet.directories.size(), 13u);
  for (size_t i = 1; i < joliet.directories.size(); ++i)
    EXPECT_EQ(joliet.directories[i].parent, i - 1);
  const IsoDirectory& bottom = joliet.directories.back();
  std::vector<uint8_t> extent((bottom.bytes + sector_bytes - 1) / sector_bytes * sector_bytes);
  fill_iso_directory(tree.writer, joliet, bottom, tree.writer.iso.record_dates, extent.data());
  EXPECT_EQ(joliet_records(extent, bottom.bytes),
            std::vector<std::u16string>{u"the deepest file.txt;1"});
  // The record at 68 (after "." and "..") points at the file's one extent.
  EXPECT_EQ(read_le32(&extent[68 + 2]), tree.writer.layout.file_data_sector(*deep));
  EXPECT_EQ(read_le32(&extent[68 + 10]), 5000u);

  std::vector<uint8_t> table(joliet.path_table_sectors * sector_bytes);
  fill_path_table(joliet, true, table.data());
  size_t offset = 0;
  for (size_t number = 1; number <= joliet.directories.size(); ++number) {
    EXPECT_EQ(read_le16(&table[offset + 6]), number == 1 ? 1u : number - 1);
    EXPECT_EQ(read_le32(&table[offset + 2]), joliet.location(joliet.directories[number - 1]));
    offset += 8 + table[offset] + table[offset] % 2;
  }
}

}  // namespace
}  // namespace kestrel::iso9660
