// Which kind of disc a source folder is, and the layout that follows.
#include "engine/fs_detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/build_job.h"
#include "support/scratch_folder.h"

namespace kestrel::test {
namespace {

TEST(SourceDescription, OnlyFoldersMakeADiscAndTheirCaseDoesNotMatter) {
  ScratchFolder files("detect-files");
  // Files named like the disc folders make nothing a disc.
  for (const char* name : {"BDMV", "BDAV", "VIDEO_TS", "AUDIO_TS"}) files.file(name, 1);
  EXPECT_EQ(describe_source(files.path()).kind, DiscKind::plain);
  EXPECT_EQ(fs_code_for(files.path(), LayoutChoice::iso9660), fs_code_iso9660);

  ScratchFolder dvd("detect-dvd");
  dvd.folder("video_ts");
  const SourceDescription lower = describe_source(dvd.path());
  EXPECT_EQ(lower.kind, DiscKind::dvd);
  EXPECT_EQ(lower.deciding_folder, DiscFolder::video_ts);
  EXPECT_EQ(lower.folder(DiscFolder::video_ts), native("video_ts"));
  EXPECT_FALSE(lower.has(DiscFolder::audio_ts));
  const LayoutDecision forced = decide_layout(lower, LayoutChoice::udf102);
  EXPECT_EQ(forced.fs_code, fs_code_bridge);
  EXPECT_EQ(forced.reason, LayoutReason::dvd_folder);

  // A Blu-ray folder decides over a DVD folder.
  dvd.folder("Bdav");
  const SourceDescription both = describe_source(dvd.path() + native_separator);
  EXPECT_EQ(both.kind, DiscKind::bluray);
  EXPECT_EQ(both.deciding_folder, DiscFolder::bdav);
  EXPECT_EQ(decide_layout(both, LayoutChoice::bridge).reason, LayoutReason::bluray_folder);
  EXPECT_EQ(fs_code_for(dvd.path(), LayoutChoice::iso9660), fs_code_bluray);

  const SourceDescription plain = describe_source(files.path());
  const LayoutDecision chosen = decide_layout(plain, LayoutChoice::udf102);
  EXPECT_EQ(chosen.fs_code, fs_code_udf102);
  EXPECT_EQ(chosen.reason, LayoutReason::chosen);
}

// The scan takes the source folder's names from the description and makes
// its nodes in their order: in byte order, close to the orders the image
// records, a wide folder's later passes walk memory front to back. However
// the system lists them (by hash, by age), they come sorted.
TEST(SourceDescription, NamesComeInByteOrderWhateverTheListing) {
  ScratchFolder source("described-order");
  std::vector<NativeString> made;
  for (int i = 40; i-- > 0;) {
    const std::string name = "entry_" + std::to_string(i * 7919 % 97) + (i % 3 == 0 ? ".txt" : "");
    source.file(name, 1);
    made.push_back(native(name));
  }
  std::sort(made.begin(), made.end());
  EXPECT_EQ(describe_source(source.path()).names, made);
}

// The build goes by the description the front end chose its layout from,
// and lists the source folder no second time: a DVD folder that appears
// after the choice does not turn the image into a DVD-video image behind
// the user's back, while a build given no description finds it.
TEST(SourceDescription, TheBuildTakesTheDescriptionItIsGiven) {
  ScratchFolder source("described");
  ScratchFolder output("described-out");
  source.file("readme.txt", 10);
  BuildOptions options;
  options.source_description =
      std::make_shared<const SourceDescription>(describe_source(source.path()));
  source.folder("VIDEO_TS");
  source.file("VIDEO_TS/VIDEO_TS.IFO", 2048);
  const auto given = start_build(source.path(), u"", fs_code_bridge, output.at("given.iso"),
                                 nullptr, nullptr, false, nullptr, options);
  EXPECT_EQ(given->outcome, BuildOutcome::succeeded);
  EXPECT_FALSE(given->dvd_video_mode);
  const auto own = start_build(source.path(), u"", fs_code_bridge, output.at("own.iso"), nullptr,
                               nullptr, false);
  EXPECT_EQ(own->outcome, BuildOutcome::succeeded);
  EXPECT_TRUE(own->dvd_video_mode);
}

#ifndef _WIN32
TEST(SourceDescription, TheFolderNamedAsTheFormatWritesItWinsOverAnotherCase) {
  ScratchFolder both("detect-case");
  both.folder("Video_TS");
  both.folder("VIDEO_TS");
  both.folder("video_ts");
  EXPECT_EQ(describe_source(both.path()).folder(DiscFolder::video_ts), native("VIDEO_TS"));
}
#endif

}  // namespace
}  // namespace kestrel::test
