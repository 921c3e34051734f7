// File contents are read ahead and packed into 1 MiB batches: one progress
// report per batch, rising to exactly the image size, and a cancel that takes
// effect at the report where it was asked for, keeping an earlier image.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <vector>

#include "support/queued_calls_refused.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

constexpr uint32_t files = 1500;
constexpr uint64_t file_bytes = 3000;  // two sectors each
constexpr uint32_t batch_sectors = 512;

struct Reports {
  std::vector<uint32_t> done;
  uint32_t total = 0;
  size_t stop_at = 0;  // report number that cancels; 0 never
};

bool record(uint32_t done, uint32_t total, void* context) {
  auto& reports = *static_cast<Reports*>(context);
  reports.done.push_back(done);
  reports.total = total;
  return reports.stop_at == 0 || reports.done.size() < reports.stop_at;
}

// The build job's progress function takes no context: its reports go here.
std::mutex job_reports_mutex;
Reports job_reports;

void record_job_progress(uint32_t done, uint32_t total) {
  std::lock_guard lock(job_reports_mutex);
  record(done, total, &job_reports);
}

class ContentBatches : public ::testing::TestWithParam<FsSetting> {
 protected:
  void SetUp() override {
    for (uint32_t i = 0; i < files; ++i)
      source.file("many/f" + std::to_string(i) + ".bin", file_bytes, i + 1);
  }
  ScratchFolder source{"batches"};
  ScratchFolder output{"batches-out"};
};

