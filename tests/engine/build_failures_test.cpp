// Faults during a build: each one fails the build naming the file, and no
// incomplete image is left behind (an earlier image is kept).
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "engine/build_job.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;

struct PreparedBuild {
  ScratchFolder source{"fault"};
  ScratchFolder output{"fault-out"};
  std::unique_ptr<ImageWriter> writer;

  explicit PreparedBuild(const FsSetting& setting) {
    source.file("keep/first.bin", 5000, 1);
    source.file("keep/victim.bin", 9000, 2);
    source.file("last.bin", 3000, 3);
    writer = scanned_writer(source, setting);
    writer->lay_out();
  }
  bool write() { return writer->write_image(output.at("image.iso"), nullptr, nullptr); }
};

class FaultsInEveryLayout : public ::testing::TestWithParam<FsSetting> {};

TEST_P(FaultsInEveryLayout, VanishedFileFailsTheBuildAndKeepsTheEarlierImage) {
  PreparedBuild build(GetParam());
  build.output.text_file("image.iso", "an earlier image");
  fs::remove(build.source.at("keep/victim.bin"));
  EXPECT_FALSE(build.write());
  EXPECT_EQ(build.writer->report.error.error, BuildError::source_open_failed);
  EXPECT_EQ(build.writer->report.error.path, build.source.at("keep/victim.bin"));
  EXPECT_EQ(file_size(build.output.at("image.iso")), 16u);
  EXPECT_FALSE(fs::exists(build.output.at("image.iso.kestrel-part")));
}

TEST_P(FaultsInEveryLayout, ShrunkFileFailsTheBuild) {
  PreparedBuild build(GetParam());
  fs::resize_file(build.source.at("keep/victim.bin"), 100);
  EXPECT_FALSE(build.write());
  EXPECT_EQ(build.writer->report.error.error, BuildError::source_shrunk);
  EXPECT_EQ(build.writer->report.error.path, build.source.at("keep/victim.bin"));
  EXPECT_FALSE(fs::exists(build.output.at("image.iso")));
}

TEST_P(FaultsInEveryLayout, GrownFileIsCutAtItsScannedSizeWithAWarning) {
  PreparedBuild build(GetParam());
  fs::resize_file(build.source.at("keep/victim.bin"), 20000);
  EXPECT_TRUE(build.write());
  ASSERT_EQ(build.writer->report.warnings.size(), 1u);
  EXPECT_EQ(build.writer->report.warnings[0].warning, BuildWarning::source_grew);
  EXPECT_EQ(build.writer->report.warnings[0].path, build.source.at("keep/victim.bin"));
  EXPECT_EQ(file_size(build.output.at("image.iso")),
            uint64_t{build.writer->layout.image_sectors} * sector_bytes);
}

TEST_P(FaultsInEveryLayout, FileReplacedByAFolderFailsTheBuild) {
  PreparedBuild build(GetParam());
  fs::remove(build.source.at("last.bin"));
  fs::create_directory(build.source.at("last.bin"));
  EXPECT_FALSE(build.write());
  EXPECT_EQ(build.writer->report.error.path, build.source.at("last.bin"));
  EXPECT_FALSE(fs::exists(build.output.at("image.iso")));
}

INSTANTIATE_TEST_SUITE_P(Layouts, FaultsInEveryLayout, ::testing::ValuesIn(all_fs_settings),
                         fs_setting_name);

TEST(BuildFailures, MissingOutputFolderIsReported) {
  ScratchFolder source("nofolder");
  ScratchFolder output("nofolder-out");
  auto job = build_image(source.path(), fs_code_iso9660, output.at("missing/x.iso"));
  EXPECT_EQ(job->state.load(), build_state_finished);
  EXPECT_EQ(job->outcome, BuildOutcome::failed);
  EXPECT_EQ(job->error.error, BuildError::output_create_failed);
  EXPECT_EQ(job->error.path, output.at("missing/x.iso"));
}

TEST(BuildFailures, MissingSourceIsReported) {
  ScratchFolder output("nosource-out");
  auto job = build_image(output.at("no such folder"), fs_code_udf250, output.at("x.iso"));
  EXPECT_EQ(job->outcome, BuildOutcome::failed);
  EXPECT_EQ(job->error.error, BuildError::source_not_found);
  EXPECT_FALSE(fs::exists(output.at("x.iso")));
}

#ifndef _WIN32
TEST(BuildFailures, FolderLinkBackIntoItsTreeAndDanglingLinksAreReported) {
  ScratchFolder source("links");
  source.file("a/b/c.txt", 10);
  fs::create_directory_symlink(source.at("a"), source.at("a/b/loop"));
  ScratchFolder output("links-out");
  auto looped = build_image(source.path(), fs_code_udf102, output.at("x.iso"));
  EXPECT_EQ(looped->error.error, BuildError::source_loop);
  EXPECT_EQ(looped->error.path, source.at("a/b/loop"));

  EXPECT_FALSE(fs::exists(output.at("x.iso")));

  // Links to files are copied as the file; links that lead nowhere are left
  // out with a warning.
  fs::remove(source.at("a/b/loop"));
  fs::create_symlink(source.at("nowhere"), source.at("a/dangling"));
  fs::create_symlink(source.at("a/b/c.txt"), source.at("a/link.txt"));
  auto built = build_image(source.path(), fs_code_udf102, output.at("x.iso"));
  EXPECT_EQ(built->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(built->file_count, 2u);
  ASSERT_EQ(built->warnings.size(), 1u);
  EXPECT_EQ(built->warnings[0].warning, BuildWarning::broken_link_skipped);
  EXPECT_EQ(built->warnings[0].path, source.at("a/dangling"));
}

TEST(BuildFailures, ImageInsideTheSourceFolderIsNotPutIntoItself) {
  ScratchFolder source("inside");
  source.file("data.bin", 5000);
  source.text_file("image.iso", "an earlier image");
  auto job = build_image(source.path(), fs_code_udf250, source.at("image.iso"));
  ASSERT_EQ(job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(job->file_count, 1u);
}

TEST(BuildFailures, PipesAreLeftOutWithAWarningInsteadOfStallingTheBuild) {
  ScratchFolder source("fifo");
  source.file("data.bin", 10);
  ASSERT_EQ(mkfifo(source.at("pipe").c_str(), 0600), 0);
  ScratchFolder output("fifo-out");
  auto job = build_image(source.path(), fs_code_udf250, output.at("x.iso"));
  EXPECT_EQ(job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(job->file_count, 1u);
  ASSERT_EQ(job->warnings.size(), 1u);
  EXPECT_EQ(job->warnings[0].warning, BuildWarning::special_file_skipped);
  EXPECT_EQ(job->warnings[0].path, source.at("pipe"));
}
#endif

}  // namespace
}  // namespace kestrel::test
