// Folder trees far deeper than any stack: a chain of folders, one inside the
// next, scanned, laid out and written on a thread whose stack is small, so
// that a walk that recursed once per level would overflow it long before the
// bottom. Windows long paths allow chains of thousands of folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

#include "engine/build_job.h"
#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "support/scanned_tree.h"
#include "support/scratch_folder.h"
#include "support/time_zone.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;

// Enough for every walk of the engine, far too little for one stack frame
// per level of a chain of hundreds of folders.
constexpr size_t small_stack_bytes = 64 * 1024;
constexpr int chain_depth = 10000;

#ifdef _WIN32
DWORD WINAPI run_work(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}
#else
void* run_work(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return nullptr;
}
#endif

void run_on_small_stack(const std::function<void()>& work) {
  void* argument = const_cast<std::function<void()>*>(&work);
#ifdef _WIN32
  HANDLE thread = CreateThread(nullptr, small_stack_bytes, run_work, argument,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
#else
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, small_stack_bytes);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, run_work, argument), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
#endif
}

// A chain of `depth` folders below `top`, named `names` in turn, with a
// file at the bottom. It grows at the top, one folder at a time, so that no
// path the test uses is longer than two names, whatever the system's path
// limit. Returns the name of the top folder.
fs::path make_chain(const fs::path& top, const fs::path (&names)[2], int depth) {
  fs::create_directories(top / names[0]);
  std::ofstream(top / names[0] / "bottom.txt") << "bottom";
  for (int level = 1; level < depth; ++level) {
    const fs::path& below = names[(level - 1) % 2];
    const fs::path& above = names[level % 2];
    fs::create_directory(top / above);
    fs::rename(top / below, top / above / below);
  }
  return names[(depth - 1) % 2];
}

// Takes the chain apart from the top, again with short paths only.
void remove_chain(const fs::path& top, const fs::path (&names)[2], fs::path upper) {
  std::error_code error;
  for (;;) {
    const fs::path lower = upper == names[0] ? names[1] : names[0];
    if (!fs::is_directory(top / upper / lower, error) || error) break;
    fs::rename(top / upper / lower, top / lower, error);
    if (!error) fs::remove(top / upper, error);
    if (error) break;
    upper = lower;
  }
  fs::remove_all(top, error);
}

// Where the chain is made: in memory (/dev/shm, seen as Z:\dev\shm under
// Wine) where the system has it, since taking ten thousand folders apart on
// a journaling disk takes half a minute; else in a scratch folder.
fs::path chain_folder(const ScratchFolder& scratch) {
#ifdef _WIN32
  const fs::path memory = L"Z:\\dev\\shm";
#else
  const fs::path memory = "/dev/shm";
#endif
  std::error_code error;
  if (!fs::is_directory(memory, error)) return fs::path(scratch.at("source"));
  const fs::path leaf = fs::path(scratch.path()).filename();
  return memory / leaf;
}

TEST(RobustnessDepth, AChainOfTenThousandFoldersExhaustsNoStack) {
  ScratchFolder scratch("deep-chain");
  const fs::path source = chain_folder(scratch);
  // Wine looks up every step of a path anew on each call, so listing a
  // chain costs the cube of its depth there; longer names make its path
  // limit (the host's 4,096 bytes) end the listing after some 270 levels.
  // Wine also gives every thread at least 1 MiB of stack: there the test
  // shows that the Win32 layer lists the chain as deep as the host allows
  // and then fails clearly; on Linux and on Windows itself, the small stack
  // also catches a walk that recurses.
  const fs::path names[2] = {running_under_wine() ? "folder-level-a" : "a",
                             running_under_wine() ? "folder-level-b" : "b"};
  const fs::path upper = make_chain(source, names, chain_depth);
  std::unique_ptr<BuildJob> job;
  run_on_small_stack(
      [&] { job = build_image(source.native(), fs_code_udf250, scratch.at("deep.iso")); });
  remove_chain(source, names, upper);
  ASSERT_NE(job, nullptr);
  if (job->outcome == BuildOutcome::succeeded) {
    EXPECT_EQ(job->directory_count, static_cast<uint32_t>(chain_depth));
    EXPECT_EQ(job->file_count, 1u);
  } else {
    // Where the file layer names folders by whole paths, a path past the
    // system's limit cannot be listed: the build says so, naming the folder.
    EXPECT_EQ(job->error.error, BuildError::source_list_failed);
    EXPECT_GE(job->error.path.size(), 3500u);
    EXPECT_NE(job->error.system_error, 0);
  }
}

// Discards the image, counting its sectors.
class CountingOutput final : public SectorOutput {
 public:
  bool write(const uint8_t*, size_t count) override {
    bytes += count;
    return true;
  }
  bool finish() override { return true; }
  SystemError error() const override { return 0; }
  uint64_t bytes_written() const override { return bytes; }
  uint64_t bytes = 0;
};

TEST(RobustnessDepth, EveryLayoutAndWritePassOverAChainKeepsToTheHeap) {
  constexpr int depth = 20000;  // fewer folders than an ISO 9660 path table can number
  ScratchFolder empty("deep-tree");
  for (const auto& [fs_flags, revision] :
       {std::pair{fs_iso9660, udf_revision_102}, std::pair{fs_iso9660 | fs_udf, udf_revision_102},
        std::pair{fs_udf, udf_revision_102}, std::pair{fs_udf, udf_revision_250}}) {
    SCOPED_TRACE(fs_flags * 0x10000 + revision);
    ImageWriter writer(1700000000);
    writer.settings.fs_flags = fs_flags;
    writer.settings.udf_revision = revision;
    writer.tree.source_folder = empty.path() + native_separator;
    ASSERT_TRUE(scan_source(writer));
    // The chain is added the way the scan adds folders.
    FindEntry folder;
    folder.is_directory = true;
    SourceNode* directory = writer.tree.root;
    for (int level = 0; level < depth; ++level) {
      SourceNode* last = nullptr;
      directory = add_node(writer, *directory, last, u"d", KESTREL_NATIVE("d"), folder);
      ASSERT_NE(directory, nullptr);
    }
    CountingOutput image;
    bool written = false;
    run_on_small_stack(
        [&] { written = writer.lay_out() != 0 && writer.write_sequence(image, nullptr, nullptr); });
    EXPECT_TRUE(written) << static_cast<int>(writer.report.error.error);
    EXPECT_EQ(image.bytes, uint64_t{writer.layout.image_sectors} * sector_bytes);
  }
}

}  // namespace
}  // namespace kestrel::test