// Through the build job on its own thread, as the front ends run it.
TEST_P(ContentBatches, ThreadedBuildReportsRisingProgressPerBatchEndingAtTheImageSize) {
  auto planned = scanned_writer(source, GetParam());
  ASSERT_NE(planned->lay_out(), 0u);
  {
    std::lock_guard lock(job_reports_mutex);
    job_reports = Reports{};
  }
  auto job = start_build(source.path(), u"Progress", GetParam().fs_code, output.at("a.iso"),
                         "Kestrel", "Kestrel 1.5", true, record_job_progress);
  ASSERT_TRUE(job->thread.joinable());
  wait_for_build(*job);
  ASSERT_EQ(job->state.load(), build_state_finished);
  EXPECT_EQ(job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(job->image_sectors, planned->layout.image_sectors);
  EXPECT_EQ(job->sectors_done.load(), job->sectors_total.load());
  EXPECT_EQ(file_size(output.at("a.iso")), uint64_t{job->image_sectors} * sector_bytes);
  EXPECT_EQ(job->content_bytes, files * file_bytes);

  std::lock_guard lock(job_reports_mutex);
  ASSERT_FALSE(job_reports.done.empty());
  EXPECT_EQ(job_reports.done.back(), job->image_sectors);
  EXPECT_EQ(job_reports.total, job->image_sectors);
  for (size_t i = 1; i < job_reports.done.size(); ++i)
    EXPECT_LT(job_reports.done[i - 1], job_reports.done[i]);
  // 3,000 data sectors come as six batches, not as 1,500 writes.
  const uint64_t first_data = planned->layout.file_data_sector_start();
  const uint64_t data_end = first_data + planned->layout.data_sectors;
  size_t content_reports = 0;
  for (uint32_t done : job_reports.done) content_reports += done > first_data && done <= data_end;
  EXPECT_LE(content_reports,
            (planned->layout.data_sectors + batch_sectors - 1) / batch_sectors + 1);
}

// Cancelled at the third report (among the structures) and at the first
// report inside the file data: the write stops at that report and fails as
// cancelled, leaving no image, or the image that was there before untouched.
TEST_P(ContentBatches, CancelStopsAtThatReportAndKeepsTheEarlierImage) {
  auto writer = scanned_writer(source, GetParam());
  ASSERT_NE(writer->lay_out(), 0u);
  Reports dry_run;
  ASSERT_TRUE(writer->write_image(output.at("b.iso"), record, &dry_run));
  size_t first_content = 0;
  while (dry_run.done[first_content] <= writer->layout.file_data_sector_start()) ++first_content;
  ASSERT_GT(first_content, 3u);

  const NativeString target = output.at("c.iso");
  for (const size_t stop_at : {size_t{3}, first_content + 1}) {
    for (const bool earlier_image : {false, true}) {
      SCOPED_TRACE("cancelled at report " + std::to_string(stop_at) +
                   (earlier_image ? " over an earlier image" : ""));
      std::filesystem::remove(std::filesystem::path(target));
      if (earlier_image) output.text_file("c.iso", "an earlier image");
      auto cancelled = scanned_writer(source, GetParam());
      ASSERT_NE(cancelled->lay_out(), 0u);
      Reports reports;
      reports.stop_at = stop_at;
      EXPECT_FALSE(cancelled->write_image(target, record, &reports));
      EXPECT_EQ(cancelled->report.error.error, BuildError::cancelled);
      EXPECT_EQ(reports.done.size(), stop_at);
      EXPECT_EQ(std::filesystem::exists(std::filesystem::path(target)), earlier_image);
      if (earlier_image) {
        EXPECT_EQ(file_size(target), 16u);
      }
      EXPECT_TRUE(temporary_files_of(target).empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ContentBatches, ::testing::ValuesIn(all_fs_settings),
                         fs_setting_name);

// Files are read by two readers, which claim the batches of 512 sectors: a
// file belongs to the reader that claimed the batch where it begins; a file
// of a batch or more the writer copies itself. f0 (700 sectors, the
// writer's) fills batch 0 and runs into batch 1, where f1 (400 sectors from
// 700) begins and runs into batch 2, where f2 (100 sectors from 1100)
// begins. Whoever reads them, and in whatever order they get to batch 2,
// each report comes in image order.
class ContentReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    source.file("f0.bin", 700 * 2048, 1);
    source.file("f1.bin", 400 * 2048, 2);
    source.file("f2.bin", 100 * 2048, 3);
    writer = scanned_writer(source, all_fs_settings[2]);
    EXPECT_NE(writer->lay_out(), 0u);
  }
  ScratchFolder source{"readers"};
  ScratchFolder output{"readers-out"};
  std::unique_ptr<ImageWriter> writer;
};

TEST_F(ContentReaders, TheFirstFaultInImageOrderIsReported) {
  std::filesystem::resize_file(source.at("f1.bin"), 700000);  // ends in batch 2
  std::filesystem::remove(source.at("f2.bin"));
  EXPECT_FALSE(writer->write_image(output.at("a.iso"), nullptr, nullptr));
  EXPECT_EQ(writer->report.error.error, BuildError::source_shrunk);
  EXPECT_EQ(writer->report.error.path, source.at("f1.bin"));
}

// The writer's file f0 and the reader's file f1 both fail in batch 1: f0's
// failure comes first. Where a reader's file fails before the writer's file
// in a batch, the writer stops short of it, and the reader's is reported.
TEST_F(ContentReaders, FaultsOfTheWritersAndTheReadersFilesComeInImageOrder) {
  std::filesystem::resize_file(source.at("f0.bin"), 600 * 2048);
  std::filesystem::remove(source.at("f1.bin"));
  EXPECT_FALSE(writer->write_image(output.at("a.iso"), nullptr, nullptr));
  EXPECT_EQ(writer->report.error.error, BuildError::source_shrunk);
  EXPECT_EQ(writer->report.error.path, source.at("f0.bin"));

  ScratchFolder first_small{"readers-small-first"};
  first_small.file("a.bin", 100 * 2048, 4);
  first_small.file("b.bin", 600 * 2048, 5);  // the writer's, from sector 100
  auto small_first = scanned_writer(first_small, all_fs_settings[2]);
  ASSERT_NE(small_first->lay_out(), 0u);
  std::filesystem::resize_file(first_small.at("a.bin"), 50 * 2048);
  std::filesystem::resize_file(first_small.at("b.bin"), 200 * 2048);
  EXPECT_FALSE(small_first->write_image(output.at("b.iso"), nullptr, nullptr));
  EXPECT_EQ(small_first->report.error.error, BuildError::source_shrunk);
  EXPECT_EQ(small_first->report.error.path, first_small.at("a.bin"));
}

// Small files are read in groups with one call into the system where the
// platform can; where the system refuses to queue calls (ENOSYS from a
// container's seccomp profile, EPERM where io_uring is switched off), the
// scan and the readers make one call at a time, into the same image.
TEST(ContentReadersGroups, GroupedAndSingleReadsMakeTheSameImage) {
  ScratchFolder source{"groups"};
  // Sizes around whole sectors, a file that spans batches, an empty file.
  for (uint32_t i = 0; i < 300; ++i) source.file("f" + std::to_string(i), (i * 677) % 9000, i + 1);
  source.file("big", 9 << 20, 7);  // first in the image, and larger than the ring
  source.file("empty", 0);
  ScratchFolder output{"groups-out"};
  const auto build = [&](const char* name) {
    auto writer = scanned_writer(source, all_fs_settings[3]);
    ASSERT_NE(writer->lay_out(), 0u);
    ASSERT_TRUE(writer->write_image(output.at(name), nullptr, nullptr));
  };
  build("queued.iso");
#ifdef __linux__
  const auto image = [&](const char* name) {
    return read_bytes(output.at(name), 0, static_cast<size_t>(file_size(output.at(name))));
  };
  for (const int error : {ENOSYS, EPERM}) {
    ASSERT_TRUE(test::run_with_queued_calls_refused(error, [&] { build("single.iso"); }));
    EXPECT_TRUE(image("queued.iso") == image("single.iso")) << "refused with " << error;
  }
#endif
}

TEST_F(ContentReaders, GrownFilesAreReportedInImageOrder) {
  for (const char* name : {"f2.bin", "f1.bin"})
    std::filesystem::resize_file(source.at(name), 401 * 2048);
  std::filesystem::resize_file(source.at("f0.bin"), 701 * 2048);
  ASSERT_TRUE(writer->write_image(output.at("b.iso"), nullptr, nullptr));
  ASSERT_EQ(writer->report.warnings.size(), 3u);
  EXPECT_EQ(writer->report.warnings[0].path, source.at("f0.bin"));
  EXPECT_EQ(writer->report.warnings[1].path, source.at("f1.bin"));
  EXPECT_EQ(writer->report.warnings[2].path, source.at("f2.bin"));
}

}  // namespace
}  // namespace kestrel::test
