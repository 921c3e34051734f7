// POSIX implementation of the file and directory layer.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
  entry.link_count = (info.stx_mask & STATX_NLINK) != 0 ? info.stx_nlink : 0;
  // st_blocks counts 512-byte units whatever the file system's block size.
  constexpr uint64_t allocation_unit_bytes = 512;
  entry.may_have_holes = S_ISREG(info.stx_mode) && (info.stx_mask & STATX_BLOCKS) != 0 &&
                         info.stx_blocks * allocation_unit_bytes < info.stx_size;
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
  // O_EXCL also refuses a link in the name's place, dangling or not.
  if (mode & file_mode_create_new) flags |= O_CREAT | O_EXCL;
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
  if (holes_.active) return read_skipping_holes(static_cast<uint8_t*>(buffer), count);
  return read_at_least(buffer, count, count);
}

size_t FileHandle::read_last(void* buffer, size_t count) {
  if (holes_.active) return read_last_skipping_holes(static_cast<uint8_t*>(buffer), count);
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

bool FileHandle::locate_data(uint64_t offset, uint64_t& start, uint64_t& end) {
  const off_t data = lseek(descriptor_, static_cast<off_t>(offset), SEEK_DATA);
  if (data < 0) {
    // ENXIO: no data from `offset` to the end of the file. Any other
    // answer: the file is taken to be data throughout.
    if (errno == ENXIO) return false;
    start = offset;
    end = UINT64_MAX;
    return true;
  }
  const off_t hole = lseek(descriptor_, data, SEEK_HOLE);
  start = static_cast<uint64_t>(data);
  end = hole > data ? static_cast<uint64_t>(hole) : UINT64_MAX;
  return true;
}

size_t FileHandle::read_at(uint64_t offset, uint8_t* buffer, size_t count) {
  size_t total = 0;
  while (total < count) {
    const ssize_t got =
        ::pread(descriptor_, buffer + total, count - total, static_cast<off_t>(offset + total));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      last_error_ = errno;
      break;
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
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
  holes_ = HoleCursor{};
}

bool FileHandle::is_open() const { return descriptor_ >= 0; }

bool FileHandle::is_file_at(const NativeString& path) const {
  struct stat open_file {};
  struct stat named {};
  return descriptor_ >= 0 && fstat(descriptor_, &open_file) == 0 &&
         ::lstat(path.c_str(), &named) == 0 && open_file.st_dev == named.st_dev &&
         open_file.st_ino == named.st_ino;
}

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

bool query_file_identity(const NativeString& path, FileIdentity& identity) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_INO | STATX_NLINK, &info) != 0) return false;
  identity.volume = (static_cast<uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
  identity.index = info.stx_ino;
  identity.link_count = info.stx_nlink;
  return true;
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

bool rename_keeping_existing(const NativeString& from, const NativeString& to, SystemError* error) {
  const auto failed = [error](int reason) {
    if (error != nullptr) *error = reason;
    return false;
  };
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  // File systems without the flag (some network and FUSE ones) say EINVAL;
  // a container's system-call filter that does not know the call may say
  // EPERM. The steps below then give the real answer.
  if (errno != EINVAL && errno != ENOSYS && errno != EPERM && errno != EOPNOTSUPP)
    return failed(errno);
#endif
  // A second name is made only where none is: then the first goes.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return failed(EEXIST);
  // File systems without links (FAT): look, then rename.
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) return failed(EEXIST);
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  return failed(errno);
}

bool is_file_exists_error(SystemError error) { return error == EEXIST; }

uint32_t current_process_number() { return static_cast<uint32_t>(::getpid()); }

bool same_path(NativeStringView a, NativeStringView b) { return a == b; }

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
