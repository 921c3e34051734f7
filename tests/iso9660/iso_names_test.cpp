// ISO 9660 identifiers, the ANSI conversion they start from, and their order.
#include <gtest/gtest.h>

#include <string>

#include "iso9660/iso_names.h"
#include "iso9660/iso_volume.h"
#include "platform/code_page.h"
#include "support/node_tree.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrel::iso9660 {
namespace {

// The expected bytes below are Windows-1252, the ANSI code page of Western
// Windows systems and the fixed conversion elsewhere.
bool ansi_is_windows_1252() {
#ifdef _WIN32
  return GetACP() == 1252;
#else
  return true;
#endif
}

std::string identifier_of(test::NodeTree& tree, std::u16string_view name, bool directory,
                          bool dvd) {
  tree.writer.tree.dvd_video_mode = dvd;
  SourceNode* node = tree.add(tree.writer.tree.root, name, directory);
  return primary_identifier(tree.writer, *node);
}

TEST(IsoNames, FileAndDirectoryIdentifiers) {
  if (!ansi_is_windows_1252()) GTEST_SKIP() << "the ANSI code page is not Windows-1252";
  struct Case {
    std::u16string_view name;
    bool directory;
    const char* normal;
    const char* dvd;
  };
  const Case cases[] = {
      {u"Read Me.txt", false, "Read Me.txt;1", "READ_ME.TXT;1"},
      {u"VIDEO_TS.IFO", false, "VIDEO_TS.IFO;1", "VIDEO_TS.IFO;1"},
      {u"archive.tar.gz", false, "archive..gz;1", "ARCHIVE_.GZ;1"},
      {u"Makefile", false, "Makefile.;1", "MAKEFILE.;1"},
      {u".profile", false, ".pro;1", ".PRO;1"},
      {u"name.", false, "name.;1", "NAME.;1"},
      {u"document1.txt", false, "document.txt;1", "DOCUMENT.TXT;1"},
      {u"Program Files", true, "Program ", "PROGRAM_"},
      {u"my.dir", true, "my.dir", "MY_DIR"},
      {u"VIDEO_TS", true, "VIDEO_TS", "VIDEO_TS"},
      // Windows-1252: U+00E9 is 0xE9 and passes through unless DVD-video mode
      // maps it; U+0101 is not in the code page and becomes "?".
      {u"caf\u00e9.txt", false, "caf\xe9.txt;1", "CAF_.TXT;1"},
      {u"\u0101b.c", false, "?b.c;1", "_B.C;1"},
  };
  for (const Case& c : cases) {
    test::NodeTree tree(fs_iso9660);
    EXPECT_EQ(identifier_of(tree, c.name, c.directory, false), c.normal);
    EXPECT_EQ(identifier_of(tree, c.name, c.directory, true), c.dvd);
  }
}

TEST(IsoNames, AnsiConversion) {
  if (!ansi_is_windows_1252()) GTEST_SKIP() << "the ANSI code page is not Windows-1252";
  char out[16];
  // Windows-1252 letters of the 0x80-0x9F row, and a surrogate pair as one "?".
  EXPECT_EQ(std::string(out, ansi_from_utf16(u"\u20ac\u0160\u0178", out, sizeof out)),
            "\x80\x8a\x9f");
  EXPECT_EQ(std::string(out, ansi_from_utf16(u"a\U0001F600b", out, sizeof out)), "a?b");
  // An unpaired surrogate is a character the code page lacks.
  EXPECT_EQ(std::string(
                out, ansi_from_utf16(std::u16string(1, char16_t(0xD800)) + u"x", out, sizeof out)),
            "?x");
  // The output never exceeds its capacity.
  EXPECT_EQ(ansi_from_utf16(u"0123456789abcdefghij", out, 5), 5u);
  EXPECT_EQ(std::string(out, 5), "01234");
}

TEST(IsoNames, LongNameIsBounded) {
  // 300 characters before the dot: the 260-byte conversion cuts the name, and
  // the identifier is still at most 8.3 with its version.
  test::NodeTree tree(fs_iso9660);
  std::u16string name(300, u'x');
  name += u".txt";
  const std::string id = identifier_of(tree, name, false, false);
  EXPECT_LE(id.size(), 14u);
  EXPECT_EQ(id.substr(0, 9), "xxxxxxxx.");
}

TEST(IsoNames, SortByBytesWithTiesInReversePrimaryOrder) {
  test::NodeTree tree(fs_iso9660);
  SourceNode* root = tree.writer.tree.root;
  tree.file(root, u"B.TXT");
  tree.file(root, u"A.TXT");
  tree.dir(root, u"A");
  tree.file(root, u"a.txt");
  EXPECT_EQ(tree.iso_order(*root), "A A.TXT;1 B.TXT;1 a.txt;1");

  // A prefix sorts first; bytes of 0x80 and above sort after ASCII.
  test::NodeTree prefix(fs_iso9660);
  prefix.dir(prefix.writer.tree.root, u"ABC\u00c9");
  prefix.dir(prefix.writer.tree.root, u"ABCD");
  prefix.dir(prefix.writer.tree.root, u"AB");
  EXPECT_EQ(prefix.iso_order(*prefix.writer.tree.root), "AB ABCD ABC\xc9");
}

TEST(IsoNames, NamesThatShortenAlikeGetDistinctIdentifiers) {
  // The first in primary order keeps the identifier, unless a later one is
  // named by it in full; the others get "~N".
  test::NodeTree tree(fs_iso9660);
  SourceNode* root = tree.writer.tree.root;
  tree.file(root, u"document1.txt");
  tree.file(root, u"document2.txt");
  tree.file(root, u"document3.txt");
  tree.file(root, u"docume~1.txt");  // already holds the first candidate
  tree.dir(root, u"Programs (x86)");
  tree.dir(root, u"Programs");
  tree.file(root, u"a.txt");
  // The first document keeps the identifier; the folder named in full keeps
  // its identifier, though it comes later.
  EXPECT_EQ(
      tree.iso_order(*root),
      "Programs Progra~1 a.txt;1 document.txt;1 docume~1.txt;1 docume~2.txt;1 docume~3.txt;1");

  // DVD-video mode stores the marker as "_", a d-character.
  test::NodeTree dvd(fs_iso9660);
  dvd.writer.tree.dvd_video_mode = true;
  dvd.file(dvd.writer.tree.root, u"menu.ifo");
  dvd.file(dvd.writer.tree.root, u"MENU.IFO");
  EXPECT_EQ(dvd.iso_order(*dvd.writer.tree.root), "MENU.IFO;1 MENU_1.IFO;1");

  // Short names are not cut; a ten-digit-wide number cuts the base to fit 8.
  test::NodeTree wide(fs_iso9660);
  for (int i = 0; i < 12; ++i) wide.file(wide.writer.tree.root, u"ab.c");
  EXPECT_EQ(wide.iso_order(*wide.writer.tree.root),
            "ab.c;1 ab~1.c;1 ab~10.c;1 ab~11.c;1 ab~2.c;1 ab~3.c;1 ab~4.c;1 ab~5.c;1 ab~6.c;1 "
            "ab~7.c;1 ab~8.c;1 ab~9.c;1");
}

TEST(IsoNames, SortScalesToLargeFolders) {
  // 100,000 files, twenty at a time shortening to one identifier: an
  // insertion sort, or numbering each group from 1 again, would take billions
  // of steps here. Every identifier ends up distinct and in order.
  test::NodeTree tree(fs_iso9660);
  constexpr int count = 100000;
  for (int i = 0; i < count; ++i) {
    // "data1234_a.dat" .. "data1234_t.dat" all shorten to "data1234.dat;1".
    std::u16string name = u"data";
    for (const char c : std::to_string(1000 + i % 5000)) name += static_cast<char16_t>(c);
    name += u"_" + std::u16string(1, static_cast<char16_t>(u'a' + i / 5000)) + u".dat";
    tree.file(tree.writer.tree.root, name);
  }
  const IsoTree iso = tree.iso_tree();
  ASSERT_EQ(iso.entries.size(), size_t{count});
  for (size_t i = 0; i + 1 < iso.entries.size(); ++i) {
    const auto a = iso.identifier(iso.entries[i]);
    const auto b = iso.identifier(iso.entries[i + 1]);
    ASSERT_TRUE(std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()));
    ASSERT_LE(a.size(), 12u);
  }
}

}  // namespace
}  // namespace kestrel::iso9660
