// The file layer against a real file system: open modes, enumeration, dates
// before 1970, paths longer than MAX_PATH and whole-file reads. The same
// cases run on Linux and, cross-built, under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "support/queued_calls_refused.h"
#include "support/scratch_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system_posix.h"
#endif

namespace kestrel {
namespace {

using test::ScratchFolder;
using test::write_file;

NativeString native(const std::string& text) { return NativeString(text.begin(), text.end()); }

std::string read_all(const NativeString& path) {
  FileHandle file;
  if (!file.open(path, file_mode_read)) return "<unopenable>";
  std::string bytes(static_cast<size_t>(file.size()), '\0');
  bytes.resize(file.read(bytes.data(), bytes.size()));
  return bytes;
}

// Sets a file's last-write time (seconds since 1970, negative before).
bool set_modified_time(const NativeString& path, int64_t seconds) {
#ifdef _WIN32
  const HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const uint64_t ticks = static_cast<uint64_t>(seconds + 11'644'473'600) * 10'000'000;
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const bool done = SetFileTime(handle, nullptr, nullptr, &time) != 0;
  CloseHandle(handle);
  return done;
#else
  const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

// Every entry of a folder by name, as the finder reports it.
std::map<NativeString, FindEntry> list_folder(const NativeString& folder,
                                              DotEntries dots = DotEntries::report) {
  std::map<NativeString, FindEntry> entries;
  DirectoryFinder finder;
  FindEntry entry;
  for (bool found = finder.find_first(folder, entry, dots); found;
       found = finder.find_next(entry)) {
    entries[entry.name] = entry;
  }
  EXPECT_EQ(finder.last_error(), 0);
  return entries;
}

TEST(FileLayer, OpenModesCreateTruncateAndRefuseMissingFiles) {
  ScratchFolder folder;
  const NativeString path = folder / native("image.iso");

  // Opening for reading or writing alone never creates a file.
  FileHandle file;
  EXPECT_FALSE(file.open(path, file_mode_read));
  EXPECT_NE(file.last_error(), 0);
  EXPECT_FALSE(file.open(path, file_mode_write));
  EXPECT_FALSE(path_exists(path));

  ASSERT_TRUE(write_file(path, "first contents"));
  ASSERT_TRUE(file.open(path, file_mode_read));
  EXPECT_EQ(file.size(), 14u);
  char buffer[64] = {};
  EXPECT_EQ(file.read(buffer, sizeof buffer), 14u);
  EXPECT_EQ(std::string(buffer, 14), "first contents");
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);  // at the end
  file.close();
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
  EXPECT_EQ(file.write(buffer, sizeof buffer), 0u);
  EXPECT_EQ(file.size(), 0u);

  // Write without create-always keeps the contents it does not overwrite.
  ASSERT_TRUE(file.open(path, file_mode_write));
  EXPECT_EQ(file.write("FIRST", 5), 5u);
  file.close();
  EXPECT_EQ(read_all(path), "FIRST contents");

  // Mode 6, as used for the output image, truncates an existing file.
  ASSERT_TRUE(file.open(path, file_mode_write | file_mode_create_always));
  EXPECT_EQ(file.size(), 0u);
  file.close();
  EXPECT_EQ(read_all(path), "");

  // A folder cannot be opened as a file.
  EXPECT_FALSE(file.open(folder.path(), file_mode_read));
}

TEST(FileLayer, WritesAndReadsLargeBuffersWhole) {
  ScratchFolder folder;
  const NativeString path = folder / native("large.bin");
  std::string data(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 4096);
  FileHandle file;
  ASSERT_TRUE(file.open(path, file_mode_write | file_mode_create_always));
  EXPECT_EQ(file.write(data.data(), data.size()), data.size());
  file.close();
  EXPECT_EQ(read_all(path), data);
}

TEST(FileLayer, FinderListsTheSameFolderWithOrWithoutTrailingSeparator) {
  ScratchFolder folder;
  ASSERT_TRUE(write_file(folder / native("a.txt"), "abc"));
  ASSERT_TRUE(create_directories(folder / native("sub")));

  const auto plain = list_folder(folder.path());
  const auto with_separator = list_folder(folder.path() + native_separator);
  ASSERT_EQ(plain.size(), 4u);  // ".", "..", "a.txt", "sub"
  ASSERT_EQ(with_separator.size(), plain.size());
  for (const auto& [name, entry] : plain) EXPECT_EQ(with_separator.count(name), 1u);

  EXPECT_TRUE(plain.at(native(".")).is_directory);
  EXPECT_TRUE(plain.at(native("..")).is_directory);
  EXPECT_FALSE(plain.at(native("a.txt")).is_directory);
  EXPECT_EQ(plain.at(native("a.txt")).size, 3u);
  EXPECT_FALSE(plain.at(native("a.txt")).unreadable);
  EXPECT_TRUE(plain.at(native("sub")).is_directory);
  EXPECT_EQ(plain.at(native("sub")).size, 0u);

  // An empty folder still holds "." and "..".
  const auto empty = list_folder(folder / native("sub"));
  EXPECT_EQ(empty.size(), 2u);

  // Left out, they are not there, and an empty folder lists nothing without
  // an error.
  const auto without_dots = list_folder(folder.path(), DotEntries::leave_out);
  EXPECT_EQ(without_dots.size(), 2u);
  EXPECT_EQ(without_dots.count(native("a.txt")), 1u);
  EXPECT_EQ(without_dots.at(native("a.txt")).size, 3u);
  EXPECT_TRUE(without_dots.at(native("sub")).is_directory);
  EXPECT_TRUE(list_folder(folder / native("sub"), DotEntries::leave_out).empty());
}

// A folder of more entries than the finder examines in one window comes out
// whole, in the order of a plain listing, each entry with its own facts and
// a link that leads nowhere told as such: with the calls queued, with the
// calls shared by the caller and a helper thread, and where the system
// refuses to queue them.
TEST(FileLayer, FinderListsALargeFolderInListingOrderWithEveryEntrysFacts) {
  ScratchFolder folder;
  constexpr size_t files = 1100;
  for (size_t i = 0; i < files; ++i)
    ASSERT_TRUE(write_file(folder / native("f" + std::to_string(i)), std::string(i, 'x')));
#ifndef _WIN32
  const NativeString dangling = native("nowhere");
  ASSERT_EQ(symlink("missing-target", (folder / dangling).c_str()), 0);
#endif
  std::vector<NativeString> listed;
  SystemError error = 0;
  ASSERT_TRUE(list_names(folder.path(), listed, error));

  const auto list_and_check = [&](DotEntries dots = DotEntries::report) {
    std::vector<NativeString> found;
    DirectoryFinder finder;
    FindEntry entry;
    for (bool more = finder.find_first(folder.path(), entry, dots); more;
         more = finder.find_next(entry)) {
      const bool dot = entry.name == native(".") || entry.name == native("..");
      EXPECT_FALSE(dot && dots == DotEntries::leave_out);
      if (dot) continue;
      found.push_back(entry.name);
#ifndef _WIN32
      if (entry.name == dangling) {
        EXPECT_TRUE(entry.unreadable && entry.broken_link);
        continue;
      }
#endif
      ASSERT_FALSE(entry.unreadable) << entry.name;
      EXPECT_EQ(entry.size, std::stoul(std::string(entry.name.begin() + 1, entry.name.end())));
    }
    EXPECT_EQ(finder.last_error(), 0);
    EXPECT_EQ(found, listed);
  };
  list_and_check();
  list_and_check(DotEntries::leave_out);
#ifndef _WIN32
  for (const auto choice : {QueuedExamination::always, QueuedExamination::never}) {
    SCOPED_TRACE(choice == QueuedExamination::always ? "queued" : "shared with a helper");
    set_queued_examination(choice);
    list_and_check();
  }
  set_queued_examination(QueuedExamination::where_it_pays);
#endif
#ifdef __linux__
  SCOPED_TRACE("queued calls refused");
  set_queued_examination(QueuedExamination::always);
  EXPECT_TRUE(test::run_with_queued_calls_refused(ENOSYS, list_and_check));
  set_queued_examination(QueuedExamination::where_it_pays);
#endif
}

#ifndef _WIN32
// Names listed before (to describe the source) are examined in the order
// given, across more than one window, and the folder is not listed again: a
// file made since is not among them, one removed since is unreadable.
TEST(FileLayer, FinderExaminesNamesListedBeforeInTheirOrder) {
  ScratchFolder folder;
  constexpr size_t files = 1100;
  for (size_t i = 0; i < files; ++i)
    ASSERT_TRUE(write_file(folder / native("f" + std::to_string(i)), std::string(i % 50, 'x')));
  std::vector<NativeString> names;
  SystemError error = 0;
  ASSERT_TRUE(list_names(folder.path(), names, error));
  std::reverse(names.begin(), names.end());
  names.push_back(native("f-removed"));
  ASSERT_TRUE(write_file(folder / native("f-made-since"), "new"));

  for (const auto choice : {QueuedExamination::always, QueuedExamination::never}) {
    SCOPED_TRACE(choice == QueuedExamination::always ? "queued" : "shared with a helper");
    set_queued_examination(choice);
    std::vector<NativeString> found;
    DirectoryFinder finder;
    FindEntry entry;
    for (bool more = finder.find_first_listed(folder.path(), names, entry); more;
         more = finder.find_next(entry)) {
      found.push_back(entry.name);
      if (entry.name == native("f-removed")) {
        EXPECT_TRUE(entry.unreadable);
        continue;
      }
      ASSERT_FALSE(entry.unreadable) << entry.name;
      EXPECT_EQ(entry.size, std::stoul(std::string(entry.name.begin() + 1, entry.name.end())) % 50);
    }
    EXPECT_EQ(finder.last_error(), 0);
    EXPECT_EQ(found, names);
  }
  set_queued_examination(QueuedExamination::where_it_pays);
  DirectoryFinder finder;
  FindEntry entry;
  EXPECT_FALSE(finder.find_first_listed(folder / native("missing"), names, entry));
  EXPECT_NE(finder.last_error(), 0);
}
#endif

TEST(FileLayer, FinderFailsForEmptyAndMissingFolders) {
  ScratchFolder folder;
  DirectoryFinder finder;
  FindEntry entry;
  EXPECT_FALSE(finder.find_first(NativeString(), entry));
  EXPECT_FALSE(finder.find_first(folder / native("missing"), entry));
  EXPECT_NE(finder.last_error(), 0);
  EXPECT_FALSE(finder.find_next(entry));
}

TEST(FileLayer, TimesBefore1970AreNegative) {
  ScratchFolder folder;
  const NativeString path = folder / native("old.txt");
  ASSERT_TRUE(write_file(path, "x"));
  const int64_t moon_landing = -14'182'940;  // 1969-07-20 20:17:40 UTC
  ASSERT_TRUE(set_modified_time(path, moon_landing));

  const auto entries = list_folder(folder.path());
  EXPECT_EQ(entries.at(native("old.txt")).modified, moon_landing);

  FindEntry entry;
  ASSERT_TRUE(stat_path(path, entry));
  EXPECT_EQ(entry.modified, moon_landing);
  EXPECT_EQ(entry.size, 1u);
  EXPECT_EQ(entry.name, native("old.txt"));
}

TEST(FileLayer, PathsLongerThanMaxPathWork) {
  ScratchFolder folder;
  // Seven levels of 50 characters: well over 300 characters in all, each
  // level alone within the 255-character limit of a name.
  NativeString deep = folder.path();
  for (char level = 'a'; level < 'h'; ++level)
    deep += native_separator + NativeString(50, NativeChar(level));
  ASSERT_GT(deep.size(), 300u);

  ASSERT_TRUE(create_directories(deep));
  EXPECT_TRUE(is_directory(deep));
  const NativeString file = deep + native_separator + native("inner.txt");
  ASSERT_TRUE(write_file(file, "deep contents"));
  EXPECT_TRUE(path_exists(file));
  EXPECT_FALSE(is_directory(file));

  const WholeFile whole = read_whole_file(file);
  ASSERT_EQ(whole.length, 13u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(whole.bytes.get()), whole.length),
            "deep contents");

  const auto entries = list_folder(deep);
  ASSERT_EQ(entries.count(native("inner.txt")), 1u);
  EXPECT_EQ(entries.at(native("inner.txt")).size, 13u);

  FindEntry entry;
  ASSERT_TRUE(stat_path(deep, entry));
  EXPECT_TRUE(entry.is_directory);

  const NativeString renamed = deep + native_separator + native("renamed.txt");
  ASSERT_TRUE(write_file(renamed, "to be replaced"));
  EXPECT_TRUE(rename_replacing(file, renamed));
  EXPECT_EQ(read_all(renamed), "deep contents");
  EXPECT_FALSE(path_exists(file));
  EXPECT_TRUE(remove_file(renamed));
  EXPECT_FALSE(path_exists(renamed));
}

TEST(FileLayer, ReadWholeFileAddsTwoZeroBytesAndRefusesEmptyFiles) {
  ScratchFolder folder;
  const NativeString empty = folder / native("empty.bin");
  ASSERT_TRUE(write_file(empty, ""));
  WholeFile whole = read_whole_file(empty);
  EXPECT_EQ(whole.bytes, nullptr);
  EXPECT_EQ(whole.length, 0u);

  whole = read_whole_file(folder / native("missing.bin"));
  EXPECT_EQ(whole.bytes, nullptr);

  const NativeString small = folder / native("index.bdmv");
  ASSERT_TRUE(write_file(small, std::string("INDX0200\xff", 9)));
  whole = read_whole_file(small);
  ASSERT_EQ(whole.length, 9u);
  EXPECT_EQ(whole.bytes[8], 0xFF);
  EXPECT_EQ(whole.bytes[9], 0);
  EXPECT_EQ(whole.bytes[10], 0);

  // Navigation files are read whole up to 16 MiB; a larger file is refused
  // rather than read into memory.
  const NativeString large = folder / native("large.mpls");
  ASSERT_TRUE(write_file(large, "MPLS"));
  std::filesystem::resize_file(std::filesystem::path(large), whole_file_limit);
  EXPECT_EQ(read_whole_file(large).length, whole_file_limit);
  std::filesystem::resize_file(std::filesystem::path(large), whole_file_limit + 1);
  EXPECT_EQ(read_whole_file(large).bytes, nullptr);
}

TEST(FileLayer, CreateDirectoriesMakesParentsAndFailsUnderAFile) {
  ScratchFolder folder;
  const NativeString nested = folder / native("one") + native_separator + native("two");
  EXPECT_TRUE(create_directories(nested));
  EXPECT_TRUE(create_directories(nested));  // already there
  EXPECT_TRUE(is_directory(folder / native("one")));

  const NativeString file = folder / native("plain.txt");
  ASSERT_TRUE(write_file(file, "x"));
  EXPECT_FALSE(create_directories(file + native_separator + native("below")));
  EXPECT_FALSE(is_directory(file));
}

}  // namespace
}  // namespace kestrel
