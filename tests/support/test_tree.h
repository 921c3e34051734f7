// Helpers for tests: scratch folders on disk with files of chosen sizes, and
// reading sectors back from built images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/build_job.h"
#include "platform/native_text.h"

namespace kestrel::test {

// A scratch folder, removed with everything in it when the object goes away.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const NativeString& path() const { return path_; }
  // Path of an entry below the folder; `relative` uses '/' as separator.
  NativeString at(const std::string& relative) const;
  // Creates a file (and its folders) whose bytes follow a pattern seeded by `seed`.
  void file(const std::string& relative, uint64_t size, uint32_t seed = 1) const;
  void text_file(const std::string& relative, const std::string& contents) const;
  void folder(const std::string& relative) const;
  // A sparse file of `size` bytes with a few marked bytes.
  void sparse_file(const std::string& relative, uint64_t size) const;

 private:
  NativeString path_;
};

// The pattern byte at `offset` of a file made by ScratchFolder::file.
uint8_t pattern_byte(uint32_t seed, uint64_t offset);

// Reads `count` bytes at `offset` from a file.
std::vector<uint8_t> read_bytes(const NativeString& path, uint64_t offset, size_t count);
uint64_t file_size(const NativeString& path);

NativeString native(const std::string& utf8);

// Builds an image synchronously and returns the finished job.
std::unique_ptr<BuildJob> build_image(const NativeString& source, int32_t fs_code,
                                      const NativeString& output, std::u16string_view label = u"");

}  // namespace kestrel::test
