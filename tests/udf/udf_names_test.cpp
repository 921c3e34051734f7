// UDF names (UTF-16, and the 8-bit form of names below U+0100 on DVD-video
// discs and where the 16-bit form would cut them), shortening of names that
// do not fit in a file identifier, and the UDF order of a directory.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "engine/image_layout.h"
#include "support/node_tree.h"
#include "tests/udf/udf_tag_checks.h"
#include "udf/udf_files.h"

namespace kestrel::udf {
namespace {

using test::NodeTree;
using test::udf_name_of;

std::vector<std::u16string> udf_order(const ImageWriter& writer, const SourceNode& directory) {
  std::vector<std::u16string> names;
  for (const SourceNode* c = directory.first_child; c != nullptr; c = c->next)
    names.push_back(udf_name_of(writer, *c));
  return names;
}

size_t warnings_of(const ImageWriter& writer, BuildWarning kind) {
  size_t count = 0;
  for (const auto& w : writer.report.warnings) count += w.warning == kind ? 1 : 0;
  return count;
}

TEST(UdfNames, Utf16UnitsHighByteFirstAndDvdNamesInEightBitsOnlyBelowU0100) {
  NodeTree tree(fs_udf);
  SourceNode* node = tree.file(tree.writer.tree.root, u"a\u00E9\u4E2D\U0001F600");
  udf::make_udf_name(tree.writer, *node);
  const uint8_t expected[] = {0x00, 'a', 0x00, 0xE9, 0x4E, 0x2D, 0xD8, 0x3D, 0xDE, 0x00};
  ASSERT_EQ(node->udf_name_length, sizeof expected);
  EXPECT_EQ(0, std::memcmp(node->udf_name, expected, sizeof expected));
  EXPECT_EQ(node->udf_name_8bit, 0);

  // DVD-video players read 8-bit names, which readers take as the code
  // points U+0000 to U+00FF: every name that has only those is recorded so,
  // any other keeps every character in the 16-bit form.
  NodeTree dvd(fs_udf, udf_revision_102, true);
  SourceNode* latin = dvd.file(dvd.writer.tree.root, u"caf\u00E9.txt");
  SourceNode* other = dvd.file(dvd.writer.tree.root, u"Don\u2019t stop \u20AC.txt");
  SourceNode* cjk = dvd.file(dvd.writer.tree.root, u"\u65E5\u672C\u8A9E.txt");
  dvd.name_udf_children(*dvd.writer.tree.root);
  const uint8_t eight_bit[] = {'c', 'a', 'f', 0xE9, '.', 't', 'x', 't'};
  ASSERT_EQ(latin->udf_name_length, sizeof eight_bit);
  EXPECT_EQ(0, std::memcmp(latin->udf_name, eight_bit, sizeof eight_bit));
  EXPECT_EQ(latin->udf_name_8bit, 1);
  EXPECT_EQ(other->udf_name_8bit, 0);
  EXPECT_EQ(udf_name_of(dvd.writer, *other), u"Don\u2019t stop \u20AC.txt");
  EXPECT_EQ(udf_name_of(dvd.writer, *cjk), u"\u65E5\u672C\u8A9E.txt");
  EXPECT_TRUE(dvd.writer.report.warnings.empty());
}

// A file identifier holds 254 bytes: 254 characters below U+0100 in the
// 8-bit form, which such names take once they are longer than the 127 units
// of the 16-bit form; 127 units of any other name.
TEST(UdfNames, LongNamesTakeTheEightBitFormOrAreShortenedKeepingTheExtension) {
  NodeTree tree(fs_udf);
  SourceNode* root = tree.writer.tree.root;
  // 127 units fit the 16-bit form exactly, which such a name keeps.
  SourceNode* fits = tree.file(root, std::u16string(123, u'f') + u".txt");
  // 200 characters below U+0100 fit the 8-bit form whole.
  const std::u16string latin = std::u16string(194, u'l') + u"\u00E9.jpeg";
  SourceNode* whole = tree.file(root, latin);
  SourceNode* long_latin = tree.file(root, std::u16string(300, u'x') + u".jpeg");
  SourceNode* long_other = tree.file(root, u"\u20AC" + std::u16string(200, u'x') + u".jpeg");
  // A pair that would be cut in half at unit 127 is left out whole.
  SourceNode* pair_at_cut = tree.file(root, std::u16string(126, u'p') + u"\U0001F600tail");
  // An extension longer than half the identifier is not kept.
  SourceNode* long_extension = tree.file(root, u"n." + std::u16string(300, u'e'));
  tree.name_udf_children(*root);

  EXPECT_EQ(udf_name_of(tree.writer, *fits), std::u16string(123, u'f') + u".txt");
  EXPECT_EQ(fits->udf_name_8bit, 0);
  EXPECT_EQ(udf_name_of(tree.writer, *whole), latin);
  EXPECT_EQ(whole->udf_name_8bit, 1);
  EXPECT_EQ(whole->udf_name_length, 200);
  EXPECT_EQ(udf_name_of(tree.writer, *long_latin), std::u16string(249, u'x') + u".jpeg");
  EXPECT_EQ(long_latin->udf_name_length, 254);
  EXPECT_EQ(udf_name_of(tree.writer, *long_other),
            u"\u20AC" + std::u16string(121, u'x') + u".jpeg");
  EXPECT_EQ(long_other->udf_name_length, 254);
  EXPECT_EQ(udf_name_of(tree.writer, *pair_at_cut), std::u16string(126, u'p'));
  EXPECT_EQ(udf_name_of(tree.writer, *long_extension), u"n." + std::u16string(252, u'e'));
  ASSERT_EQ(warnings_of(tree.writer, BuildWarning::name_shortened), 4u);
  const BuildWarningEntry& first = tree.writer.report.warnings[0];
  EXPECT_EQ(first.path, KESTREL_NATIVE("/src/") + NativeString(300, 'x') + KESTREL_NATIVE(".jpeg"));
  EXPECT_EQ(first.renamed.file_system, NamingFileSystem::udf);
  EXPECT_EQ(first.renamed.new_name, std::u16string(249, u'x') + u".jpeg");

  // DVD-video mode: 254 characters of the 8-bit form.
  NodeTree dvd(fs_udf, udf_revision_102, true);
  SourceNode* dvd_latin = dvd.file(dvd.writer.tree.root, std::u16string(300, u'\u00E9') + u".vob");
  udf::make_udf_name(dvd.writer, *dvd_latin);
  EXPECT_EQ(udf_name_of(dvd.writer, *dvd_latin), std::u16string(250, u'\u00E9') + u".vob");
}

TEST(UdfNames, DvdNamesThatMeetOnceShortenedStayDistinct) {
  // The euro sign needs the 16-bit form, which holds 127 units; once cut
  // there, the name has only characters below U+0100 and so takes the 8-bit
  // form, the very name its sibling already has.
  NodeTree dvd(fs_udf, udf_revision_102, true);
  SourceNode* folder = dvd.dir(dvd.writer.tree.root, u"EXTRA");
  SourceNode* euro = dvd.file(folder, std::u16string(200, u'a') + u"\u20AC");
  SourceNode* plain = dvd.file(folder, std::u16string(127, u'a'));
  dvd.name_udf_children(*folder);
  EXPECT_EQ(udf_name_of(dvd.writer, *plain), std::u16string(127, u'a'));
  EXPECT_EQ(plain->udf_name_8bit, 1);
  EXPECT_EQ(udf_name_of(dvd.writer, *euro), std::u16string(125, u'a') + u"~1");
  EXPECT_EQ(euro->udf_name_8bit, 1);
  EXPECT_EQ(warnings_of(dvd.writer, BuildWarning::name_shortened), 1u);
}

// In either form: `prefix` makes the names 16-bit (a character beyond
// U+00FF, 127 units) or leaves them 8-bit (254 characters).
TEST(UdfNames, ShortenedNamesStayDistinctFromTheirSiblings) {
  for (const std::u16string& prefix : {std::u16string(), std::u16string(u"\u4E2D")}) {
    SCOPED_TRACE(prefix.empty() ? "8-bit" : "16-bit");
    const size_t capacity = prefix.empty() ? 254 : 127;
    const size_t room = capacity - prefix.size();
    NodeTree tree(fs_udf);
    SourceNode* root = tree.writer.tree.root;
    const std::u16string stem = prefix + std::u16string(room + 13, u's');
    // Enumeration order puts the later name first: the result must not depend on it.
    SourceNode* second = tree.file(root, stem + u"2.txt");
    SourceNode* first = tree.file(root, stem + u"1.txt");
    // A sibling that already has the shortened form keeps it: it was not changed.
    const std::u16string shortened = prefix + std::u16string(room - 4, u's') + u".txt";
    SourceNode* exact = tree.file(root, shortened);
    // And one that holds the first "~1" candidate.
    const std::u16string cut = prefix + std::u16string(room - 6, u's');
    SourceNode* taken = tree.file(root, cut + u"~1.txt");
    tree.name_udf_children(*root);

    EXPECT_EQ(udf_name_of(tree.writer, *exact), shortened);
    EXPECT_EQ(udf_name_of(tree.writer, *taken), cut + u"~1.txt");
    EXPECT_EQ(udf_name_of(tree.writer, *first), cut + u"~2.txt");
    EXPECT_EQ(udf_name_of(tree.writer, *second), cut + u"~3.txt");
    std::set<std::u16string> distinct;
    for (const auto& name : udf_order(tree.writer, *root)) distinct.insert(name);
    EXPECT_EQ(distinct.size(), 4u);
    EXPECT_EQ(warnings_of(tree.writer, BuildWarning::name_shortened), 2u);
    EXPECT_EQ(warnings_of(tree.writer, BuildWarning::name_made_unique), 0u);
    // Each warning gives the name the image records in the end, "~N" included.
    for (const SourceNode* node : {first, second}) {
      const NativeString path = node_file_path(tree.writer, *node);
      bool found = false;
      for (const BuildWarningEntry& warning : tree.writer.report.warnings) {
        if (warning.path != path) continue;
        found = true;
        EXPECT_EQ(warning.renamed.file_system, NamingFileSystem::udf);
        EXPECT_EQ(warning.renamed.new_name, udf_name_of(tree.writer, *node));
      }
      EXPECT_TRUE(found) << display_text(path);
    }
  }
}

// Two names recorded in full that read back equal (as two POSIX names that
// differ only in bytes that are not UTF-8 do): the later one gets "~1", and
// its warning says so.
TEST(UdfNames, NamesMadeUniqueSayTheirNewNameAndFileSystem) {
  NodeTree tree(fs_udf);
  SourceNode* root = tree.writer.tree.root;
  SourceNode* kept = tree.file(root, u"bad\uFFFD.bin");
  SourceNode* renamed = tree.file(root, u"bad\uFFFD.bin");
  tree.name_udf_children(*root);
  ASSERT_EQ(tree.writer.report.warnings.size(), 1u);
  const BuildWarningEntry& warning = tree.writer.report.warnings[0];
  EXPECT_EQ(warning.warning, BuildWarning::name_made_unique);
  EXPECT_EQ(warning.renamed.file_system, NamingFileSystem::udf);
  EXPECT_EQ(udf_name_of(tree.writer, *kept), u"bad\uFFFD.bin");
  EXPECT_EQ(udf_name_of(tree.writer, *renamed), u"bad\uFFFD~1.bin");
  EXPECT_EQ(warning.renamed.new_name, u"bad\uFFFD~1.bin");
}

TEST(UdfOrder, UnsignedUnitsWithPrefixesFirst) {
  NodeTree tree(fs_udf);
  SourceNode* root = tree.writer.tree.root;
  for (const char16_t* name :
       {u"b", u"\uFF21", u"ab", u"\U0001F600", u"B", u"\u00E9", u"a", u"a.", u"10", u"9"}) {
    tree.add(root, name, name[0] == u'b');
  }
  tree.name_udf_children(*root);
  // Files and folders together; by 16-bit units, so a surrogate pair (0xD83D)
  // sorts before the fullwidth letter U+FF21.
  EXPECT_EQ(udf_order(tree.writer, *root),
            (std::vector<std::u16string>{u"10", u"9", u"B", u"a", u"a.", u"ab", u"b", u"\u00E9",
                                         u"\U0001F600", u"\uFF21"}));

  // DVD-video mode mixes 8-bit and 16-bit names: they sort by character.
  NodeTree dvd(fs_udf, udf_revision_102, true);
  SourceNode* folder = dvd.dir(dvd.writer.tree.root, u"MISC");
  for (const char16_t* name : {u"\u00E9", u"\u20AC", u"z", u"Z", u"\u00E9\u20AC", u"\u0100"})
    dvd.file(folder, name);
  dvd.name_udf_children(*folder);
  EXPECT_EQ(
      udf_order(dvd.writer, *folder),
      (std::vector<std::u16string>{u"Z", u"z", u"\u00E9", u"\u00E9\u20AC", u"\u0100", u"\u20AC"}));
}

TEST(UdfOrder, DvdVideoFoldersAndRootKeepTheirOrder) {
  NodeTree dvd(fs_udf, udf_revision_102, true);
  SourceNode* root = dvd.writer.tree.root;
  SourceNode* audio = dvd.dir(root, u"AUDIO_TS");
  SourceNode* video = dvd.dir(root, u"VIDEO_TS");
  dvd.file(root, u"README");
  dvd.dir(root, u"BONUS");
  for (const char16_t* name : {u"VIDEO_TS.IFO", u"VIDEO_TS.BUP", u"VTS_01_0.IFO", u"VTS_01_1.VOB"})
    dvd.file(video, name);
  dvd.file(audio, u"AUDIO_TS.IFO");
  // Deeper folders of the same name are sorted like any other.
  SourceNode* bonus = root->first_child->next->next->next;
  SourceNode* nested = dvd.dir(bonus, u"VIDEO_TS");
  dvd.file(nested, u"b");
  dvd.file(nested, u"a");
  // The layout's naming pass decides which folders keep their order.
  prepare_udf_names(dvd.writer, *root);
  EXPECT_EQ(udf_order(dvd.writer, *root),
            (std::vector<std::u16string>{u"AUDIO_TS", u"VIDEO_TS", u"README", u"BONUS"}));
  EXPECT_EQ(udf_order(dvd.writer, *video),
            (std::vector<std::u16string>{u"VIDEO_TS.IFO", u"VIDEO_TS.BUP", u"VTS_01_0.IFO",
                                         u"VTS_01_1.VOB"}));
  EXPECT_EQ(udf_order(dvd.writer, *nested), (std::vector<std::u16string>{u"a", u"b"}));

  // Without the mode the root is sorted too.
  NodeTree plain(fs_udf);
  plain.file(plain.writer.tree.root, u"VIDEO_TS");
  plain.file(plain.writer.tree.root, u"AUDIO_TS");
  plain.name_udf_children(*plain.writer.tree.root);
  EXPECT_EQ(udf_order(plain.writer, *plain.writer.tree.root),
            (std::vector<std::u16string>{u"AUDIO_TS", u"VIDEO_TS"}));
}

TEST(UdfOrder, HundredThousandFilesSortQuickly) {
  NodeTree tree(fs_udf);
  SourceNode* root = tree.writer.tree.root;
  constexpr int count = 100000;
  for (int i = count - 1; i >= 0; --i) {
    std::string digits = std::to_string(i);
    digits.insert(0, 6 - digits.size(), '0');
    tree.file(root, std::u16string(digits.begin(), digits.end()));
  }
  const auto start = std::chrono::steady_clock::now();
  tree.name_udf_children(*root);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  int expected = 0;
  for (const SourceNode* c = root->first_child; c != nullptr; c = c->next, ++expected) {
    std::string digits = std::to_string(expected);
    digits.insert(0, 6 - digits.size(), '0');
    ASSERT_EQ(udf_name_of(tree.writer, *c), std::u16string(digits.begin(), digits.end()));
  }
  EXPECT_EQ(expected, count);
}

}  // namespace
}  // namespace kestrel::udf
