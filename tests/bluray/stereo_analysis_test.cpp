// The stereoscopic analysis on movie folders built on disk: which clips a
// folder pairs, the extents of each side, and every reason to give up.
#include "bluray/stereo_analysis.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/scanned_tree.h"
#include "tests/bluray/navigation_builder.h"

namespace kestrel::bluray {
namespace {

using test::Bytes;
using Extents = std::vector<uint32_t>;

class StereoAnalysis : public ::testing::Test {
 protected:
  StereoAnalysis() : folder_("stereo-analysis") { folder_.folder("BDMV/PLAYLIST"); }

  void write(const std::string& relative, const Bytes& bytes) {
    const std::filesystem::path path(folder_.at(relative));
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }

  // A 3D folder: the index flag, one playlist pairing 00001 with 00002, and
  // clip information with the given start points for both clips.
  void stereo_folder(uint32_t packets, const Extents& base_points,
                     const Extents& dependent_points) {
    write("BDMV/index.bdmv", test::index_file(0x20));
    write("BDMV/PLAYLIST/00000.mpls", test::stereo_playlist({"00001"}, {"00002"}));
    write("BDMV/CLIPINF/00001.clpi", test::stereo_clip_info(packets, base_points));
    write("BDMV/CLIPINF/00002.clpi", test::stereo_clip_info(packets, dependent_points));
  }

  bool analyze() {
    pairs_.clear();
    return analyze_stereo_disc(folder_.path() + native_separator, pairs_);
  }

  test::ScratchFolder folder_;
  StereoPairList pairs_;
};

TEST(SectorsFromPackets, WholeSectorsOfSourcePackets) {
  EXPECT_EQ(sectors_from_packets(32), 3u);
  EXPECT_EQ(sectors_from_packets(31), 2u);
  EXPECT_EQ(sectors_from_packets(0), 0u);
  // The product needs 64 bits.
  EXPECT_EQ(sectors_from_packets(0xFFFFFFFF), 402653183u);
}

TEST_F(StereoAnalysis, PairsClipsAndCutsTheirExtents) {
  stereo_folder(288, {0, 96, 192}, {0, 96, 192});
  ASSERT_TRUE(analyze());
  ASSERT_EQ(pairs_.size(), 1u);
  EXPECT_EQ(pairs_[0].base_clip, 1);
  EXPECT_EQ(pairs_[0].dependent_clip, 2);
  EXPECT_EQ(pairs_[0].base_sectors, 27u);
  EXPECT_EQ(pairs_[0].dependent_sectors, 27u);
  EXPECT_EQ(pairs_[0].base_extents, (Extents{9, 9, 9}));
  EXPECT_EQ(pairs_[0].dependent_extents, (Extents{9, 9, 9}));

  // A single start point: one extent over the whole clip.
  stereo_folder(288, {0}, {0, 192});
  ASSERT_TRUE(analyze());
  EXPECT_EQ(pairs_[0].base_extents, (Extents{27}));
  EXPECT_EQ(pairs_[0].dependent_extents, (Extents{18, 9}));
}

TEST_F(StereoAnalysis, ClipsWithoutStartPointsKeepNoExtents) {
  // A start point block of length 0, or of non-zero length without points.
  stereo_folder(288, {0}, {0});
  write("BDMV/CLIPINF/00001.clpi",
        test::clip_info_file(288, test::extension_data({{2, 4, Bytes(8, 0)}})));
  write("BDMV/CLIPINF/00002.clpi",
        test::clip_info_file(288, test::extension_data({{2, 4, {0, 0, 0, 4, 0, 0, 0, 0}}})));
  ASSERT_TRUE(analyze());
  ASSERT_EQ(pairs_.size(), 1u);
  EXPECT_EQ(pairs_[0].base_sectors, 27u);
  EXPECT_TRUE(pairs_[0].base_extents.empty());
  EXPECT_TRUE(pairs_[0].dependent_extents.empty());

  // A missing clip information file: size 0 and no extents, still a pair,
  // which names the clip at fault and cannot be interleaved.
  std::filesystem::remove(std::filesystem::path(folder_.at("BDMV/CLIPINF/00002.clpi")));
  EXPECT_FALSE(analyze());
  ASSERT_EQ(pairs_.size(), 1u);
  EXPECT_EQ(pairs_[0].dependent_sectors, 0u);
  EXPECT_TRUE(pairs_[0].dependent_extents.empty());
  EXPECT_EQ(pairs_[0].failure, StereoFailure::clip_info_missing);
  EXPECT_EQ(pairs_[0].faulty_clip, 2);
}

TEST_F(StereoAnalysis, UnusableStartPointsFailTheAnalysis) {
  const std::vector<std::pair<const char*, Extents>> cases = {
      {"repeated", {0, 96, 96}},
      {"decreasing", {0, 192, 96}},
      {"at the sector count", {0, 96, 288}},
      {"past the sector count", {0, 400}},
      {"not starting at 0", {32, 96}},
      {"an extent of no sector", {0, 5, 96}},
      {"a last extent of no sector", {0, 283}},
      {"extents that miss sectors", {0, 40}},
  };
  for (const auto& [what, points] : cases) {
    stereo_folder(288, {0, 96, 192}, points);
    EXPECT_FALSE(analyze()) << what;
    ASSERT_EQ(pairs_.size(), 1u) << what;
    EXPECT_EQ(pairs_[0].failure, StereoFailure::start_points_unusable) << what;
    EXPECT_EQ(pairs_[0].faulty_clip, 2) << what;
  }
}

TEST_F(StereoAnalysis, IndexFileDecidesFirst) {
  stereo_folder(288, {0}, {0});
  write("BDMV/index.bdmv", test::index_file(0x40));
  EXPECT_FALSE(analyze());
  write("BDMV/index.bdmv", Bytes(39, 0));
  EXPECT_FALSE(analyze());
  std::filesystem::remove(std::filesystem::path(folder_.at("BDMV/index.bdmv")));
  EXPECT_FALSE(analyze());
}

TEST_F(StereoAnalysis, PlaylistsThatPairNothing) {
  stereo_folder(288, {0}, {0});
  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"2D playlist", test::playlist_file(std::vector<std::string>{"00001"}, {})},
      {"one sub-play-item too many", test::stereo_playlist({"00001"}, {"00002", "00004"})},
      {"no stereo stream tables",
       test::playlist_file(
           std::vector<std::string>{"00001"},
           test::extension_data({{2, 2, test::sub_path_block({test::sub_path({"00002"})})}}))},
      {"no sub-path",
       test::playlist_file(std::vector<std::string>{"00001"},
                           test::extension_data({{2, 1, test::stereo_stream_tables(1)},
                                                 {2, 2, test::sub_path_block({})}}))},
  };
  for (const auto& [what, playlist] : cases) {
    write("BDMV/PLAYLIST/00000.mpls", playlist);
    EXPECT_FALSE(analyze()) << what;
  }

