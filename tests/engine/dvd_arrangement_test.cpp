// The DVD-video arrangement of an ISO 9660 + UDF 1.02 build.
#include <gtest/gtest.h>

#include <set>

#include "engine/dvd_video.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

const FsSetting& bridge = all_fs_settings[1];

std::vector<std::u16string> child_names(const SourceNode& directory) {
  std::vector<std::u16string> names;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    names.emplace_back(child->name, child->name_length);
  }
  return names;
}

TEST(DvdSortKey, OrdersManagerThenTitleSetsByNumberClassAndPart) {
  EXPECT_EQ(dvd_sort_key(u"VIDEO_TS.IFO"), 0x20000u);
  EXPECT_EQ(dvd_sort_key(u"video_ts.bup"), 0x20002u);
  EXPECT_EQ(dvd_sort_key(u"VTS_01_0.IFO"), 0x20000u + 0x10 + 0x100);
  EXPECT_EQ(dvd_sort_key(u"VTS_01_1.VOB"), 0x20000u + 0x20 + 0x101);
  EXPECT_EQ(dvd_sort_key(u"VTS_01_0.BUP"), 0x20000u + 0x30 + 0x100);
  EXPECT_EQ(dvd_sort_key(u"ATS_02_1.AOB"), 0x10000u + 0x20 + 0x201);
  EXPECT_EQ(dvd_sort_key(u"AUDIO_TS.IFO"), 0x10001u);
  // Names that are not whole DVD file names have no key.
  EXPECT_EQ(dvd_sort_key(u"VIDEO_TS.IFO.old"), 0u);
  EXPECT_EQ(dvd_sort_key(u"VTS_1_1.VOB"), 0u);
  EXPECT_EQ(dvd_sort_key(u"VTS_01_1.TXT"), 0u);
  EXPECT_EQ(dvd_sort_key(u"README.TXT"), 0u);
  // Title set 10 sorts after title set 9.
  EXPECT_LT(dvd_sort_key(u"VTS_09_0.BUP"), dvd_sort_key(u"VTS_10_0.IFO"));
}

TEST(DvdArrangement, PutsBothDvdFoldersFirstAndSortsTheirFiles) {
  ScratchFolder source("dvd");
  for (const char* name : {"VTS_01_1.VOB", "VTS_01_0.BUP", "VIDEO_TS.BUP", "VTS_01_0.IFO",
                           "VIDEO_TS.IFO", "VTS_01_2.VOB", "readme.txt", "VIDEO_TS.IFO.old"}) {
    source.file(std::string("VIDEO_TS/") + name, 100);
  }
  source.folder("VIDEO_TS/EXTRA");
  source.file("VIDEO_TS/EXTRA/x.txt", 1);
  source.file("VIDEO_TS/Thumbs.db", 5);
  source.file("bonus.txt", 5);
  source.file("Thumbs.db", 5);
  auto writer = scanned_writer(source, bridge);
  ASSERT_TRUE(writer->tree.dvd_video_mode);
  // Everything the image leaves out is named, each once.
  std::set<std::pair<BuildWarning, NativeString>> warnings;
  for (const BuildWarningEntry& warning : writer->report.warnings)
    EXPECT_TRUE(warnings.emplace(warning.warning, warning.path).second);
  const auto dvd_entry = [&](const char* name) {
    return std::pair(BuildWarning::dvd_entry_skipped, source.at(std::string("VIDEO_TS/") + name));
  };
  EXPECT_EQ(warnings, (std::set<std::pair<BuildWarning, NativeString>>{
                          dvd_entry("readme.txt"),
                          dvd_entry("VIDEO_TS.IFO.old"),
                          dvd_entry("EXTRA"),
                          dvd_entry("Thumbs.db"),
                          {BuildWarning::thumbnail_cache_skipped, source.at("Thumbs.db")}}));
  const auto root = child_names(*writer->tree.root);
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root[0], u"AUDIO_TS");
  EXPECT_EQ(root[1], u"VIDEO_TS");
  EXPECT_EQ(root[2], u"bonus.txt");
  EXPECT_EQ(writer->tree.root->first_child->first_child, nullptr);
  const std::vector<std::u16string> expected = {u"VIDEO_TS.IFO", u"VIDEO_TS.BUP", u"VTS_01_0.IFO",
                                                u"VTS_01_1.VOB", u"VTS_01_2.VOB", u"VTS_01_0.BUP"};
  EXPECT_EQ(child_names(*child_named(*writer->tree.root, u"VIDEO_TS")), expected);
}

TEST(DvdArrangement, OnlyBridgeBuildsUseIt) {
  ScratchFolder source("dvd-udf");
  source.file("VIDEO_TS/VIDEO_TS.IFO", 10);
  source.file("VIDEO_TS/notes.txt", 10);
  auto writer = scanned_writer(source, all_fs_settings[2]);
  EXPECT_FALSE(writer->tree.dvd_video_mode);
  EXPECT_EQ(child_names(*child_named(*writer->tree.root, u"VIDEO_TS")).size(), 2u);
}

TEST(DvdArrangement, FolderOfAnotherCaseBesideTheDvdFolderIsAnOrdinaryFolder) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows file names ignore case: the two folders are one";
#endif
  ScratchFolder source("dvd-case");
  source.file("VIDEO_TS/VIDEO_TS.IFO", 10);
  source.file("Video_TS/notes.txt", 10);
  auto writer = scanned_writer(source, bridge);
  ASSERT_TRUE(writer->tree.dvd_video_mode);
  SourceNode* ordinary = child_named(*writer->tree.root, u"Video_TS");
  ASSERT_NE(ordinary, nullptr);
  EXPECT_NE(child_named(*ordinary, u"notes.txt"), nullptr);
  EXPECT_EQ(writer->tree.root->first_child->next, child_named(*writer->tree.root, u"VIDEO_TS"));
}

TEST(DvdArrangement, AFileNamedLikeADvdFolderMakesNoDvd) {
  ScratchFolder source("dvd-file");
  source.file("VIDEO_TS", 10);
  source.file("audio_ts", 10);
  auto writer = scanned_writer(source, bridge);
  EXPECT_FALSE(writer->tree.dvd_video_mode);
  EXPECT_EQ(child_names(*writer->tree.root).size(), 2u);
}

TEST(DvdArrangement, LowerCaseDvdFolderIsTakenOnceUnderItsDvdName) {
  ScratchFolder source("dvd-lower");
  source.file("video_ts/VIDEO_TS.IFO", 10);
  auto writer = scanned_writer(source, bridge);
  ASSERT_TRUE(writer->tree.dvd_video_mode);
  EXPECT_EQ(child_names(*writer->tree.root),
            (std::vector<std::u16string>{u"AUDIO_TS", u"VIDEO_TS"}));
  EXPECT_EQ(writer->tree.file_count, 1u);
}

}  // namespace
}  // namespace kestrel::test
