// Faults injected into the file layer at every call a build makes: each open,
// read, write and folder listing in turn fails or comes up short. Whatever
// call fails, the build either reports the failure with a code and the path
// of the file or folder concerned, leaving no image (and keeping an earlier
// one), or, when the failed call did not matter to the image, produces an
// image equal byte for byte to the one a build without faults makes.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "engine/build_job.h"
#include "platform/fault_injection.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using fault_injection::FaultEffect;
using fault_injection::FileOperation;

#ifdef KESTREL_FAULT_INJECTION

constexpr char earlier_image[] = "an earlier image";

struct Layout {
  const char* name;
  int32_t fs_code;
};

constexpr Layout layouts[] = {
    {"iso9660", fs_code_iso9660},
    {"bridge", fs_code_bridge},
    {"udf102", fs_code_udf102},
    {"udf250", fs_code_udf250},
};

const char* operation_name(FileOperation operation) {
  switch (operation) {
    case FileOperation::open: return "open";
    case FileOperation::read: return "read";
    case FileOperation::write: return "write";
    case FileOperation::list: return "list";
    case FileOperation::start_thread: return "start_thread";
  }
  return "?";
}

// A small tree whose copy needs several read and write batches: a file of
// 1.5 MiB takes two read batches and goes to the image in two writes.
class InjectedFaults : public ::testing::TestWithParam<Layout> {
 protected:
  void SetUp() override {
    setenv("SOURCE_DATE_EPOCH", "1650000000", 1);
    source.file("a/one.bin", 3 * 512 * 1024, 11);
    source.file("a/b/two.bin", 5000, 12);
    source.file("zero.bin", 0);
    source.file("c/three.bin", 3000, 13);
    source.folder("d");
    for (const auto& item : fs::recursive_directory_iterator(source.path())) {
      if (item.is_directory()) {
        folders.insert(item.path().native() + native_separator);
      } else {
        files.insert(item.path().native());
      }
    }
    folders.insert(source.path() + native_separator);
  }
  void TearDown() override {
    fault_injection::reset();
    unsetenv("SOURCE_DATE_EPOCH");
  }

  std::unique_ptr<BuildJob> build(const NativeString& target) {
    return build_image(source.path(), GetParam().fs_code, target, u"FAULTS");
  }

  ScratchFolder source{"injected"};
  ScratchFolder output{"injected-out"};
  std::set<NativeString> files;
  std::set<NativeString> folders;  // listed with a trailing separator
};

TEST_P(InjectedFaults, EveryFailingCallIsReportedOrLeavesTheImageExact) {
  fault_injection::reset();
  auto clean = build(output.at("clean.iso"));
  ASSERT_EQ(clean->outcome, BuildOutcome::succeeded);
  const NativeString clean_path = output.at("clean.iso");
  const std::vector<uint8_t> expected =
      read_bytes(clean_path, 0, static_cast<size_t>(file_size(clean_path)));
  uint64_t calls[fault_injection::file_operation_count];
  for (int op = 0; op < fault_injection::file_operation_count; ++op) {
    calls[op] = fault_injection::call_count(static_cast<FileOperation>(op));
  }
  ASSERT_GT(calls[static_cast<int>(FileOperation::write)], 2u);
  ASSERT_GE(calls[static_cast<int>(FileOperation::read)], 4u);

  const NativeString target = output.at("image.iso");
  struct Case {
    FileOperation operation;
    FaultEffect effect;
    SystemError error;
  };
  const Case cases[] = {
      {FileOperation::open, FaultEffect::fail, EACCES},
      {FileOperation::read, FaultEffect::fail, EIO},
      {FileOperation::read, FaultEffect::short_count, 0},  // looks like a file that ends early
      {FileOperation::write, FaultEffect::fail, EIO},
      {FileOperation::write, FaultEffect::short_count, ENOSPC},  // the disk fills up
      {FileOperation::list, FaultEffect::fail, EACCES},
  };
  int failed_builds = 0;
  for (const Case& c : cases) {
    const uint64_t count = calls[static_cast<int>(c.operation)];
    for (uint64_t nth = 1; nth <= count; ++nth) {
      SCOPED_TRACE(std::string(operation_name(c.operation)) + " call " + std::to_string(nth) +
                   (c.effect == FaultEffect::short_count ? " short" : " failed"));
      output.text_file("image.iso", earlier_image);
      fault_injection::reset();
      fault_injection::arm(c.operation, nth, c.effect, c.error);
      auto job = build(target);
      ASSERT_EQ(job->state.load(), build_state_finished);
      EXPECT_TRUE(temporary_files_of(target).empty());
      if (job->outcome == BuildOutcome::succeeded) {
        // Only a read past a file's scanned size (the check for growth) may
        // fail without harm.
        EXPECT_EQ(c.operation, FileOperation::read);
        EXPECT_EQ(read_bytes(target, 0, expected.size() + 1), expected);
        continue;
      }
      ++failed_builds;
      ASSERT_EQ(job->outcome, BuildOutcome::failed);
      EXPECT_EQ(read_bytes(target, 0, 64), std::vector<uint8_t>(earlier_image, earlier_image + 16));
      const BuildErrorInfo& error = job->error;
      switch (c.operation) {
        case FileOperation::open:
          // The files are read from the moment their places are known,
          // while the layout is finished: the image file may be created
          // before or after the first of them is opened.
          if (error.error == BuildError::output_create_failed) {
            EXPECT_EQ(error.path, target);
          } else {
            EXPECT_EQ(error.error, BuildError::source_open_failed);
            EXPECT_TRUE(files.count(error.path)) << error.path;
          }
          EXPECT_EQ(error.system_error, EACCES);
          break;
        case FileOperation::read:
          EXPECT_EQ(error.error,
                    c.error == 0 ? BuildError::source_shrunk : BuildError::source_read_failed);
          EXPECT_TRUE(files.count(error.path)) << error.path;
          break;
        case FileOperation::write:
          EXPECT_EQ(error.error, BuildError::output_write_failed);
          EXPECT_EQ(error.path, target);
          EXPECT_EQ(error.system_error, c.error);
          break;
        case FileOperation::list:
          EXPECT_EQ(error.error, BuildError::source_list_failed);
          EXPECT_TRUE(folders.count(error.path)) << error.path;
          break;
        case FileOperation::start_thread: ADD_FAILURE() << "builds here start no thread"; break;
      }
    }
  }
  RecordProperty("faults_injected", std::to_string(fault_injection::faults_delivered()));
  // Every open, write and listing matters; only the growth checks may not.
  EXPECT_GE(failed_builds, 2 * static_cast<int>(calls[static_cast<int>(FileOperation::write)]) +
                               static_cast<int>(calls[static_cast<int>(FileOperation::open)] +
                                                calls[static_cast<int>(FileOperation::list)]));
}

