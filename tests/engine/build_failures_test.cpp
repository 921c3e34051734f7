// Faults during a build: each one fails the build naming the file, and no
// incomplete image is left behind (an earlier image is kept).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>

#include <cerrno>
#endif

#include "engine/build_job.h"
#include "support/queued_calls_refused.h"
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
  EXPECT_TRUE(temporary_files_of(build.output.at("image.iso")).empty());
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

// The growth of a file shows in the read of its last bytes, which asks for
// one byte more: an empty file, and one that fills its last sector, are
// checked apart. The whole-sector file here fills the first three batches of
// 1 MiB exactly, so the next file, in the fourth batch, is read by the other
// reader, which gets there long before the first reader has read 3 MiB.
TEST(BuildFailures, GrowthOfEmptyAndWholeSectorFilesIsNoticed) {
  ScratchFolder source("grown");
  source.file("a-empty.bin", 0);
  source.file("b-whole.bin", 3 * 512 * 2048, 1);
  source.file("c-after.bin", 3000, 2);
  ScratchFolder output("grown-out");
  auto writer = scanned_writer(source, all_fs_settings[2]);
  ASSERT_NE(writer->lay_out(), 0u);
  fs::resize_file(source.at("a-empty.bin"), 10);
  // The byte it gains differs from the first byte of the file after it.
  const uint8_t next_first = read_bytes(source.at("c-after.bin"), 0, 1).at(0);
  std::ofstream(fs::path(source.at("b-whole.bin")), std::ios::binary | std::ios::app)
      .put(static_cast<char>(next_first ^ 0xFF));
  ASSERT_TRUE(writer->write_image(output.at("image.iso"), nullptr, nullptr));
  ASSERT_EQ(writer->report.warnings.size(), 2u);
  EXPECT_EQ(writer->report.warnings[0].path, source.at("a-empty.bin"));
  EXPECT_EQ(writer->report.warnings[1].path, source.at("b-whole.bin"));
  // The file after the whole-sector one is intact: the byte read past the
  // end did not go into its first sector.
  const uint64_t after =
      writer->layout.file_data_sector(*child_named(*writer->tree.root, u"c-after.bin"));
  EXPECT_EQ(read_bytes(output.at("image.iso"), after * sector_bytes, 3000),
            read_bytes(source.at("c-after.bin"), 0, 3000));
}

TEST_P(FaultsInEveryLayout, FileReplacedByAFolderFailsTheBuild) {
  PreparedBuild build(GetParam());
  fs::remove(build.source.at("last.bin"));
  fs::create_directory(build.source.at("last.bin"));
  EXPECT_FALSE(build.write());
  EXPECT_EQ(build.writer->report.error.path, build.source.at("last.bin"));
  EXPECT_FALSE(fs::exists(build.output.at("image.iso")));
}

#ifdef __linux__
// Where the system refuses to queue calls, files are read one at a time: a
// vanished and a shrunk file fail the build there too, each with its path.
TEST(BuildFailures, FaultsAreNamedWhereQueuedCallsAreRefused) {
  const auto fails_naming = [](void (*fault)(const NativeString&), BuildError expected) {
    PreparedBuild build(all_fs_settings[3]);
    fault(build.source.at("keep/victim.bin"));
    ASSERT_TRUE(test::run_with_queued_calls_refused(ENOSYS, [&] { EXPECT_FALSE(build.write()); }));
    EXPECT_EQ(build.writer->report.error.error, expected);
    EXPECT_EQ(build.writer->report.error.path, build.source.at("keep/victim.bin"));
  };
  fails_naming([](const NativeString& file) { fs::remove(file); }, BuildError::source_open_failed);
  fails_naming([](const NativeString& file) { fs::resize_file(file, 100); },
               BuildError::source_shrunk);
}
#endif

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

