#include "support/scratch_folder.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/temporary_file.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/long_path_win32.h"
#else
#include <unistd.h>
#endif

namespace kestrel::test {
namespace fs = std::filesystem;

namespace {

fs::path to_fs(const NativeString& path) { return fs::path(path); }

// $KESTREL_TEST_TMP (made if missing), else the system's temporary folder.
NativeString scratch_root() {
  std::error_code error;
  if (const char* configured = std::getenv("KESTREL_TEST_TMP");
      configured != nullptr && *configured != 0) {
    fs::create_directories(configured, error);
    return canonical_path(fs::path(configured).native());
  }
  const auto temp = fs::temp_directory_path(error);
  return canonical_path(error ? NativeString(KESTREL_NATIVE(".")) : temp.native());
}

unsigned long process_number() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

bool remove_folder(const NativeString& path) {
#ifdef _WIN32
  std::wstring target;
  unsigned long error = 0;
  return win32_path(path, target, error) && RemoveDirectoryW(target.c_str()) != 0;
#else
  return ::rmdir(path.c_str()) == 0;
#endif
}

// Gives the owner every right below `path` again, so that tests that took
// rights away leave nothing the removal cannot delete.
void restore_rights(const NativeString& path) {
  std::error_code ignored;
  fs::permissions(to_fs(path), fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(
           to_fs(path), fs::directory_options::skip_permission_denied, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
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

bool write_file(const NativeString& path, const std::string& bytes) {
  FileHandle file;
  if (!file.open(path, file_mode_write | file_mode_create_always)) return false;
  return bytes.empty() || file.write(bytes.data(), bytes.size()) == bytes.size();
}

void remove_tree(const NativeString& path) {
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

ScratchFolder::ScratchFolder(const std::string& name) {
  static std::atomic<unsigned> counter{0};
  NativeString root = scratch_root();
  while (!root.empty() && is_path_separator(root.back())) root.pop_back();
  const std::string leaf =
      name + "-" + std::to_string(process_number()) + "-" + std::to_string(counter++);
  path_ = root + native_separator + native(leaf);
  remove_tree(path_);
  create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  restore_rights(path_);
  // The standard removal leaves links unfollowed (tests make link loops);
  // what it cannot reach (Windows paths beyond MAX_PATH) goes through the
  // file layer.
  std::error_code error;
  fs::remove_all(to_fs(path_), error);
  if (error || fs::exists(to_fs(path_), error)) remove_tree(path_);
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

void ScratchFolder::bytes_file(const std::string& relative,
                               const std::vector<uint8_t>& bytes) const {
  text_file(relative, std::string(bytes.begin(), bytes.end()));
}

void ScratchFolder::hard_link(const std::string& existing, const std::string& relative) const {
  const fs::path target = to_fs(at(relative));
  fs::create_directories(target.parent_path());
  fs::create_hard_link(to_fs(at(existing)), target);
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

void ScratchFolder::sparse_file(const std::string& relative, uint64_t size,
                                const std::vector<std::pair<uint64_t, uint64_t>>& data_runs,
                                uint32_t seed) const {
  const fs::path target = to_fs(at(relative));
  fs::create_directories(target.parent_path());
  { std::ofstream(target, std::ios::binary | std::ios::trunc); }
  fs::resize_file(target, size);
  std::fstream out(target, std::ios::binary | std::ios::in | std::ios::out);
  for (const auto& [offset, length] : data_runs) {
    out.seekp(static_cast<std::streamoff>(offset));
    for (uint64_t i = 0; i < length; ++i)
      out.put(static_cast<char>(pattern_byte(seed, offset + i)));
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

std::vector<NativeString> temporary_files_of(const NativeString& target) {
  std::vector<NativeString> found;
  std::vector<NativeString> names;
  SystemError error = 0;
  const NativeString folder = parent_path(target);
  if (!list_names(folder, names, error)) return found;
  for (const NativeString& name : names) {
    const NativeString path = folder + native_separator + name;
    if (is_temporary_file_of(target, path)) found.push_back(path);
  }
  return found;
}

}  // namespace kestrel::test
