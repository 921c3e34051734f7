// Windows-only behaviour of the file layer: sharing, the extended-length
// path forms, full path names, folder identity and system error texts.
#ifdef _WIN32

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/calendar.h"
#include "platform/file_system.h"
#include "platform/long_path_win32.h"
#include "support/scratch_folder.h"

namespace kestrel {
namespace {

using test::ScratchFolder;
using test::write_file;

TEST(Win32FileLayer, OthersMayReadAnOpenFileButNeverWriteIt) {
  ScratchFolder folder;
  const std::wstring path = folder / L"shared.bin";

  FileHandle writer;
  ASSERT_TRUE(writer.open(path, file_mode_write | file_mode_create_always));
  FileHandle reader;
  EXPECT_FALSE(reader.open(path, file_mode_read));
  EXPECT_EQ(reader.last_error(), ERROR_SHARING_VIOLATION);
  writer.close();

  ASSERT_TRUE(reader.open(path, file_mode_read));
  FileHandle second_reader;
  EXPECT_TRUE(second_reader.open(path, file_mode_read));
  EXPECT_FALSE(writer.open(path, file_mode_write));
  EXPECT_EQ(writer.last_error(), ERROR_SHARING_VIOLATION);
}

TEST(Win32FileLayer, LongPathsTakeTheExtendedFormAndAreNeverCut) {
  std::wstring result;
  unsigned long error = 0;
  ASSERT_TRUE(win32_path(L"C:\\short\\name.txt", result, error));
  EXPECT_EQ(result, L"C:\\short\\name.txt");

  const std::wstring level(60, L'x');
  const std::wstring tail = level + L"\\" + level + L"\\" + level + L"\\" + level + L"\\" + level;
  ASSERT_TRUE(win32_path(L"C:/data/./skipped/../" + tail, result, error));
  EXPECT_EQ(result, L"\\\\?\\C:\\data\\" + tail);
  ASSERT_TRUE(win32_path(L"\\\\server\\share\\" + tail, result, error));
  EXPECT_EQ(result, L"\\\\?\\UNC\\server\\share\\" + tail);
  ASSERT_TRUE(win32_path(L"\\\\?\\C:\\" + tail, result, error));
  EXPECT_EQ(result, L"\\\\?\\C:\\" + tail);

  // A long relative path cannot take the extended form: refused, not cut.
  EXPECT_FALSE(win32_path(tail, result, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_FILENAME_EXCED_RANGE));
  FileHandle file;
  EXPECT_FALSE(file.open(tail, file_mode_write | file_mode_create_always));
  EXPECT_EQ(file.last_error(), ERROR_FILENAME_EXCED_RANGE);

  // A NUL inside the text would name a different, shorter path.
  const std::wstring with_nul(L"C:\\folder\0hidden.txt", 20);
  EXPECT_FALSE(win32_path(with_nul, result, error));
  EXPECT_EQ(error, static_cast<unsigned long>(ERROR_INVALID_NAME));
}

TEST(Win32FileLayer, CanonicalPathResolvesStepsSeparatorsAndRelativePaths) {
  EXPECT_EQ(canonical_path(L"C:\\a\\.\\b\\..\\c"), L"C:\\a\\c");
  EXPECT_EQ(canonical_path(L"C:/a/b/"), L"C:\\a\\b\\");
  const std::wstring here = current_directory();
  ASSERT_FALSE(here.empty());
  std::wstring expected = here;
  if (expected.back() != L'\\') expected += L'\\';
  EXPECT_EQ(canonical_path(L"child"), expected + L"child");
  EXPECT_EQ(canonical_path(L""), L"");
}

TEST(Win32FileLayer, FoldersCarryAnIdentityThatMatchesAcrossPaths) {
  ScratchFolder folder;
  ASSERT_TRUE(create_directories(folder / L"one"));
  ASSERT_TRUE(create_directories(folder / L"two"));
  FindEntry one;
  FindEntry two;
  DirectoryFinder finder;
  FindEntry entry;
  for (bool found = finder.find_first(folder.path(), entry); found;
       found = finder.find_next(entry)) {
    if (entry.name == L"one") one = entry;
    if (entry.name == L"two") two = entry;
  }
  ASSERT_EQ(one.name, L"one");
  ASSERT_EQ(two.name, L"two");
  EXPECT_NE(one.inode, two.inode);

  FindEntry same;
  ASSERT_TRUE(stat_path(folder.path() + L"/two/../one/", same));
  EXPECT_TRUE(same.is_directory);
  EXPECT_EQ(same.device, one.device);
  EXPECT_EQ(same.inode, one.inode);
}

TEST(Win32FileLayer, SystemErrorsReadAsOneUtf8Sentence) {
  ScratchFolder folder;
  ASSERT_TRUE(write_file(folder / L"plain.txt", "x"));
  SystemError error = 0;
  EXPECT_FALSE(create_directories(folder / L"plain.txt\\below", &error));
  EXPECT_NE(error, 0);

  const std::string text = describe_system_error(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '.');
  EXPECT_EQ(describe_system_error(0), "unknown error");
}

// The run-time library's own range is 1970 to 3000; file dates outside it
// still break down, with the same local offset rule as 400 years later.
TEST(Win32Calendar, BreaksDownTimesOutsideTheRunTimeRange) {
  constexpr int64_t cycle = 146097 * int64_t{86400};
  for (const int64_t time :
       {int64_t{-14'182'940}, int64_t{-1}, int64_t{-11'644'473'600}, int64_t{33'000'000'000}}) {
    const auto local = local_time(time);
    const auto shifted = local_time(time < 0 ? time + cycle : time - cycle);
    ASSERT_TRUE(local.has_value()) << time;
    ASSERT_TRUE(shifted.has_value()) << time;
    EXPECT_EQ(local->year, shifted->year + (time < 0 ? -400 : 400));
    EXPECT_EQ(local->month, shifted->month);
    EXPECT_EQ(local->day, shifted->day);
    EXPECT_EQ(local->hour, shifted->hour);
    EXPECT_EQ(local->second, shifted->second);
    EXPECT_EQ(local->utc_offset_minutes, shifted->utc_offset_minutes);
  }
  const auto moon_landing = local_time(-14'182'940);  // 1969-07-20 20:17:40 UTC
  EXPECT_EQ(moon_landing->year, 1969);
  const int utc_minute_of_day =
      ((moon_landing->hour * 60 + moon_landing->minute - moon_landing->utc_offset_minutes) % 1440 +
       1440) %
      1440;
  EXPECT_EQ(utc_minute_of_day, 20 * 60 + 17);
  EXPECT_EQ(local_time(-1)->second, 59);
}

}  // namespace
}  // namespace kestrel

#endif  // _WIN32
