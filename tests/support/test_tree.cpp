#include "support/test_tree.h"

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/file_system.h"

namespace kestrel::test {
namespace fs = std::filesystem;

namespace {

fs::path to_fs(const NativeString& path) { return fs::path(path); }

fs::path scratch_root() {
  if (const char* configured = std::getenv("KESTREL_TEST_TMP");
      configured != nullptr && *configured) {
    return fs::path(configured);
  }
  return fs::temp_directory_path() / "kestrel-tests";
}

}  // namespace

NativeString native(const std::string& utf8) {
#ifdef _WIN32
  const std::u16string wide = utf16_from_utf8(utf8);
  return NativeString(wide.begin(), wide.end());
#else
  return utf8;
#endif
}

ScratchFolder::ScratchFolder(const std::string& name) {
  static std::random_device device;
  const fs::path folder = scratch_root() / (name + "-" + std::to_string(device()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  path_ = folder.native();
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::permissions(to_fs(path_), fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(
           to_fs(path_), fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(to_fs(path_), ignored);
}

NativeString ScratchFolder::at(const std::string& relative) const {
  return (to_fs(path_) / fs::path(native(relative)).make_preferred()).native();
}

uint8_t pattern_byte(uint32_t seed, uint64_t offset) {
  uint64_t x = (offset + 1) * 0x9E3779B97F4A7C15ull ^ (static_cast<uint64_t>(seed) << 32);
  x ^= x >> 29;
  return static_cast<uint8_t>(x * 0xBF58476D1CE4E5B9ull >> 56);
}

void ScratchFolder::file(const std::string& relative, uint64_t size, uint32_t seed) const {
  const fs::path target = to_fs(at(relative));
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::vector<char> chunk(65536);
  for (uint64_t done = 0; done < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - done));
    for (size_t i = 0; i < n; ++i) chunk[i] = static_cast<char>(pattern_byte(seed, done + i));
    out.write(chunk.data(), static_cast<std::streamsize>(n));
    done += n;
  }
}

void ScratchFolder::text_file(const std::string& relative, const std::string& contents) const {
  const fs::path target = to_fs(at(relative));
  fs::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary | std::ios::trunc) << contents;
}

void ScratchFolder::folder(const std::string& relative) const {
  fs::create_directories(to_fs(at(relative)));
}

void ScratchFolder::sparse_file(const std::string& relative, uint64_t size) const {
  const fs::path target = to_fs(at(relative));
  fs::create_directories(target.parent_path());
  { std::ofstream(target, std::ios::binary | std::ios::trunc); }
  fs::resize_file(target, size);
  std::fstream out(target, std::ios::binary | std::ios::in | std::ios::out);
  for (uint64_t offset : {uint64_t{0}, size / 3, size / 2 + 4095, size - 1}) {
    out.seekp(static_cast<std::streamoff>(offset));
    out.put(static_cast<char>(0x5A));
  }
}

std::vector<uint8_t> read_bytes(const NativeString& path, uint64_t offset, size_t count) {
  std::ifstream in(to_fs(path), std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::vector<uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

uint64_t file_size(const NativeString& path) {
  std::error_code error;
  const auto size = fs::file_size(to_fs(path), error);
  return error ? 0 : size;
}

std::unique_ptr<BuildJob> build_image(const NativeString& source, int32_t fs_code,
                                      const NativeString& output, std::u16string_view label) {
  return start_build(source, label, fs_code, output, "Kestrel", "Kestrel 1.5", false);
}

}  // namespace kestrel::test
