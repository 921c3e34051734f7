// Source trees with traps, and limits that must end as clear errors rather
// than wrapped numbers. Links to files are copied as the file; folder links
// are followed unless they lead to a folder already on the current path;
// links that lead nowhere and special files are left out with a warning.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "engine/build_job.h"
#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;

#ifndef _WIN32

size_t warnings_of(const std::vector<BuildWarningEntry>& warnings, BuildWarning kind) {
  size_t count = 0;
  for (const auto& warning : warnings) count += warning.warning == kind ? 1 : 0;
  return count;
}

// The UDF names of a directory's children as recorded, after the layout.
std::set<std::string> udf_names_of(const SourceNode& directory) {
  std::set<std::string> names;
  for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    names.emplace(reinterpret_cast<const char*>(child->udf_name), child->udf_name_length);
  }
  return names;
}

const SourceNode* child_found_on_disk_as(const SourceNode& directory,
                                         const NativeString& native_name) {
  for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    if (NativeStringView(child->native_name, child->native_name_length) == native_name)
      return child;
  }
  return nullptr;
}

TEST(RobustnessTraps, FolderLinksAreFollowedUnlessTheyLeadBackUpTheirOwnPath) {
  ScratchFolder outside("traps-outside");
  outside.file("o.bin", 3000, 4);
  ScratchFolder source("traps-links");
  source.file("a/x.bin", 5000, 5);
  source.folder("b");
  fs::create_directory_symlink(outside.path(), source.at("b/outside"));
  fs::create_directory_symlink(source.at("a"), source.at("b/sibling"));  // a second way into a/
  ScratchFolder output("traps-links-out");
  auto job = build_image(source.path(), fs_code_udf250, output.at("x.iso"));
  ASSERT_EQ(job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(job->file_count, 3u);       // a/x.bin, b/outside/o.bin, b/sibling/x.bin
  EXPECT_EQ(job->directory_count, 4u);  // a, b, b/outside, b/sibling

  // A link to the source folder itself, however deep, loops: it is left out
  // wherever it is met (through a/ and through b/sibling/), and the rest of
  // the folder is written.
  fs::create_directory_symlink(source.path(), source.at("a/up"));
  auto looped = build_image(source.path(), fs_code_iso9660, output.at("y.iso"));
  ASSERT_EQ(looped->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(looped->file_count, 3u);
  ASSERT_EQ(looped->warnings.size(), 2u);
  for (const BuildWarningEntry& warning : looped->warnings) {
    EXPECT_EQ(warning.warning, BuildWarning::link_loop_skipped);
    EXPECT_EQ(warning.path.substr(warning.path.size() - 3), "/up");
  }
  EXPECT_TRUE(fs::exists(output.at("y.iso")));
}

TEST(RobustnessTraps, DeviceNodesAndSocketsAreNeverOpened) {
  ScratchFolder source("traps-special");
  source.file("data.bin", 100);
  // A character device that would never end (/dev/zero's numbers); only root
  // may make one.
  const bool made_device = mknod(source.at("zero").c_str(), S_IFCHR | 0600, makedev(1, 5)) == 0;
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const NativeString socket_path = source.at("socket");
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  socket_path.copy(address.sun_path, socket_path.size());
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ScratchFolder output("traps-special-out");
  auto job = build_image(source.path(), fs_code_bridge, output.at("x.iso"));
  close(listener);
  ASSERT_EQ(job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(job->file_count, 1u);
  EXPECT_EQ(warnings_of(job->warnings, BuildWarning::special_file_skipped), made_device ? 2u : 1u);
}

TEST(RobustnessTraps, NamesDifferingOnlyInCaseStayDistinctInUdf) {
  ScratchFolder source("traps-case");
  source.text_file("readme.txt", "1");
  source.text_file("README.txt", "22");
  source.text_file("README.TXT", "333");
  for (const auto& setting : all_fs_settings) {
    if (!(setting.fs_flags & fs_udf)) continue;
    auto writer = scanned_writer(source, setting);
    ASSERT_NE(writer->lay_out(), 0u) << setting.name;
    EXPECT_EQ(udf_names_of(*writer->tree.root).size(), 3u) << setting.name;
    EXPECT_EQ(warnings_of(writer->report.warnings, BuildWarning::name_made_unique), 0u)
        << setting.name;
  }
}

TEST(RobustnessTraps, InvalidUtf8NamesAreCopiedUnderDistinctNames) {
  ScratchFolder source("traps-utf8");
  // Two names that are not UTF-8 and read the same once the bad bytes become
  // U+FFFD, and a folder whose name is a lone continuation byte.
  source.file("bad\xff.bin", 3000, 21);
  source.file("bad\xfe.bin", 3000, 22);
  source.file("\x80/inner.bin", 10, 23);
  for (const auto& setting : all_fs_settings) {
    auto writer = scanned_writer(source, setting);
    ASSERT_FALSE(writer->report.failed()) << setting.name;
    ASSERT_NE(writer->lay_out(), 0u) << setting.name;
    ScratchFolder output("traps-utf8-out");
    ASSERT_TRUE(writer->write_image(output.at("x.iso"), nullptr, nullptr)) << setting.name;
    // Each file's own bytes are in the image: the copy opens the name found
    // on disk, not the converted one.
    for (const char* name : {"bad\xff.bin", "bad\xfe.bin"}) {
      const SourceNode* node = child_found_on_disk_as(*writer->tree.root, name);
      ASSERT_NE(node, nullptr);
      const std::vector<uint8_t> expected = read_bytes(source.at(name), 0, 3000);
      EXPECT_EQ(read_bytes(output.at("x.iso"),
                           writer->layout.file_data_sector(*node) * sector_bytes, 3000),
                expected);
    }
    if (setting.fs_flags & fs_udf) {
      EXPECT_EQ(udf_names_of(*writer->tree.root).size(), 3u) << setting.name;
      EXPECT_EQ(warnings_of(writer->report.warnings, BuildWarning::name_made_unique), 1u)
          << setting.name;
    }
  }
}

TEST(RobustnessTraps, LongestNamesAreShortenedToDistinctUdfNames) {
  ScratchFolder source("traps-long");
  const std::string longest(255, 'n');  // the most a Linux name may hold
  const std::string almost = std::string(250, 'n') + "x.bin";
  source.file(longest, 10, 31);
  source.file(almost, 20, 32);
  source.file(std::string(200, 'd') + "/" + longest, 30, 33);
  for (const auto& setting : all_fs_settings) {
    if (!(setting.fs_flags & fs_udf)) continue;
    auto writer = scanned_writer(source, setting);
    ASSERT_NE(writer->lay_out(), 0u) << setting.name;
    const std::set<std::string> names = udf_names_of(*writer->tree.root);
    EXPECT_EQ(names.size(), 3u);
    for (const std::string& name : names) EXPECT_LE(name.size(), 254u);
    // The three file names of 255 characters; the folder of 200 fits whole
    // in the 8-bit form.
    EXPECT_EQ(names.count(std::string(200, 'd')), 1u) << setting.name;
    EXPECT_EQ(warnings_of(writer->report.warnings, BuildWarning::name_shortened), 3u)
        << setting.name;
    ScratchFolder output("traps-long-out");
    EXPECT_TRUE(writer->write_image(output.at("x.iso"), nullptr, nullptr)) << setting.name;
  }
}

// Folders nested until the path is longer than the system's limit of 4,096
// bytes. Such a folder cannot be named to the system at all, so the build
// fails naming it instead of leaving its contents out.
TEST(RobustnessTraps, PathsBeyondTheSystemLimitFailNamingTheFolder) {
  ScratchFolder source("traps-deep");
  const std::string step(200, 'p');
  int folder = open(source.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  size_t depth = 0;
  for (size_t length = source.path().size(); length <= 4200; length += step.size() + 1, ++depth) {
    ASSERT_EQ(mkdirat(folder, step.c_str(), 0755), 0);
    const int inner = openat(folder, step.c_str(), O_RDONLY | O_DIRECTORY);
    close(folder);
    ASSERT_GE(inner, 0);
    folder = inner;
  }
  const int file = openat(folder, "deep.bin", O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(file, 0);
  close(file);
  close(folder);
  ScratchFolder output("traps-deep-out");
  auto job = build_image(source.path(), fs_code_udf102, output.at("x.iso"));
  EXPECT_EQ(job->outcome, BuildOutcome::failed);
  EXPECT_EQ(job->error.error, BuildError::source_list_failed);
  EXPECT_EQ(job->error.system_error, ENAMETOOLONG);
  EXPECT_GT(job->error.path.size(), 4096u);
  EXPECT_EQ(job->error.path.compare(0, source.path().size(), source.path()), 0);
  EXPECT_FALSE(fs::exists(output.at("x.iso")));
  // The library's remove_all cannot name the deepest folders either.
  EXPECT_EQ(std::system(("rm -rf '" + source.path() + "/" + step + "'").c_str()), 0);
}

// Sparse files whose sizes reach the addressing limits. A UDF file entry
// holds one block of allocation descriptors of at most 1 GiB each, so a file
// of 4 TiB is beyond it; 90 files of 96 GiB make an image of more than 2^32
// sectors; a file of 2^32 sectors (8 TiB) cannot be addressed at all.
TEST(RobustnessLimits, FilesAndImagesBeyondWhatCanBeAddressedFailClearly) {
  ScratchFolder source("limits");
  std::error_code error;
  source.text_file("huge.bin", "");
  fs::resize_file(source.at("huge.bin"), uint64_t{1} << 42, error);
  if (error) GTEST_SKIP() << "this file system holds no sparse file of 4 TiB";
  for (const auto& setting : all_fs_settings) {
    if (!(setting.fs_flags & fs_udf)) continue;
    auto writer = scanned_writer(source, setting);
    EXPECT_EQ(writer->lay_out(), 0u) << setting.name;
    EXPECT_EQ(writer->report.error.error, BuildError::file_too_large) << setting.name;
    EXPECT_EQ(writer->report.error.path, source.at("huge.bin")) << setting.name;
  }
  fs::remove(source.at("huge.bin"));

  for (int i = 0; i < 90; ++i) {
    const std::string name = "part" + std::to_string(i) + ".bin";
    source.text_file(name, "");
    fs::resize_file(source.at(name), uint64_t{96} << 30);
  }
  for (const auto& setting : all_fs_settings) {
    auto writer = scanned_writer(source, setting);
    ASSERT_FALSE(writer->report.failed()) << setting.name;
    EXPECT_EQ(writer->lay_out(), 0u) << setting.name;
    EXPECT_EQ(writer->report.error.error, BuildError::image_too_large) << setting.name;
  }
  fs::remove_all(source.path());
  fs::create_directories(source.path());

  source.text_file("vast.bin", "");
  fs::resize_file(source.at("vast.bin"), uint64_t{1} << 43, error);
  if (error) GTEST_SKIP() << "this file system holds no sparse file of 8 TiB";
  auto writer = scanned_writer(source, all_fs_settings[0]);
  EXPECT_EQ(writer->report.error.error, BuildError::file_too_large);
  EXPECT_EQ(writer->report.error.path, source.at("vast.bin"));
  ScratchFolder output("limits-out");
  auto job = build_image(source.path(), fs_code_bridge, output.at("x.iso"));
  EXPECT_EQ(job->error.error, BuildError::file_too_large);
  EXPECT_FALSE(fs::exists(output.at("x.iso")));
}

#endif

}  // namespace
}  // namespace kestrel::test
