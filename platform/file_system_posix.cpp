// POSIX implementation of the file and directory layer.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/file_system.h"
#include "platform/file_system_posix.h"
#ifdef KESTREL_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

namespace kestrel {

bool fill_attributes(int directory_fd, const char* name, FindEntry& entry) {
  struct statx info {};
  if (statx(directory_fd, name, 0, entry_facts_mask, &info) != 0) {
    entry.error = errno;
    struct statx link {};
    entry.broken_link = (errno == ENOENT || errno == ELOOP) &&
                        statx(directory_fd, name, AT_SYMLINK_NOFOLLOW, STATX_TYPE, &link) == 0 &&
                        S_ISLNK(link.stx_mode);
    return false;
  }
  fill_from_statx(info, entry);
  return true;
}

// The birth time is the creation time where the file system records one;
// otherwise the creation time is the last-write time.
void fill_from_statx(const struct statx& info, FindEntry& entry) {
  entry.is_directory = S_ISDIR(info.stx_mode);
  entry.is_special = !entry.is_directory && !S_ISREG(info.stx_mode);
  entry.executable = !entry.is_directory && (info.stx_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
  entry.size = entry.is_directory ? 0 : info.stx_size;
  entry.modified = info.stx_mtime.tv_sec;
  entry.accessed = info.stx_atime.tv_sec;
  entry.created = (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime.tv_sec : entry.modified;
  entry.device = (static_cast<uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
  entry.inode = info.stx_ino;
}

std::string describe_system_error(SystemError error) {
  if (error == 0) return "unknown error";
  return std::strerror(error);
}

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const NativeString& path, unsigned mode) {
  close();
#ifdef KESTREL_FAULT_INJECTION
  if (const auto fault = fault_injection::next_call(fault_injection::FileOperation::open);
      fault.active) {
    last_error_ = fault.error;
    return false;
  }
#endif
  int flags = O_CLOEXEC;
  if ((mode & file_mode_read) && (mode & file_mode_write)) {
    flags |= O_RDWR;
  } else if (mode & file_mode_write) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  if (mode & file_mode_create_always) flags |= O_CREAT | O_TRUNC;
  // Reading opens without blocking, so that a FIFO put in a file's place
  // cannot stall the build; regular files ignore the flag.
  const bool read_only = !(mode & file_mode_write);
  if (read_only) flags |= O_NONBLOCK;
  descriptor_ = ::open(path.c_str(), flags, 0666);
  last_error_ = descriptor_ < 0 ? errno : 0;
  if (descriptor_ >= 0 && read_only) {
    // Only regular files are read: a folder opens for reading on POSIX but
    // holds no file data, nor does a device or FIFO.
    struct stat info {};
    if (fstat(descriptor_, &info) != 0 || !S_ISREG(info.st_mode)) {
      last_error_ = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
      ::close(descriptor_);
      descriptor_ = -1;
    } else {
      fcntl(descriptor_, F_SETFL, fcntl(descriptor_, F_GETFL) & ~O_NONBLOCK);
    }
  }
  return descriptor_ >= 0;
}

size_t FileHandle::read(void* buffer, size_t count) {
  if (count == 0) return 0;
  return read_at_least(buffer, count, count);
}

size_t FileHandle::read_last(void* buffer, size_t count) {
  // Asks for one byte more than expected: a regular file that returns fewer
  // bytes than asked has ended, so no further call is needed to see its end.
  return read_at_least(buffer, count, count + 1);
}

size_t FileHandle::read_at_least(void* buffer, size_t least, size_t most) {
  if (descriptor_ < 0) return 0;
#ifdef KESTREL_FAULT_INJECTION
  if (const auto fault = fault_injection::next_call(fault_injection::FileOperation::read);
      fault.active) {
    const bool partial = fault.effect == fault_injection::FaultEffect::short_count;
    const size_t moved = partial ? read(buffer, least / 2) : 0;
    last_error_ = fault.error;
    return moved;
  }
#endif
  auto* out = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  for (;;) {
    const ssize_t got = ::read(descriptor_, out + total, most - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      last_error_ = errno;
      break;
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
    if (total >= least) break;
  }
  return total;
}

size_t FileHandle::write(const void* buffer, size_t count) {
  if (descriptor_ < 0 || count == 0) return 0;
#ifdef KESTREL_FAULT_INJECTION
  if (const auto fault = fault_injection::next_call(fault_injection::FileOperation::write);
      fault.active) {
    const bool partial = fault.effect == fault_injection::FaultEffect::short_count;
    const size_t moved = partial ? write(buffer, count / 2) : 0;
    last_error_ = fault.error;
    return moved;
  }
#endif
  const auto* in = static_cast<const uint8_t*>(buffer);
  size_t total = 0;
  while (total < count) {
    const ssize_t put = ::write(descriptor_, in + total, count - total);
    if (put < 0) {
      if (errno == EINTR) continue;
      last_error_ = errno;
      break;
    }
    if (put == 0) {
      last_error_ = ENOSPC;
      break;
    }
    total += static_cast<size_t>(put);
  }
  return total;
}

uint64_t FileHandle::size() {
  struct stat info {};
  if (descriptor_ < 0 || fstat(descriptor_, &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

void FileHandle::close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool FileHandle::is_open() const { return descriptor_ >= 0; }

DIR* open_folder_listing(const NativeString& directory, SystemError& error) {
  error = 0;
#ifdef KESTREL_FAULT_INJECTION
  if (const auto fault = fault_injection::next_call(fault_injection::FileOperation::list);
      fault.active) {
    error = fault.error;
    return nullptr;
  }
#endif
  DIR* handle = opendir(directory.c_str());
  if (handle == nullptr) error = errno;
  return handle;
}

bool list_names(const NativeString& directory, std::vector<NativeString>& names,
                SystemError& error) {
  names.clear();
  DIR* handle = directory.empty() ? nullptr : open_folder_listing(directory, error);
  if (handle == nullptr) {
    if (directory.empty()) error = ENOENT;
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* item = readdir(handle);
    if (item == nullptr) {
      error = errno;
      break;
    }
    const std::string_view name = item->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  closedir(handle);
  return error == 0;
}

WholeFile read_whole_file(const NativeString& path) {
  WholeFile result;
  FileHandle file;
  if (!file.open(path, file_mode_read)) return result;
  const uint64_t size = file.size();
  if (size == 0 || size > whole_file_limit) return result;
  const auto length = static_cast<size_t>(size);
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[length + 2]);
  if (!bytes) return result;
  const size_t got = file.read(bytes.get(), length);
  bytes[got] = 0;
  bytes[got + 1] = 0;
  if (got == 0) return result;
  result.bytes = std::move(bytes);
  result.length = got;
  return result;
}

bool path_exists(const NativeString& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool is_directory(const NativeString& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool stat_path(const NativeString& path, FindEntry& entry) {
  entry = FindEntry{};
  entry.name = last_path_component(path);
  if (fill_attributes(AT_FDCWD, path.c_str(), entry)) return true;
  entry.unreadable = true;
  return false;
}

bool create_directories(const NativeString& path, SystemError* error) {
  if (path.empty()) return false;
  if (is_directory(path)) return true;
  NativeString parent = parent_path(path);
  if (!parent.empty() && parent != path && !create_directories(parent, error)) return false;
  if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
    if (error != nullptr) *error = errno;
    return false;
  }
  if (is_directory(path)) return true;
  // Something that is not a folder stands in the way.
  if (error != nullptr) *error = ENOTDIR;
  return false;
}

bool remove_file(const NativeString& path) { return ::unlink(path.c_str()) == 0; }

bool rename_replacing(const NativeString& from, const NativeString& to, SystemError* error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (error != nullptr) *error = errno;
  return false;
}

NativeString current_directory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

bool is_path_separator(NativeChar c) { return c == '/'; }

NativeString canonical_path(const NativeString& path) {
  if (path.empty()) return {};
  NativeString absolute = path;
  if (path.front() != '/') {
    const NativeString base = current_directory();
    if (base.empty()) return {};
    absolute = base + "/" + path;
  }
  // Lexical canonicalisation: "." steps vanish, ".." removes the step before it.
  std::vector<NativeString> steps;
  size_t position = 0;
  while (position <= absolute.size()) {
    size_t end = absolute.find('/', position);
    if (end == NativeString::npos) end = absolute.size();
    NativeString step = absolute.substr(position, end - position);
    if (step == "..") {
      if (!steps.empty()) steps.pop_back();
    } else if (!step.empty() && step != ".") {
      steps.push_back(std::move(step));
    }
    position = end + 1;
  }
  NativeString result;
  for (const auto& step : steps) result += "/" + step;
  if (result.empty()) result = "/";
  return result;
}

}  // namespace kestrel
