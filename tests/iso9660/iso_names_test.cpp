// ISO 9660 identifiers of the primary volume, the ANSI conversion DVD-video
// images make them from, and their order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

TEST(IsoNames, IdentifiersAreLevelOneDCharacters) {
  if (!ansi_is_windows_1252()) GTEST_SKIP() << "the ANSI code page is not Windows-1252";
  struct Case {
    std::u16string_view name;
    bool directory;
    const char* identifier;  // in DVD-video mode too
  };
  const Case cases[] = {
      {u"Read Me.txt", false, "READ_ME.TXT;1"},
      {u"VIDEO_TS.IFO", false, "VIDEO_TS.IFO;1"},
      // One separator: the dots before the last one are not d-characters.
      {u"archive.tar.gz", false, "ARCHIVE_.GZ;1"},
      {u"request..pyc", false, "REQUEST_.PYC;1"},
      {u"...", false, "__.;1"},
      {u"Makefile", false, "MAKEFILE.;1"},
      {u".profile", false, ".PRO;1"},
      {u"name.", false, "NAME.;1"},
      {u"document1.txt", false, "DOCUMENT.TXT;1"},
      {u"Program Files", true, "PROGRAM_"},
      {u"my.dir", true, "MY_DIR"},
      {u"VIDEO_TS", true, "VIDEO_TS"},
      // Separators of versions, control characters, bytes above 0x7F and
      // characters beyond the code page become "_", a surrogate pair one.
      {u"semi;col.txt", false, "SEMI_COL.TXT;1"},
      {u"new\nline.txt", false, "NEW_LINE.TXT;1"},
      {u"caf\u00e9.txt", false, "CAF_.TXT;1"},
      {u"\u0101b.c", false, "_B.C;1"},
      {u"\U0001F600x.txt", false, "_X.TXT;1"},
      {u"\u65e5\u672c\u8a9e.txt", false, "___.TXT;1"},
  };
  for (const Case& c : cases) {
    for (const bool dvd : {false, true}) {
      test::NodeTree tree(fs_iso9660);
      EXPECT_EQ(identifier_of(tree, c.name, c.directory, dvd), c.identifier) << dvd;
    }
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
  EXPECT_EQ(id, "XXXXXXXX.TXT;1");
}

TEST(IsoNames, RecordsFollowTheOrderOfEcma119) {
  // By name, then by extension, the shorter part padded with spaces: a
  // folder before the files of its name, and "X.AB" before "X.AB1" (a plain
  // byte order of "X.AB;1" would put it after).
  test::NodeTree tree(fs_iso9660);
  SourceNode* root = tree.writer.tree.root;
  tree.file(root, u"B.TXT");
  tree.file(root, u"A.TXT");
  tree.dir(root, u"A");
  tree.dir(root, u"AB");
  tree.file(root, u"X.AB1");
  tree.file(root, u"X.AB");
  EXPECT_EQ(tree.iso_order(*root), "A A.TXT;1 AB B.TXT;1 X.AB;1 X.AB1;1");
}

TEST(IsoNames, NamesThatMeetGetDistinctIdentifiersWhateverTheirCase) {
  // Names that differ in case only, or that shorten alike, meet in one
  // identifier: one keeps it, the others get "_N". The one named in full
  // keeps it; else the first by source name, so the listing order of the
  // folder changes nothing.
  for (const bool reversed : {false, true}) {
    test::NodeTree tree(fs_iso9660);
    SourceNode* root = tree.writer.tree.root;
    std::vector<std::u16string_view> names = {u"document1.txt",  u"document2.txt", u"document3.txt",
                                              u"docume_1.txt",  // already holds the first candidate
                                              u"Programs (x86)", u"Programs",      u"README",
                                              u"readme",         u"ReadMe",        u"AB-C.TXT",
                                              u"AB_C.TXT"};
    if (reversed) std::reverse(names.begin(), names.end());
    for (const std::u16string_view name : names) {
      if (name.starts_with(u"Programs"))
        tree.dir(root, name);
      else
        tree.file(root, name);
    }
    EXPECT_EQ(tree.iso_order(*root),
              "AB_C.TXT;1 AB_C_1.TXT;1 DOCUMENT.TXT;1 DOCUME_1.TXT;1 DOCUME_2.TXT;1 "
              "DOCUME_3.TXT;1 PROGRAMS PROGRA_1 README.;1 README_1.;1 README_2.;1")
        << reversed;
    const IsoTree iso = tree.iso_tree();
    auto identifier_of_name = [&](std::u16string_view name) {
      for (const IsoEntry& entry : iso.entries) {
        if (std::u16string_view(entry.node->name, entry.node->name_length) == name) {
          return test::NodeTree::identifier_text(iso.identifier(entry));
        }
      }
      return std::string("?");
    };
    EXPECT_EQ(identifier_of_name(u"AB_C.TXT"), "AB_C.TXT");  // named in full
    EXPECT_EQ(identifier_of_name(u"document1.txt"), "DOCUMENT.TXT");
    EXPECT_EQ(identifier_of_name(u"Programs"), "PROGRAMS");
    EXPECT_EQ(identifier_of_name(u"README"), "README.");
    EXPECT_EQ(identifier_of_name(u"ReadMe"), "README_1.");
  }

  // DVD-video images keep their rule: the first in primary order keeps the
  // identifier when its name has as many characters.
  test::NodeTree dvd(fs_iso9660);
  dvd.writer.tree.dvd_video_mode = true;
  dvd.file(dvd.writer.tree.root, u"menu.ifo");
  dvd.file(dvd.writer.tree.root, u"MENU.IFO");
  const IsoTree iso = dvd.iso_tree();
  EXPECT_EQ(iso.entries[0].node->name, std::u16string_view(u"menu.ifo"));
  EXPECT_EQ(dvd.iso_order(*dvd.writer.tree.root), "MENU.IFO;1 MENU_1.IFO;1");

  // Short names are not cut; a two-digit number cuts the base to fit 8.
  test::NodeTree wide(fs_iso9660);
  for (int i = 0; i < 12; ++i) wide.file(wide.writer.tree.root, u"abcdefgh.c");
  EXPECT_EQ(wide.iso_order(*wide.writer.tree.root),
            "ABCDEFGH.C;1 ABCDEF_1.C;1 ABCDEF_2.C;1 ABCDEF_3.C;1 ABCDEF_4.C;1 ABCDEF_5.C;1 "
            "ABCDEF_6.C;1 ABCDEF_7.C;1 ABCDEF_8.C;1 ABCDEF_9.C;1 ABCDE_10.C;1 ABCDE_11.C;1");
}

TEST(IsoNames, SortScalesToLargeFolders) {
  // 100,000 files, twenty at a time shortening to one identifier: an
  // insertion sort, or numbering each group from 1 again, would take billions
  // of steps here. Every identifier ends up distinct and in order.
  test::NodeTree tree(fs_iso9660);
  constexpr int count = 100000;
  for (int i = 0; i < count; ++i) {
    // "data1234_a.dat" .. "data1234_t.dat" all shorten to "DATA1234.DAT;1".
    std::u16string name = u"data";
    for (const char c : std::to_string(1000 + i % 5000)) name += static_cast<char16_t>(c);
    name += u"_" + std::u16string(1, static_cast<char16_t>(u'a' + i / 5000)) + u".dat";
    tree.file(tree.writer.tree.root, name);
  }
  const IsoTree iso = tree.iso_tree();
  ASSERT_EQ(iso.entries.size(), size_t{count});
  for (size_t i = 0; i + 1 < iso.entries.size(); ++i) {
    const std::string a = test::NodeTree::identifier_text(iso.identifier(iso.entries[i]));
    const std::string b = test::NodeTree::identifier_text(iso.identifier(iso.entries[i + 1]));
    ASSERT_NE(a, b);
    ASSERT_LE(a.size(), 12u);
  }
}

}  // namespace
}  // namespace kestrel::iso9660