  // Only names ending exactly in ".mpls" are playlists; folders are not.
  std::filesystem::rename(std::filesystem::path(folder_.at("BDMV/PLAYLIST/00000.mpls")),
                          std::filesystem::path(folder_.at("BDMV/PLAYLIST/00000.MPLS")));
  write("BDMV/PLAYLIST/00001.MPLS", test::stereo_playlist({"00001"}, {"00002"}));
  write("BDMV/PLAYLIST/00002.mpls.bak", test::stereo_playlist({"00001"}, {"00002"}));
  write("BDMV/PLAYLIST/folder.mpls/00003.mpls", test::stereo_playlist({"00001"}, {"00002"}));
  EXPECT_FALSE(analyze());
}

TEST_F(StereoAnalysis, PairsInAscendingBaseOrderFromEveryPlaylist) {
  stereo_folder(288, {0}, {0});
  write("BDMV/PLAYLIST/00000.mpls", test::stereo_playlist({"00005", "00001"}, {"00006", "00002"}));
  write("BDMV/PLAYLIST/00007.mpls", test::stereo_playlist({"00003"}, {"00004"}));
  write("BDMV/CLIPINF/00006.clpi", test::stereo_clip_info(288, {0}));
  // Every title is listed, also those after one that fails: here 00003 has
  // no clip information, and neither has 00005.
  EXPECT_FALSE(analyze());
  ASSERT_EQ(pairs_.size(), 3u);
  EXPECT_EQ(pairs_[0].base_clip, 1);
  EXPECT_EQ(pairs_[0].failure, StereoFailure::none);
  EXPECT_EQ(pairs_[1].base_clip, 3);
  EXPECT_EQ(pairs_[1].dependent_clip, 4);
  EXPECT_EQ(pairs_[1].base_sectors, 0u);
  EXPECT_EQ(pairs_[1].failure, StereoFailure::clip_info_missing);
  EXPECT_EQ(pairs_[1].faulty_clip, 3);
  EXPECT_EQ(pairs_[2].base_clip, 5);
  EXPECT_EQ(pairs_[2].dependent_clip, 6);
  EXPECT_EQ(pairs_[2].failure, StereoFailure::clip_info_missing);
  EXPECT_EQ(pairs_[2].faulty_clip, 5);
  EXPECT_EQ(pairs_[2].dependent_sectors, 27u);
}

