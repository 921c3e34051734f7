// Scratch folders on disk for tests: a private folder per use, filled with
// files of chosen sizes and patterns, and removed with everything in it,
// at any path length, when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/native_text.h"

namespace kestrel::test {

class ScratchFolder {
 public:
  // `name` starts the folder's leaf name, so that a left-over folder tells
  // which test made it.
  explicit ScratchFolder(const std::string& name = "scratch");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder's absolute, canonical path, without a trailing separator.
  const NativeString& path() const { return path_; }
  // Path of an entry below the folder; `relative` uses '/' as separator.
  NativeString at(const std::string& relative) const;
  // `name` directly inside the folder.
  NativeString operator/(const NativeString& name) const { return path_ + native_separator + name; }
  // Creates a file (and its folders) whose bytes follow a pattern seeded by `seed`.
  void file(const std::string& relative, uint64_t size, uint32_t seed = 1) const;
  // Creates a file (and its folders) holding exactly `contents` or `bytes`.
  void text_file(const std::string& relative, const std::string& contents) const;
  void bytes_file(const std::string& relative, const std::vector<uint8_t>& bytes) const;
  // A further name `relative` of the existing file `existing` (a hard link).
  void hard_link(const std::string& existing, const std::string& relative) const;
  void folder(const std::string& relative) const;
  // A sparse file of `size` bytes with a few marked bytes.
  void sparse_file(const std::string& relative, uint64_t size) const;
  // A sparse file of `size` bytes whose data is the pattern of `seed` in
  // each run of (offset, length) bytes, and holes elsewhere.
  void sparse_file(const std::string& relative, uint64_t size,
                   const std::vector<std::pair<uint64_t, uint64_t>>& data_runs,
                   uint32_t seed = 1) const;

 private:
  NativeString path_;
};

// The pattern byte at `offset` of a file made by ScratchFolder::file.
uint8_t pattern_byte(uint32_t seed, uint64_t offset);

// Writes `bytes` to a new file through the file layer; false on failure.
bool write_file(const NativeString& path, const std::string& bytes);
// Deletes a folder tree through the file layer, at any path length. It
// follows the entries' types, so it is only for trees without links.
void remove_tree(const NativeString& path);

// Reads `count` bytes at `offset` from a file.
std::vector<uint8_t> read_bytes(const NativeString& path, uint64_t offset, size_t count);
uint64_t file_size(const NativeString& path);

NativeString native(const std::string& utf8);

// The temporary files of builds to `target` in its folder.
std::vector<NativeString> temporary_files_of(const NativeString& target);

}  // namespace kestrel::test
