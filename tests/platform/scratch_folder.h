// A private folder for one test, removed with everything in it afterwards.
// Header-only, as tests/ compiles only *_test.cpp files and tests/support.
#pragma once

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/file_system.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/long_path_win32.h"
#else
#include <unistd.h>
#endif

namespace kestrel::testing {

// Writes `bytes` to a new file through the file layer; false on failure.
inline bool write_file(const NativeString& path, const std::string& bytes) {
  FileHandle file;
  if (!file.open(path, file_mode_write | file_mode_create_always)) return false;
  return bytes.empty() || file.write(bytes.data(), bytes.size()) == bytes.size();
}

inline bool remove_folder(const NativeString& path) {
#ifdef _WIN32
  std::wstring target;
  unsigned long error = 0;
  return win32_path(path, target, error) && RemoveDirectoryW(target.c_str()) != 0;
#else
  return ::rmdir(path.c_str()) == 0;
#endif
}

// Deletes a folder tree through the file layer, at any path length. The
// tests make no links, so following the entries' types is safe.
inline void remove_tree(const NativeString& path) {
  DirectoryFinder finder;
  FindEntry entry;
  for (bool found = finder.find_first(path, entry); found; found = finder.find_next(entry)) {
    if (entry.name == KESTREL_NATIVE(".") || entry.name == KESTREL_NATIVE("..")) continue;
    const NativeString child = path + native_separator + entry.name;
    if (entry.is_directory) {
      remove_tree(child);
    } else {
      remove_file(child);
    }
  }
  finder.close();
  remove_folder(path);
}

class ScratchFolder {
 public:
  ScratchFolder() {
    static std::atomic<unsigned> counter{0};
    NativeString root = scratch_root();
    while (!root.empty() && is_path_separator(root.back())) root.pop_back();
    const std::string leaf =
        "kestrel-" + std::to_string(process_number()) + "-" + std::to_string(counter++);
    path_ = root + native_separator + NativeString(leaf.begin(), leaf.end());
    remove_tree(path_);
    create_directories(path_);
  }
  ~ScratchFolder() { remove_tree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder's absolute path, without a trailing separator.
  const NativeString& path() const { return path_; }
  // `name` inside the folder.
  NativeString operator/(const NativeString& name) const { return path_ + native_separator + name; }

 private:
  static NativeString scratch_root() {
    if (const char* configured = std::getenv("KESTREL_TEST_TMP");
        configured != nullptr && *configured != 0) {
      std::error_code ignored;
      std::filesystem::create_directories(configured, ignored);
      return canonical_path(std::filesystem::path(configured).native());
    }
    std::error_code error;
    const auto temp = std::filesystem::temp_directory_path(error);
    return canonical_path(error ? NativeString(KESTREL_NATIVE(".")) : temp.native());
  }

  static unsigned long process_number() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
  }

  NativeString path_;
};

}  // namespace kestrel::testing
