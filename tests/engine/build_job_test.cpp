// The build job: its inputs and its states (its progress: content_batches_test).
#include "engine/build_job.h"

#include <gtest/gtest.h>

#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

TEST(BuildJob, CodesOutsideOneToFiveDoNothing) {
  ScratchFolder source("codes");
  ScratchFolder output("codes-out");
  for (int32_t code : {0, 6, -1}) {
    auto job = start_build(source.path(), u"", code, output.at("x.iso"), nullptr, nullptr, false);
    EXPECT_EQ(job->state.load(), build_state_preparing);
    EXPECT_EQ(job->error.error, BuildError::invalid_fs_code);
    EXPECT_FALSE(job->thread.joinable());
    EXPECT_EQ(file_size(output.at("x.iso")), 0u);
  }
}

TEST(BuildJob, SourceFolderIsStoredCanonicalWithOneTrailingSeparator) {
  ScratchFolder source("canonical");
  source.folder("sub");
  ScratchFolder output("canonical-out");
  const NativeString separator(1, native_separator);
  const NativeString expected = source.path() + separator;
  for (const NativeString& given :
       {source.path(), source.path() + separator,
        source.path() + separator + KESTREL_NATIVE("sub") + separator + KESTREL_NATIVE("..")}) {
    auto job = start_build(given, u"", 0, output.at("x.iso"), nullptr, nullptr, false);
    EXPECT_EQ(job->source_folder, expected);
  }
}

TEST(BuildJob, ProgramNamesAreCutToTwentyTwoCharacters) {
  ScratchFolder source("names");
  ScratchFolder output("names-out");
  auto job = start_build(source.path(), u"", 0, output.at("x.iso"),
                         "123456789012345678901234567890", nullptr, false);
  EXPECT_EQ(job->implementation_name, "1234567890123456789012");
  EXPECT_TRUE(job->application_name.empty());
}

TEST(BuildJob, SameTreeAndSourceDateEpochGiveTheSameImage) {
  ScratchFolder source("reproducible");
  source.file("a/b.txt", 5000);
  source.file("c.bin", 100);
  ScratchFolder output("reproducible-out");
#ifdef _WIN32
  _putenv_s("SOURCE_DATE_EPOCH", "1600000000");
#else
  setenv("SOURCE_DATE_EPOCH", "1600000000", 1);
#endif
  for (int32_t code : {fs_code_bridge, fs_code_udf250}) {
    auto first = build_image(source.path(), code, output.at("1.iso"));
    auto second = build_image(source.path(), code, output.at("2.iso"));
    ASSERT_EQ(first->outcome, BuildOutcome::succeeded);
    const uint64_t size = file_size(output.at("1.iso"));
    EXPECT_EQ(read_bytes(output.at("1.iso"), 0, static_cast<size_t>(size)),
              read_bytes(output.at("2.iso"), 0, static_cast<size_t>(size)));
    // The volume set identifier starts with the build time in hexadecimal:
    // the time SOURCE_DATE_EPOCH gave, 0x5F5E1000, not the clock's.
    const uint64_t set_identifier = code == fs_code_bridge ? 16 * 2048 + 190 : 32 * 2048 + 73;
    const std::vector<uint8_t> time = read_bytes(output.at("1.iso"), set_identifier, 8);
    EXPECT_EQ(std::string(time.begin(), time.end()), "5F5E1000") << code;
  }
#ifdef _WIN32
  _putenv_s("SOURCE_DATE_EPOCH", "");
#else
  unsetenv("SOURCE_DATE_EPOCH");
#endif
  EXPECT_EQ(build_clock() > 1700000000, true);
}

}  // namespace
}  // namespace kestrel::test
