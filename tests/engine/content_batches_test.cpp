// File contents are read ahead and packed into 1 MiB batches: one progress
// report per batch, rising to exactly the image size, and a cancel that takes
// effect at the batch where it was asked for.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "engine_fixture.h"
#include "tests/platform/queued_calls_refused.h"

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

class ContentBatches : public ::testing::TestWithParam<FsSetting> {
 protected:
  void SetUp() override {
    for (uint32_t i = 0; i < files; ++i)
      source.file("many/f" + std::to_string(i) + ".bin", file_bytes, i + 1);
  }
  ScratchFolder source{"batches"};
  ScratchFolder output{"batches-out"};
};

TEST_P(ContentBatches, SmallFilesShareBatchesAndProgressEndsAtTheImageSize) {
  auto writer = scanned_writer(source, GetParam());
  ASSERT_NE(writer->lay_out(), 0u);
  Reports reports;
  ASSERT_TRUE(writer->write_image(output.at("a.iso"), record, &reports));
  ASSERT_FALSE(reports.done.empty());
  EXPECT_EQ(reports.done.back(), writer->layout.image_sectors);
  EXPECT_EQ(reports.total, writer->layout.image_sectors);
  for (size_t i = 1; i < reports.done.size(); ++i) EXPECT_LT(reports.done[i - 1], reports.done[i]);
  // 3,000 data sectors come as six batches, not as 1,500 writes.
  const uint64_t first_data = writer->layout.file_data_sector_start();
  const uint64_t data_end = first_data + writer->layout.data_sectors;
  size_t content_reports = 0;
  for (uint32_t done : reports.done) content_reports += done > first_data && done <= data_end;
  EXPECT_LE(content_reports, (writer->layout.data_sectors + batch_sectors - 1) / batch_sectors + 1);
  EXPECT_EQ(writer->content_bytes_copied, files * file_bytes);
}

TEST_P(ContentBatches, CancelInTheContentsStopsAtThatBatch) {
  auto writer = scanned_writer(source, GetParam());
  ASSERT_NE(writer->lay_out(), 0u);
  // Count the reports up to the first one inside the file data, then cancel there.
  Reports dry_run;
  ASSERT_TRUE(writer->write_image(output.at("b.iso"), record, &dry_run));
  size_t first_content = 0;
  while (dry_run.done[first_content] <= writer->layout.file_data_sector_start()) ++first_content;

  auto cancelled = scanned_writer(source, GetParam());
  ASSERT_NE(cancelled->lay_out(), 0u);
  Reports reports;
  reports.stop_at = first_content + 1;
  EXPECT_FALSE(cancelled->write_image(output.at("c.iso"), record, &reports));
  EXPECT_EQ(cancelled->report.error.error, BuildError::cancelled);
  EXPECT_EQ(reports.done.size(), first_content + 1);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(output.at("c.iso"))));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ContentBatches, ::testing::ValuesIn(all_fs_settings),
                         fs_setting_name);

// Files are read by two readers, which take the batches of 512 sectors in
// turn: a file belongs to the reader of the batch where it begins. f0 (700
// sectors, batch 0) is the first reader's; f1 (400 sectors from 700) the
// second's, running into batch 2; f2 (100 sectors from 1100) the first's
// again. So in batch 2 the second reader notes f1 before the first reader
// notes f2, and each reports in image order whichever reader saw it first.
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
  const auto image = [&](const char* name) {
    return read_bytes(output.at(name), 0, static_cast<size_t>(file_size(output.at(name))));
  };
  build("queued.iso");
#ifdef __linux__
  for (const int error : {ENOSYS, EPERM}) {
    ASSERT_TRUE(
        kestrel::testing::run_with_queued_calls_refused(error, [&] { build("single.iso"); }));
    EXPECT_TRUE(image("queued.iso") == image("single.iso")) << "refused with " << error;
  }
#endif
}

TEST_F(ContentReaders, GrownFilesAreReportedInImageOrder) {
  for (const char* name : {"f2.bin", "f1.bin"})
    std::filesystem::resize_file(source.at(name), 401 * 2048);
  ASSERT_TRUE(writer->write_image(output.at("b.iso"), nullptr, nullptr));
  ASSERT_EQ(writer->report.warnings.size(), 2u);
  EXPECT_EQ(writer->report.warnings[0].path, source.at("f1.bin"));
  EXPECT_EQ(writer->report.warnings[1].path, source.at("f2.bin"));
}

}  // namespace
}  // namespace kestrel::test
