// Sparse files read by their data extents: the bytes are those of a plain
// read, holes are zeros that are never read, and the end of the file is told
// as for any other file (it ends where listed, has grown or has shrunk).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/bytes_read.h"
#include "support/scratch_folder.h"

namespace kestrel {
namespace {

using test::bytes_read_by_process;
using test::ScratchFolder;

constexpr uint64_t mib = 1024 * 1024;

struct CopiedFile {
  std::vector<uint8_t> bytes;
  size_t last_read = 0;  // what read_last gave for the last piece
};

// Reads a file the way the image copier does: pieces of `piece` bytes, the
// last one with read_last, holes skipped.
CopiedFile copy_skipping_holes(const ScratchFolder& folder, const std::string& name,
                               uint64_t listed_size, size_t piece) {
  CopiedFile copied;
  FolderHandle handle;
  FileHandle file;
  if (!handle.open(folder.path() + native_separator) ||
      !file.open_to_copy(handle, test::native(name).c_str(), listed_size))
    return copied;
  file.skip_holes();
  copied.bytes.resize(static_cast<size_t>(listed_size) + 1);
  for (uint64_t done = 0;;) {
    const auto count = static_cast<size_t>(std::min<uint64_t>(piece, listed_size - done));
    uint8_t* into = copied.bytes.data() + done;
    if (done + count == listed_size) {
      copied.last_read = file.read_last(into, count);
      break;
    }
    if (file.read(into, count) != count) break;
    done += count;
  }
  copied.bytes.resize(static_cast<size_t>(listed_size));
  return copied;
}

std::vector<uint8_t> plain_bytes(const ScratchFolder& folder, const std::string& name) {
  return test::read_bytes(folder.at(name), 0,
                          static_cast<size_t>(test::file_size(folder.at(name))));
}

TEST(FileHoles, SparseFilesReadAsAPlainReadWouldWithoutReadingTheirHoles) {
  ScratchFolder folder("holes");
  // Data at the start, across a 1 MiB boundary and in the middle; a hole at the end.
  folder.sparse_file("ends_in_hole.bin", 64 * mib,
                     {{0, 5000}, {mib - 100, 300}, {33 * mib + 7, 70000}}, 3);
  folder.sparse_file("all_hole.bin", 48 * mib, {}, 4);
  folder.sparse_file("ends_in_data.bin", 9 * mib + 5, {{9 * mib - 4000, 4005}}, 5);
  folder.file("dense.bin", 300000, 6);

  FindEntry entry;
  ASSERT_TRUE(stat_path(folder.at("dense.bin"), entry));
  EXPECT_FALSE(entry.may_have_holes);
#ifndef _WIN32
  // Files made by extending them are sparse on Linux file systems; on
  // Windows only files marked sparse are, which these are not.
  ASSERT_TRUE(stat_path(folder.at("all_hole.bin"), entry));
  EXPECT_TRUE(entry.may_have_holes);
#endif

  const uint64_t read_before = bytes_read_by_process();
  for (const std::string name : {"ends_in_hole.bin", "all_hole.bin", "ends_in_data.bin"}) {
    const uint64_t size = test::file_size(folder.at(name));
    for (const size_t piece : {size_t{1} * mib, size_t{65536 + 17}}) {
      const CopiedFile copied = copy_skipping_holes(folder, name, size, piece);
      const size_t last = static_cast<size_t>(size % piece == 0 ? piece : size % piece);
      EXPECT_EQ(copied.last_read, last) << name << " ends where it was listed";
      EXPECT_TRUE(copied.bytes == plain_bytes(folder, name)) << name << " in pieces of " << piece;
    }
  }
  const uint64_t read_by_copies = bytes_read_by_process() - read_before;
#ifdef __linux__
  // The plain reads that check the copies read 121 MiB; the copies, about
  // 80 KB of data (in whole blocks of the file system) 4 times.
  constexpr uint64_t plain_reads = (64 + 48 + 9) * mib * 2 + 10;
  EXPECT_LT(read_by_copies, plain_reads + 4 * mib) << "the holes were read";
#else
  (void)read_by_copies;
#endif
}

// Windows lets no other program change a file this layer holds open.
#ifndef _WIN32
TEST(FileHoles, ASparseFileThatGrowsOrShrinksWhileReadSaysSo) {
  ScratchFolder folder("holes-change");
  const uint64_t size = 4 * mib;
  folder.sparse_file("grows.bin", size, {{0, 100}}, 7);
  folder.sparse_file("shrinks.bin", size, {{0, 100}}, 8);
  FolderHandle handle;
  ASSERT_TRUE(handle.open(folder.path() + native_separator));
  std::vector<uint8_t> buffer(size + 1);

  FileHandle grows;
  ASSERT_TRUE(grows.open_to_copy(handle, test::native("grows.bin").c_str(), size));
  grows.skip_holes();
  std::filesystem::resize_file(std::filesystem::path(folder.at("grows.bin")), size + 10);
  EXPECT_EQ(grows.read_last(buffer.data(), size), size + 1);

  FileHandle shrinks;
  ASSERT_TRUE(shrinks.open_to_copy(handle, test::native("shrinks.bin").c_str(), size));
  shrinks.skip_holes();
  ASSERT_EQ(shrinks.read(buffer.data(), mib), mib);
  std::filesystem::resize_file(std::filesystem::path(folder.at("shrinks.bin")), 2 * mib);
  EXPECT_LT(shrinks.read_last(buffer.data(), size - mib), size - mib);
  EXPECT_EQ(shrinks.last_error(), 0) << "a shorter file is not a failed read";
}
#endif

}  // namespace
}  // namespace kestrel
