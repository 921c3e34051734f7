// Which media an image fits, counted in sectors, and the warning for a DVD or
// Blu-ray folder whose image no disc of its kind holds (it is still built).
#include <gtest/gtest.h>

#include "engine/disc_media.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

TEST(DiscMedia, AMediumHoldsAnImageOfUpToItsSectors) {
  EXPECT_EQ(media_that_hold(0).size(), 8u);
  EXPECT_EQ(media_that_hold(333000).front(), DiscMedium::cd74);
  EXPECT_EQ(media_that_hold(333001).front(), DiscMedium::cd80);
  EXPECT_EQ(media_that_hold(360001).front(), DiscMedium::dvd5);
  EXPECT_EQ(media_that_hold(2295105).front(), DiscMedium::dvd9);
  EXPECT_EQ(media_that_hold(4171713).front(), DiscMedium::bd25);
  EXPECT_EQ(media_that_hold(12219393).front(), DiscMedium::bd50);
  EXPECT_EQ(media_that_hold(24438785).front(), DiscMedium::bd100);
  EXPECT_EQ(media_that_hold(48878593).front(), DiscMedium::bd128);
  EXPECT_EQ(media_that_hold(62500864).size(), 1u);
  EXPECT_TRUE(media_that_hold(62500865).empty());
}

bool warned(const ImageWriter& writer, BuildWarning warning) {
  for (const BuildWarningEntry& entry : writer.report.warnings) {
    if (entry.warning == warning) return true;
  }
  return false;
}

TEST(DiscMedia, ADiscFolderThatFitsNoDiscOfItsKindIsWarnedAboutAndStillLaidOut) {
  // Sparse files: the layout reads nothing of them.
  ScratchFolder dvd("media-dvd");
  dvd.file("VIDEO_TS/VIDEO_TS.IFO", 10000);
  dvd.sparse_file("VIDEO_TS/VTS_01_1.VOB", 8'540'000'000);
  auto dual_layer = scanned_writer(dvd, all_fs_settings[1]);
  ASSERT_LE(dual_layer->lay_out(), medium_sectors(DiscMedium::dvd9));
  EXPECT_FALSE(warned(*dual_layer, BuildWarning::dvd_too_large));
  dvd.sparse_file("VIDEO_TS/VTS_01_2.VOB", 10'000'000);
  auto too_large = scanned_writer(dvd, all_fs_settings[1]);
  ASSERT_GT(too_large->lay_out(), medium_sectors(DiscMedium::dvd9));
  ASSERT_TRUE(warned(*too_large, BuildWarning::dvd_too_large));
  EXPECT_EQ(too_large->report.warnings.back().path, dvd.at("VIDEO_TS"));
  EXPECT_FALSE(too_large->report.failed());

  // The same size outside a DVD folder is no DVD-video image.
  ScratchFolder plain("media-plain");
  plain.sparse_file("video.bin", 8'560'000'000);
  auto data = scanned_writer(plain, all_fs_settings[1]);
  ASSERT_GT(data->lay_out(), medium_sectors(DiscMedium::dvd9));
  EXPECT_TRUE(data->report.warnings.empty());

  ScratchFolder bluray("media-bluray");
  bluray.file("BDMV/index.bdmv", 100);
  // Sixteen clips of 8 GB: one UDF 2.50 entry holds at most 114 GiB of a
  // file, and not every file system takes a single file of 128 GB.
  for (int clip = 1; clip <= 16; ++clip) {
    const std::string number = std::to_string(clip);
    bluray.sparse_file("BDMV/STREAM/" + std::string(5 - number.size(), '0') + number + ".m2ts",
                       uint64_t{3'906'304} * sector_bytes);
  }
  auto xl = scanned_writer(bluray, all_fs_settings[3]);
  ASSERT_GT(xl->lay_out(), medium_sectors(DiscMedium::bd128));
  ASSERT_TRUE(warned(*xl, BuildWarning::bluray_too_large));
  EXPECT_EQ(xl->report.warnings.back().path, bluray.at("BDMV"));
}

}  // namespace
}  // namespace kestrel::test
