// Groups of small files read with one call into the system, where the
// platform has a reader for them: each file's bytes, the end of the file
// found with or without room for the byte past it, and failures that name
// the file they belong to.
#include <gtest/gtest.h>

#include <string>

#include "platform/small_files.h"
#include "support/scratch_folder.h"

// Only Linux has such a reader (io_uring); names here are narrow strings.
#ifdef __linux__
namespace kestrel {
namespace {

using test::native;
using test::ScratchFolder;
using test::write_file;

TEST(SmallFiles, AGroupIsReadWholeAndEachFileIsJudgedOnItsOwn) {
  auto reader = SmallFileReader::create();
  if (!reader) GTEST_SKIP() << "no reader for groups of files on this system";
  ScratchFolder scratch;
  FolderHandle folder;
  ASSERT_TRUE(folder.open(scratch.path() + native_separator));
  // name, bytes on disk, bytes expected, room at the destination
  struct Case {
    const char* name;
    size_t on_disk;
    size_t expected;
    size_t room;
  };
  const Case cases[] = {
      {"as-listed", 3000, 3000, 4096},     // the byte past the end read into the room
      {"whole-sector", 2048, 2048, 2048},  // the byte past the end read elsewhere
      {"grown", 3001, 3000, 4096},        {"grown-whole", 2049, 2048, 2048},
      {"shrunk", 1000, 3000, 4096},       {"missing", 0, 100, 2048},
  };
  constexpr size_t count = sizeof cases / sizeof cases[0];
  std::string contents[count];
  std::string buffers[count];
  SmallFileRead reads[count];
  for (size_t i = 0; i < count; ++i) {
    contents[i] = std::string(cases[i].on_disk, static_cast<char>('a' + i));
    if (std::string(cases[i].name) != "missing") {
      ASSERT_TRUE(write_file(scratch / native(cases[i].name), contents[i]));
    }
    buffers[i].assign(cases[i].room + 1, '\xEE');  // a guard byte after the room
    reads[i].folder = &folder;
    reads[i].name = cases[i].name;
    reads[i].destination = reinterpret_cast<uint8_t*>(buffers[i].data());
    reads[i].size = cases[i].expected;
    reads[i].room = cases[i].room;
  }
  ASSERT_TRUE(reader->read(reads, count));

  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(cases[i].name);
    const SmallFileRead& read = reads[i];
    const std::string name = cases[i].name;
    if (name == "missing") {
      EXPECT_NE(read.open_error, 0);
      continue;
    }
    EXPECT_EQ(read.open_error, 0);
    EXPECT_EQ(read.read_error, 0);
    EXPECT_EQ(read.got, std::min(cases[i].on_disk, cases[i].expected));
    EXPECT_EQ(read.grown, cases[i].on_disk > cases[i].expected);
    EXPECT_EQ(buffers[i].substr(0, read.got), contents[i].substr(0, read.got));
    EXPECT_EQ(buffers[i].back(), '\xEE') << "written past the room";
  }
  // The files are closed: the same group can be read again.
  ASSERT_TRUE(reader->read(reads, 2));
  EXPECT_EQ(reads[1].got, 2048u);
}

}  // namespace
}  // namespace kestrel
#endif
