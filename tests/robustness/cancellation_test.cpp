// Cancelling a build on its worker thread, as the front ends do from their
// own thread: during the scan and during the copy the build winds down within
// a second, ends as cancelled and leaves no image (an earlier one is kept).
// These tests also run under ThreadSanitizer (tools/run-tsan.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/build_job.h"
#include "support/test_tree.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Cancels `job` and returns how long the worker took to end.
double cancel_and_wait(BuildJob& job) {
  const auto asked = Clock::now();
  job.cancel_requested.store(true);
  wait_for_build(job);
  return std::chrono::duration<double>(Clock::now() - asked).count();
}

void expect_cancelled_without_image(const BuildJob& job, const NativeString& target) {
  EXPECT_EQ(job.state.load(), build_state_finished);
  EXPECT_EQ(job.outcome, BuildOutcome::cancelled);
  EXPECT_EQ(job.error.error, BuildError::cancelled);
  EXPECT_FALSE(fs::exists(target + KESTREL_NATIVE(".kestrel-part")));
}

TEST(RobustnessCancel, CancelDuringTheScanEndsTheBuildAtOnce) {
  ScratchFolder source("cancel-scan");
  for (int folder = 0; folder < 10; ++folder) {
    for (int file = 0; file < 1000; ++file) {
      source.text_file("d" + std::to_string(folder) + "/f" + std::to_string(file), "");
    }
  }
  ScratchFolder output("cancel-scan-out");
  const NativeString target = output.at("x.iso");
  auto job =
      start_build(source.path(), u"", fs_code_udf250, target, "Kestrel", "Kestrel 1.5", true);
  EXPECT_LT(cancel_and_wait(*job), 1.0);
  expect_cancelled_without_image(*job, target);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(job->sectors_done.load(), 0u);
}

TEST(RobustnessCancel, CancelDuringTheCopyStopsWithinABatchAndKeepsTheEarlierImage) {
  ScratchFolder source("cancel-copy");
  source.sparse_file("big.bin", uint64_t{3} << 30);
  ScratchFolder output("cancel-copy-out");
  const NativeString target = output.at("x.iso");
  output.text_file("x.iso", "an earlier image");
  auto job =
      start_build(source.path(), u"", fs_code_bridge, target, "Kestrel", "Kestrel 1.5", true);
  // Wait until file contents are being copied: past the first 16 MiB.
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (job->sectors_done.load() < 8192 && job->state.load() != build_state_finished &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_NE(job->state.load(), build_state_finished)
      << "the build ended before it could be cancelled";
  EXPECT_LT(cancel_and_wait(*job), 1.0);
  expect_cancelled_without_image(*job, target);
  EXPECT_EQ(file_size(target), 16u);
  EXPECT_LT(job->sectors_done.load(), job->sectors_total.load());
}

}  // namespace
}  // namespace kestrel::test