// A fault in the structures before any file data (the volume descriptors,
// path tables and UDF metadata) followed by writes that succeed must still
// fail the build: the image would have a hole where its descriptors belong.
TEST_P(InjectedFaults, FirstWriteFailingIsNotHiddenByLaterWrites) {
  fault_injection::reset();
  fault_injection::arm(FileOperation::write, 1, FaultEffect::short_count, ENOSPC);
  auto job = build(output.at("x.iso"));
  EXPECT_EQ(job->outcome, BuildOutcome::failed);
  EXPECT_EQ(job->error.error, BuildError::output_write_failed);
  EXPECT_EQ(job->error.system_error, ENOSPC);
  EXPECT_FALSE(fs::exists(output.at("x.iso")));
}

// A failed build reports what the image file took before the failure, not
// what it was to hold: the bytes of the writes before the failing one, and
// the contents of the batches among them. The last write pushes out the
// buffer with the last, partly filled batch of contents and the structures
// after it: the contents reported then are those of the first batch only.
TEST_P(InjectedFaults, FailedBuildReportsWhatItWrote) {
  fault_injection::reset();
  auto clean = build(output.at("clean.iso"));
  ASSERT_EQ(clean->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(clean->written_bytes, uint64_t{clean->image_sectors} * sector_bytes);
  EXPECT_EQ(clean->content_bytes, uint64_t{3 * 512 * 1024 + 5000 + 3000});
  const uint64_t writes = fault_injection::call_count(FileOperation::write);
  ASSERT_GE(writes, 3u);
  uint64_t last_written = 0;
  uint64_t last_content = 0;
  for (uint64_t nth = 1; nth <= writes; ++nth) {
    SCOPED_TRACE("write " + std::to_string(nth) + " of " + std::to_string(writes));
    fault_injection::reset();
    fault_injection::arm(FileOperation::write, nth, FaultEffect::fail, EIO);
    auto job = build(output.at("x.iso"));
    ASSERT_EQ(job->outcome, BuildOutcome::failed);
    EXPECT_LT(job->written_bytes, clean->written_bytes);
    EXPECT_LE(job->content_bytes, job->written_bytes);
    EXPECT_GE(job->written_bytes, last_written);
    EXPECT_GE(job->content_bytes, last_content);
    last_written = job->written_bytes;
    last_content = job->content_bytes;
  }
  EXPECT_GT(last_content, 0u);
  EXPECT_LT(last_content, clean->content_bytes);
}

INSTANTIATE_TEST_SUITE_P(Robustness, InjectedFaults, ::testing::ValuesIn(layouts),
                         [](const ::testing::TestParamInfo<Layout>& param_info) {
                           return std::string(param_info.param.name);
                         });

// A worker thread the system will not start: the caller gets a finished,
// failed job with the system's reason, and no image, instead of an exception
// that would end the program.
TEST(RobustnessInjectedFaults, AThreadThatCannotStartGivesAFailedJob) {
  ScratchFolder source("no-thread");
  source.file("a.bin", 100);
  ScratchFolder output("no-thread-out");
  fault_injection::reset();
  fault_injection::arm(FileOperation::start_thread, 1, FaultEffect::fail, EAGAIN);
  auto job = start_build(source.path(), u"", fs_code_udf250, output.at("x.iso"), "Kestrel",
                         "Kestrel 1.5", true);
  fault_injection::reset();
  EXPECT_FALSE(job->thread.joinable());
  EXPECT_EQ(job->state.load(), build_state_finished);
  EXPECT_EQ(job->outcome, BuildOutcome::failed);
  EXPECT_EQ(job->error.error, BuildError::worker_start_failed);
  EXPECT_EQ(job->error.system_error, EAGAIN);
  wait_for_build(*job);
  EXPECT_FALSE(fs::exists(output.at("x.iso")));
}

#else

TEST(RobustnessInjectedFaults, NeedsTheFaultInjectionBuild) {
  GTEST_SKIP() << "configure with -DKESTREL_FAULT_INJECTION=ON to inject file-layer faults";
}

#endif

}  // namespace
}  // namespace kestrel::test