// The image, and the temporary files of builds to it (one left by a crashed
// build here), are left out; a file merely named like them is not.
TEST(BuildFailures, ImageInsideTheSourceFolderIsNotPutIntoItself) {
  ScratchFolder source("inside");
  source.file("data.bin", 5000);
  source.text_file("image.iso", "an earlier image");
  source.text_file("image.iso.4021-3.kestrel-part", "a crashed build's");
  source.text_file("image.iso.notes.kestrel-part", "the user's own");
  auto job = build_image(source.path(), fs_code_udf250, source.at("image.iso"));
  ASSERT_EQ(job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(job->file_count, 2u);
  std::set<NativeString> skipped;
  for (const BuildWarningEntry& warning : job->warnings) {
    EXPECT_EQ(warning.warning, BuildWarning::image_file_skipped);
    skipped.insert(warning.path);
  }
  EXPECT_EQ(skipped, (std::set<NativeString>{source.at("image.iso"),
                                             source.at("image.iso.4021-3.kestrel-part")}));
  EXPECT_EQ(read_bytes(source.at("image.iso.4021-3.kestrel-part"), 0, 64).size(), 17u);
#ifdef _WIN32
  // Names that differ only in case are one file to Windows.
  auto upper = build_image(source.path(), fs_code_udf250, source.at("IMAGE.ISO"));
  ASSERT_EQ(upper->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(upper->file_count, 2u);
#endif
}

// A build told to keep an existing target leaves a file that took the
// target's name during the build as it is, and says so.
TEST(BuildFailures, TargetThatAppearedDuringTheBuildIsKeptWhenAsked) {
  ScratchFolder source("appeared");
  source.file("data.bin", 5000);
  ScratchFolder output("appeared-out");
  const NativeString target = output.at("image.iso");
  auto writer = scanned_writer(source, all_fs_settings[3]);
  ASSERT_NE(writer->lay_out(), 0u);
  writer->existing_target = ExistingTarget::keep;
  output.text_file("image.iso", "another build's");
  EXPECT_FALSE(writer->write_image(target, nullptr, nullptr));
  EXPECT_EQ(writer->report.error.error, BuildError::output_rename_failed);
  EXPECT_TRUE(is_file_exists_error(writer->report.error.system_error));
  EXPECT_EQ(file_size(target), 15u);
  EXPECT_TRUE(temporary_files_of(target).empty());
}

#ifndef _WIN32
TEST(BuildFailures, LinksBackUpTheTreeAndLinksToNowhereAreLeftOutWithAWarning) {
  ScratchFolder source("links");
  source.file("a/b/c.txt", 10);
  source.file("z.txt", 20);
  // Links to folders that lead back up, links that lead nowhere, and a link
  // to a file, which is copied as the file.
  fs::create_directory_symlink(source.at("a"), source.at("a/b/loop"));
  fs::create_directory_symlink(source.at("a/b"), source.at("a/b/self"));
  fs::create_symlink(source.at("nowhere"), source.at("a/dangling"));
  fs::create_symlink(source.at("a/b/c.txt"), source.at("a/link.txt"));
  ScratchFolder output("links-out");
  auto built = build_image(source.path(), fs_code_udf102, output.at("x.iso"));
  ASSERT_EQ(built->outcome, BuildOutcome::succeeded);
  EXPECT_TRUE(fs::exists(output.at("x.iso")));
  EXPECT_EQ(built->file_count, 3u);       // c.txt, link.txt, z.txt
  EXPECT_EQ(built->directory_count, 2u);  // a, a/b
  std::set<std::pair<BuildWarning, NativeString>> warnings;
  for (const BuildWarningEntry& warning : built->warnings)
    warnings.emplace(warning.warning, warning.path);
  EXPECT_EQ(warnings, (std::set<std::pair<BuildWarning, NativeString>>{
                          {BuildWarning::link_loop_skipped, source.at("a/b/loop")},
                          {BuildWarning::link_loop_skipped, source.at("a/b/self")},
                          {BuildWarning::broken_link_skipped, source.at("a/dangling")}}));
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