TEST_F(StereoAnalysis, LaterPlaylistOverridesAPairing) {
  stereo_folder(288, {0}, {0});
  write("BDMV/PLAYLIST/00000.mpls", test::stereo_playlist({"00001"}, {"00002"}));
  write("BDMV/PLAYLIST/00001.mpls", test::stereo_playlist({"00001"}, {"00003"}));
  write("BDMV/CLIPINF/00003.clpi", test::stereo_clip_info(288, {0}));
  // The folder's own listing order decides which playlist comes later.
  std::string last;
  DirectoryFinder finder;
  FindEntry entry;
  for (bool found = finder.find_first(folder_.at("BDMV/PLAYLIST"), entry); found;
       found = finder.find_next(entry)) {
    const std::string name = display_text(entry.name);
    if (name == "00000.mpls" || name == "00001.mpls") last = name;
  }
  finder.close();
  ASSERT_TRUE(analyze());
  ASSERT_EQ(pairs_.size(), 1u);
  EXPECT_EQ(pairs_[0].dependent_clip, last == "00000.mpls" ? 2 : 3);
}

TEST_F(StereoAnalysis, ClipNumbersMustBeFiveDigitsInOnePairAndOneRole) {
  const std::vector<std::pair<const char*, std::vector<Bytes>>> cases = {
      {"letters", {test::stereo_playlist({"0000A"}, {"00002"})}},
      {"leading space", {test::stereo_playlist({"00001"}, {" 0002"})}},
      {"beyond 16 bits", {test::stereo_playlist({"70001"}, {"00002"})}},
      {"dependent twice", {test::stereo_playlist({"00001", "00003"}, {"00002", "00002"})}},
      {"both roles", {test::stereo_playlist({"00001", "00002"}, {"00002", "00003"})}},
      {"paired with itself", {test::stereo_playlist({"00001"}, {"00001"})}},
      {"dependent twice across playlists",
       {test::stereo_playlist({"00001"}, {"00002"}), test::stereo_playlist({"00003"}, {"00002"})}},
  };
  for (const auto& [what, playlists] : cases) {
    std::filesystem::remove_all(std::filesystem::path(folder_.at("BDMV/PLAYLIST")));
    stereo_folder(288, {0}, {0});
    std::filesystem::remove(std::filesystem::path(folder_.at("BDMV/PLAYLIST/00000.mpls")));
    for (size_t i = 0; i < playlists.size(); ++i) {
      write("BDMV/PLAYLIST/0010" + std::to_string(i) + ".mpls", playlists[i]);
    }
    EXPECT_FALSE(analyze()) << what;
  }
  // Each title that shares a clip with another names the clip.
  write("BDMV/CLIPINF/00003.clpi", test::stereo_clip_info(288, {0}));
  write("BDMV/PLAYLIST/00100.mpls", test::stereo_playlist({"00001", "00003"}, {"00002", "00002"}));
  EXPECT_FALSE(analyze());
  ASSERT_EQ(pairs_.size(), 2u);
  for (const StereoPair& pair : pairs_) {
    EXPECT_EQ(pair.failure, StereoFailure::clip_in_two_pairs);
    EXPECT_EQ(pair.faulty_clip, 2);
  }
}

// The folders that tools/make_bluray_folder.py writes (and that the image
// checks build on): the 3D one pairs 00001 with 00002 in three extents of
// 48 sectors each, the 2D one pairs nothing.
TEST(MadeMovieFolder, AnalysisFindsTheStereoPairOnly) {
#ifdef _WIN32
  GTEST_SKIP() << "the folder writer runs on the build host only";
#else
  // The objects carry source paths relative to the checkout (reproducible
  // builds), so the tool is found through the path the build hands in.
  const std::filesystem::path tool =
      std::filesystem::path(KESTREL_TOOLS_DIR) / "make_bluray_folder.py";
  ASSERT_TRUE(std::filesystem::exists(tool)) << tool;
  test::ScratchFolder folder("made-movie-folder");
  const std::string stereo = folder.path() + "/3d";
  const std::string plain = folder.path() + "/2d";
  ASSERT_EQ(std::system(("python3 '" + tool.string() + "' --stereo '" + stereo + "'").c_str()), 0);
  ASSERT_EQ(std::system(("python3 '" + tool.string() + "' '" + plain + "'").c_str()), 0);

  StereoPairList pairs;
  ASSERT_TRUE(analyze_stereo_disc(stereo + "/", pairs));
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].base_clip, 1);
  EXPECT_EQ(pairs[0].dependent_clip, 2);
  EXPECT_EQ(pairs[0].base_sectors, 144u);
  EXPECT_EQ(pairs[0].dependent_sectors, 144u);
  EXPECT_EQ(pairs[0].base_extents, (Extents{48, 48, 48}));
  EXPECT_EQ(pairs[0].dependent_extents, (Extents{48, 48, 48}));

  StereoPairList none;
  EXPECT_FALSE(analyze_stereo_disc(plain + "/", none));
#endif
}

}  // namespace
}  // namespace kestrel::bluray
