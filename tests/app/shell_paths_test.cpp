// Path rules of the Windows program: settings file, output folder, default
// targets, disc folders and the folders made for a target.
#include "app/core/shell_paths.h"

#include <gtest/gtest.h>

#include <set>

namespace kestrel::app {
namespace {

TEST(ShellPaths, SettingsFileBesideTheExecutable) {
  EXPECT_EQ(settings_path_for(L"C:\\Tools\\kestrel.exe"), L"C:\\Tools\\kestrel.ini");
  EXPECT_EQ(settings_path_for(L"C:\\Tools\\kestrel"), L"C:\\Tools\\kestrel.ini");
  // The last dot of the whole path decides, also inside a folder name.
  EXPECT_EQ(settings_path_for(L"C:\\tools.new\\kestrel"), L"C:\\tools.ini");
  EXPECT_EQ(settings_path_for(L"C:\\a.b\\kestrel.x.exe"), L"C:\\a.b\\kestrel.x.ini");
}

TEST(ShellPaths, OutputFolderOfATarget) {
  EXPECT_EQ(output_dir_for_target(L"D:\\images\\movie.iso"), L"D:\\images");
  EXPECT_EQ(output_dir_for_target(L"D:/images/movie.iso"), L"D:\\images");
  EXPECT_EQ(output_dir_for_target(L"movie.iso"), L".");
  EXPECT_EQ(output_dir_for_target(L"sub\\movie.iso"), L"sub");
  EXPECT_EQ(with_trailing_backslash(L"D:\\images"), L"D:\\images\\");
  EXPECT_EQ(with_trailing_backslash(L"."), L".\\");
  EXPECT_EQ(with_trailing_backslash(L"D:\\"), L"D:\\");
  EXPECT_EQ(with_trailing_backslash(L""), L"");
}

TEST(ShellPaths, SourceAndTargetTexts) {
  EXPECT_EQ(strip_trailing_backslashes(L"D:\\"), L"D:");
  EXPECT_EQ(strip_trailing_backslashes(L"D:\\Movie\\\\"), L"D:\\Movie");
  EXPECT_EQ(strip_trailing_backslashes(L"\\"), L"\\");
  EXPECT_EQ(last_component(L"D:\\Movie"), L"Movie");
  EXPECT_EQ(last_component(L"D:"), L"");

  EXPECT_TRUE(target_needs_extension(L"D:\\out\\image"));
  EXPECT_FALSE(target_needs_extension(L"D:\\out.new\\image"));  // any dot counts here
  EXPECT_TRUE(picked_name_needs_extension(L"D:\\out.new\\image"));
  EXPECT_FALSE(picked_name_needs_extension(L"D:\\out\\image.img"));

  EXPECT_EQ(initial_save_name(L"D:\\out\\movie.iso"), L"D:\\out\\movie");
  EXPECT_EQ(initial_save_name(L"D:\\out.new\\movie"), L"D:\\out.new\\movie");
  EXPECT_EQ(initial_save_name(L"movie.iso"), L"");

  EXPECT_TRUE(has_file_name_part(L"D:\\out\\image.iso"));
  EXPECT_FALSE(has_file_name_part(L"D:\\out\\"));
  EXPECT_EQ(folder_part(L"D:\\out\\image.iso"), L"D:\\out\\");
}

TEST(ShellPaths, DroppedDiscFolderSelectsItsParent) {
  const std::set<std::wstring> existing = {L"D:\\Movie\\BDMV", L"D:\\Movie\\CERTIFICATE",
                                           L"D:\\Dvd\\VIDEO_TS", L"D:\\Dvd\\AUDIO_TS",
                                           L"D:\\Music\\AUDIO_TS"};
  auto exists = [&](const std::wstring& path) { return existing.count(path) != 0; };
  EXPECT_EQ(prefer_disc_parent(L"D:\\Movie\\BDMV", exists), L"D:\\Movie");
  EXPECT_EQ(prefer_disc_parent(L"D:\\Movie\\CERTIFICATE", exists), L"D:\\Movie");  // a sibling
  EXPECT_EQ(prefer_disc_parent(L"D:\\Dvd\\AUDIO_TS", exists), L"D:\\Dvd");
  // AUDIO_TS alone does not make a disc folder.
  EXPECT_EQ(prefer_disc_parent(L"D:\\Music\\AUDIO_TS", exists), L"D:\\Music\\AUDIO_TS");
  EXPECT_EQ(prefer_disc_parent(L"D:\\Movie", exists), L"D:\\Movie");
  EXPECT_EQ(prefer_disc_parent(L"BDMV", exists), L"BDMV");
}

TEST(ShellPaths, FoldersMadeForATargetSkipTheRoot) {
  EXPECT_EQ(directory_prefixes(L"D:\\a\\b\\"), (std::vector<std::wstring>{L"D:\\a", L"D:\\a\\b"}));
  EXPECT_EQ(directory_prefixes(L"D:/a/b/"), (std::vector<std::wstring>{L"D:\\a", L"D:\\a\\b"}));
  EXPECT_EQ(directory_prefixes(L"\\\\server\\share\\x\\"),
            (std::vector<std::wstring>{L"\\\\server\\share\\x"}));
  EXPECT_TRUE(directory_prefixes(L"\\\\server\\share\\").empty());
  EXPECT_TRUE(directory_prefixes(L"D:\\").empty());
  const std::wstring long_path = L"D:\\" + std::wstring(255, L'a') + L"\\";  // 259 characters
  EXPECT_TRUE(directory_prefixes(long_path).empty());
}

TEST(ShellPaths, LayoutIndexProgressAndReveal) {
  EXPECT_EQ(layout_index_from(0), 0);
  EXPECT_EQ(layout_index_from(2), 2);
  EXPECT_EQ(layout_index_from(7), 3);
  EXPECT_EQ(layout_index_from(-1), 3);

  EXPECT_EQ(writing_percent(0, 0), 0);
  EXPECT_EQ(writing_percent(42, 100), 42);
  EXPECT_EQ(writing_percent(1, 200), 1);  // rounded to the nearest
  EXPECT_EQ(writing_percent(4000000000u, 4000000001u), 99);
  EXPECT_EQ(writing_percent(100, 100), 99);  // 100 % only after success

  EXPECT_EQ(reveal_command_line(L"C:\\windows\\explorer.exe", L"D:\\a b\\x.iso"),
            L"\"C:\\windows\\explorer.exe\" /select,\"D:\\a b\\x.iso\"");
}

}  // namespace
}  // namespace kestrel::app
