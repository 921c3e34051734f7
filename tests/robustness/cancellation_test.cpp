// Cancelling a build on its worker thread, as the front ends do from their
// own thread: during the scan and during the copy the build winds down within
// a second, ends as cancelled and leaves no image (an earlier one is kept).
// These tests also run under ThreadSanitizer (tools/run-tsan.sh).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "engine/build_job.h"
#include "support/scratch_folder.h"

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
  EXPECT_TRUE(temporary_files_of(target).empty());
}

// Cancelled during the scan of 10,000 files (no image there before) and
// during the copy of a 3 GiB file (over an earlier image).
TEST(RobustnessCancel, CancelDuringTheScanOrTheCopyEndsTheBuildWithinASecond) {
  ScratchFolder scanned("cancel-scan");
  for (int folder = 0; folder < 10; ++folder) {
    for (int file = 0; file < 1000; ++file) {
      scanned.text_file("d" + std::to_string(folder) + "/f" + std::to_string(file), "");
    }
  }
  ScratchFolder output("cancel-out");
  const NativeString scan_target = output.at("scan.iso");
  auto scan =
      start_build(scanned.path(), u"", fs_code_udf250, scan_target, "Kestrel", "Kestrel 1.5", true);
  EXPECT_LT(cancel_and_wait(*scan), 1.0);
  expect_cancelled_without_image(*scan, scan_target);
  EXPECT_FALSE(fs::exists(scan_target));
  EXPECT_EQ(scan->sectors_done.load(), 0u);
  // The scan itself stopped: it did not go on to list every file.
  EXPECT_LT(scan->file_count, 10000u);

  ScratchFolder copied("cancel-copy");
  copied.sparse_file("big.bin", uint64_t{3} << 30);
  const NativeString copy_target = output.at("copy.iso");
  output.text_file("copy.iso", "an earlier image");
  auto copy =
      start_build(copied.path(), u"", fs_code_bridge, copy_target, "Kestrel", "Kestrel 1.5", true);
  // Wait until file contents are being copied: past the first 16 MiB.
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (copy->sectors_done.load() < 8192 && copy->state.load() != build_state_finished &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_NE(copy->state.load(), build_state_finished)
      << "the build ended before it could be cancelled";
  EXPECT_LT(cancel_and_wait(*copy), 1.0);
  expect_cancelled_without_image(*copy, copy_target);
  EXPECT_EQ(file_size(copy_target), 16u);
  EXPECT_LT(copy->sectors_done.load(), copy->sectors_total.load());
}

}  // namespace
}  // namespace kestrel::test
