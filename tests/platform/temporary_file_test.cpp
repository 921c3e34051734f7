// Temporary files beside their targets: each one new and exclusive, never a
// file that was there before; put in the target's place whole, over an
// existing file only when allowed; removed only while they are still their
// own. The same cases run on Linux and, cross-built, under Wine.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "platform/temporary_file.h"
#include "support/queued_calls_refused.h"
#include "support/scratch_folder.h"

namespace kestrel {
namespace {

using test::ScratchFolder;
using test::write_file;

namespace fs = std::filesystem;

std::string read_all(const NativeString& path) {
  FileHandle file;
  if (!file.open(path, file_mode_read)) return "<unopenable>";
  std::string bytes(static_cast<size_t>(file.size()), '\0');
  bytes.resize(file.read(bytes.data(), bytes.size()));
  return bytes;
}

bool write_text(TemporaryFile& file, const std::string& text) {
  return file.file().write(text.data(), text.size()) == text.size();
}

// The number a temporary file's name ends with, before ".kestrel-part".
uint32_t name_number(const NativeString& path) {
  const size_t end = path.rfind(KESTREL_NATIVE(".kestrel-part"));
  const size_t dash = path.rfind(NativeChar('-'), end);
  return static_cast<uint32_t>(std::stoul(NativeString(path.substr(dash + 1, end - dash - 1))));
}

NativeString name_with_number(const NativeString& path, uint32_t number) {
  const size_t end = path.rfind(KESTREL_NATIVE(".kestrel-part"));
  const size_t dash = path.rfind(NativeChar('-'), end);
  const std::string digits = std::to_string(number);
  return path.substr(0, dash + 1) + NativeString(digits.begin(), digits.end()) + path.substr(end);
}

TEST(TemporaryFile, EachFileHasANameOfItsOwnBesideItsTarget) {
  ScratchFolder folder("temporary");
  const NativeString target = folder.at("image.iso");
  TemporaryFile first;
  TemporaryFile second;
  ASSERT_TRUE(first.create(target));
  ASSERT_TRUE(second.create(target));
  EXPECT_NE(first.path(), second.path());
  for (const TemporaryFile* file : {&first, &second}) {
    EXPECT_EQ(parent_path(file->path()), folder.path());
    EXPECT_TRUE(is_temporary_file_of(target, file->path()));
    EXPECT_TRUE(fs::exists(fs::path(file->path())));
  }
  EXPECT_EQ(test::temporary_files_of(target).size(), 2u);
  const NativeString first_path = first.path();
  first.discard();
  EXPECT_FALSE(fs::exists(fs::path(first_path)));
  EXPECT_EQ(test::temporary_files_of(target).size(), 1u);
}

// Files that already have the next names (an earlier process of the same
// number crashed, or a link was put there) are passed over and left alone.
TEST(TemporaryFile, NamesAlreadyTakenAreNeitherReusedNorRemoved) {
  ScratchFolder folder("temporary-stale");
  const NativeString target = folder.at("image.iso");
  NativeString probe_path;
  {
    TemporaryFile probe;
    ASSERT_TRUE(probe.create(target));
    probe_path = probe.path();
  }
  const uint32_t next = name_number(probe_path) + 1;
  const NativeString stale = name_with_number(probe_path, next);
  ASSERT_TRUE(write_file(stale, "left by a crash"));
  const NativeString linked = name_with_number(probe_path, next + 1);
#ifndef _WIN32
  ASSERT_TRUE(write_file(folder.at("victim"), "not to be truncated"));
  fs::create_symlink(fs::path(folder.at("victim")), fs::path(linked));
#else
  ASSERT_TRUE(write_file(linked, "left by a crash"));
#endif
  {
    TemporaryFile file;
    ASSERT_TRUE(file.create(target));
    EXPECT_EQ(name_number(file.path()), next + 2);
    ASSERT_TRUE(write_text(file, "new image"));
  }
  EXPECT_EQ(read_all(stale), "left by a crash");
#ifndef _WIN32
  EXPECT_EQ(read_all(folder.at("victim")), "not to be truncated");
  EXPECT_TRUE(fs::is_symlink(fs::path(linked)));
#endif
  EXPECT_EQ(test::temporary_files_of(target).size(), 2u);
}

TEST(TemporaryFile, CommitPutsTheWholeFileInTheTargetsPlaceOnlyAsAllowed) {
  ScratchFolder folder("temporary-commit");
  const NativeString target = folder.at("image.iso");

  TemporaryFile fresh;
  ASSERT_TRUE(fresh.create(target));
  ASSERT_TRUE(write_text(fresh, "first"));
  ASSERT_TRUE(fresh.commit(ExistingTarget::keep));
  EXPECT_EQ(read_all(target), "first");

  // An existing target is kept: the new file goes, the target stays.
  TemporaryFile refused;
  ASSERT_TRUE(refused.create(target));
  ASSERT_TRUE(write_text(refused, "second"));
  EXPECT_FALSE(refused.commit(ExistingTarget::keep));
  EXPECT_TRUE(is_file_exists_error(refused.last_error())) << refused.last_error();
  EXPECT_EQ(read_all(target), "first");

  TemporaryFile replacing;
  ASSERT_TRUE(replacing.create(target));
  ASSERT_TRUE(write_text(replacing, "third"));
  ASSERT_TRUE(replacing.commit(ExistingTarget::replace));
  EXPECT_EQ(read_all(target), "third");
  EXPECT_TRUE(test::temporary_files_of(target).empty());
}

#ifndef _WIN32
// A file put under the temporary file's name by someone else is not this
// file's to publish or to remove. (Windows lets nobody rename or delete a
// file while it is open here.)
TEST(TemporaryFile, AFileThatTookItsNameIsNeitherPublishedNorRemoved) {
  ScratchFolder folder("temporary-swapped");
  const NativeString target = folder.at("image.iso");
  for (const bool commit : {false, true}) {
    TemporaryFile file;
    ASSERT_TRUE(file.create(target));
    const NativeString path = file.path();
    fs::remove(fs::path(path));
    ASSERT_TRUE(write_file(path, "someone else's"));
    if (commit) {
      EXPECT_FALSE(file.commit(ExistingTarget::replace));
    } else {
      file.discard();
    }
    EXPECT_EQ(read_all(path), "someone else's");
    EXPECT_FALSE(fs::exists(fs::path(target)));
    fs::remove(fs::path(path));
  }
}
#endif

#ifdef __linux__
// Where the system cannot rename without replacing in one step (a file
// system without RENAME_NOREPLACE, a container that does not know the
// call), a link is made instead, and where there are no links either, the
// name is looked at before the rename: the target is kept all the same.
TEST(TemporaryFile, KeepingTheTargetNeedsNeitherTheRenameFlagNorLinks) {
  ScratchFolder folder("temporary-fallback");
  const struct {
    const char* name;
    int error;
    std::initializer_list<unsigned> calls;
  } refusals[] = {
      {"no RENAME_NOREPLACE", EINVAL, {__NR_renameat2}},
      {"no such call", ENOSYS, {__NR_renameat2}},
      {"neither the flag nor links", EPERM, {__NR_renameat2, __NR_link, __NR_linkat}},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    const NativeString target = folder.at("image.iso");
    fs::remove(fs::path(target));
    ASSERT_TRUE(test::run_with_calls_refused(refusal.error, refusal.calls, [&] {
      TemporaryFile first;
      ASSERT_TRUE(first.create(target));
      ASSERT_TRUE(write_text(first, "first"));
      EXPECT_TRUE(first.commit(ExistingTarget::keep));
      TemporaryFile second;
      ASSERT_TRUE(second.create(target));
      ASSERT_TRUE(write_text(second, "second"));
      EXPECT_FALSE(second.commit(ExistingTarget::keep));
      EXPECT_TRUE(is_file_exists_error(second.last_error())) << second.last_error();
    }));
    EXPECT_EQ(read_all(target), "first");
    EXPECT_TRUE(test::temporary_files_of(target).empty());
  }
}
#endif

TEST(TemporaryFile, OnlyNamesOfItsFormAreTakenForTemporaryFiles) {
  const NativeString target = KESTREL_NATIVE("/out/image.iso");
  EXPECT_TRUE(is_temporary_file_of(target, KESTREL_NATIVE("/out/image.iso.4021-17.kestrel-part")));
  for (const NativeChar* other : {
           KESTREL_NATIVE("/out/image.iso"),
           KESTREL_NATIVE("/out/image.iso.kestrel-part"),
           KESTREL_NATIVE("/out/image.iso.4021.kestrel-part"),
           KESTREL_NATIVE("/out/image.iso.-17.kestrel-part"),
           KESTREL_NATIVE("/out/image.iso.4021-.kestrel-part"),
           KESTREL_NATIVE("/out/image.iso.40x1-17.kestrel-part"),
           KESTREL_NATIVE("/out/image.iso.4021-17.kestrel-part.txt"),
           KESTREL_NATIVE("/out/image.isoX4021-17.kestrel-part"),
           KESTREL_NATIVE("/out/other.iso.4021-17.kestrel-part"),
           KESTREL_NATIVE("/elsewhere/image.iso.4021-17.kestrel-part"),
       }) {
    EXPECT_FALSE(is_temporary_file_of(target, other)) << display_text(other);
  }
}

TEST(PathComparison, PathsInsideAFolderAndTheSamePath) {
  EXPECT_TRUE(path_is_inside(KESTREL_NATIVE("/src/a/b.json"), KESTREL_NATIVE("/src")));
  EXPECT_TRUE(path_is_inside(KESTREL_NATIVE("/src/b.json"), KESTREL_NATIVE("/src/")));
  EXPECT_TRUE(path_is_inside(KESTREL_NATIVE("/src"), KESTREL_NATIVE("/")));
  EXPECT_FALSE(path_is_inside(KESTREL_NATIVE("/src"), KESTREL_NATIVE("/src")));
  EXPECT_FALSE(path_is_inside(KESTREL_NATIVE("/src2/b.json"), KESTREL_NATIVE("/src")));
  EXPECT_FALSE(path_is_inside(KESTREL_NATIVE("/sr"), KESTREL_NATIVE("/src")));
  EXPECT_TRUE(same_path(KESTREL_NATIVE("/out/x.iso"), KESTREL_NATIVE("/out/x.iso")));
  EXPECT_FALSE(same_path(KESTREL_NATIVE("/out/x.iso"), KESTREL_NATIVE("/out/x.is")));
#ifdef _WIN32
  // Windows file systems do not tell case apart.
  EXPECT_TRUE(same_path(L"C:\\Out\\X.ISO", L"c:\\out\\x.iso"));
  EXPECT_TRUE(path_is_inside(L"C:\\SRC\\b.json", L"c:\\src"));
  EXPECT_TRUE(path_is_inside(L"D:\\b.json", L"D:\\"));
#else
  EXPECT_FALSE(same_path("/out/X.ISO", "/out/x.iso"));
#endif
}

}  // namespace
}  // namespace kestrel
