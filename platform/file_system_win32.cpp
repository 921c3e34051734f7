// Win32 implementation of the file and directory layer.
#include <windows.h>
#include <winioctl.h>

#include <cwchar>
#include <new>
#include <vector>

#include "platform/file_system.h"
#include "platform/long_path_win32.h"

namespace kestrel {
namespace {

// FILETIME counts 100-nanosecond intervals since 1601-01-01 00:00:00 UTC.
constexpr uint64_t filetime_ticks_per_second = 10'000'000;
constexpr int64_t seconds_from_1601_to_1970 = 11'644'473'600;

// ReadFile and WriteFile take 32-bit counts; large transfers are split into
// calls of this size, which network redirectors also accept.
constexpr size_t largest_transfer = 16u * 1024 * 1024;

HANDLE as_handle(void* value) { return static_cast<HANDLE>(value); }

// Whole seconds since 1970; times before 1970 come out negative.
int64_t seconds_since_1970(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / filetime_ticks_per_second) - seconds_from_1601_to_1970;
}

uint64_t join_halves(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

void fill_from_find_data(const WIN32_FIND_DATAW& data, FindEntry& entry) {
  entry = FindEntry{};
  entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.size = entry.is_directory ? 0 : join_halves(data.nFileSizeHigh, data.nFileSizeLow);
  entry.created = seconds_since_1970(data.ftCreationTime);
  entry.accessed = seconds_since_1970(data.ftLastAccessTime);
  entry.modified = seconds_since_1970(data.ftLastWriteTime);
  entry.may_have_holes =
      !entry.is_directory && (data.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE);
  entry.name.assign(data.cFileName, wcsnlen(data.cFileName, MAX_PATH));
}

void fill_from_handle_information(const BY_HANDLE_FILE_INFORMATION& info, FindEntry& entry) {
  entry.is_directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.size = entry.is_directory ? 0 : join_halves(info.nFileSizeHigh, info.nFileSizeLow);
  entry.created = seconds_since_1970(info.ftCreationTime);
  entry.accessed = seconds_since_1970(info.ftLastAccessTime);
  entry.modified = seconds_since_1970(info.ftLastWriteTime);
  entry.may_have_holes =
      !entry.is_directory && (info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE);
  entry.device = info.dwVolumeSerialNumber;
  entry.inode = join_halves(info.nFileIndexHigh, info.nFileIndexLow);
  entry.link_count = info.nNumberOfLinks;
}

// Opens a path for attribute queries only: no data access, every sharing
// allowed, so that files held open by others can still be examined. Folders
// need backup semantics to be opened at all; links are followed.
HANDLE open_for_query(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Volume serial number and file index of a folder, the identity by which the
// scan notices a junction or link that leads back into its own tree. Left at
// 0 when the folder cannot be opened.
void fill_identity(const std::wstring& path, FindEntry& entry) {
  std::wstring target;
  unsigned long error = 0;
  if (!win32_path(path, target, error)) return;
  const HANDLE handle = open_for_query(target);
  if (handle == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(handle, &info)) {
    entry.device = info.dwVolumeSerialNumber;
    entry.inode = join_halves(info.nFileIndexHigh, info.nFileIndexLow);
  }
  CloseHandle(handle);
}

bool is_dot_entry(const std::wstring& name) { return name == L"." || name == L".."; }

DWORD attributes_of(const NativeString& path) {
  std::wstring target;
  unsigned long error = 0;
  if (path.empty() || !win32_path(path, target, error)) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(target.c_str());
}

}  // namespace

std::string describe_system_error(SystemError error) {
  if (error == 0) return "unknown error";
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) {
    return "system error " + std::to_string(static_cast<unsigned long>(error));
  }
  std::u16string message(text, text + length);
  LocalFree(text);
  // System messages end with a full stop and a line break; the front ends
  // place the sentence themselves.
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' ||
                              message.back() == u' ' || message.back() == u'.')) {
    message.pop_back();
  }
  return utf8_from_utf16(message);
}

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const NativeString& path, unsigned mode) {
  close();
  std::wstring target;
  unsigned long error = 0;
  if (!win32_path(path, target, error)) {
    last_error_ = static_cast<SystemError>(error);
    return false;
  }
  DWORD access = 0;
  if (mode & file_mode_read) access |= GENERIC_READ;
  if (mode & file_mode_write) access |= GENERIC_WRITE;
  if (access == 0) access = GENERIC_READ;
  const DWORD disposition = (mode & file_mode_create_new)      ? CREATE_NEW
                            : (mode & file_mode_create_always) ? CREATE_ALWAYS
                                                               : OPEN_EXISTING;
  // Others may read the file while it is open here, never write it.
  const HANDLE handle = CreateFileW(target.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    last_error_ = static_cast<SystemError>(GetLastError());
    return false;
  }
  handle_ = handle;
  last_error_ = 0;
  return true;
}

// The file was opened without FILE_SHARE_DELETE: while it is open nobody
// can rename or delete it, so its name is still its own.
bool FileHandle::is_file_at(const NativeString&) const { return is_open(); }

size_t FileHandle::read(void* buffer, size_t count) {
  if (!is_open() || count == 0) return 0;
  if (holes_.active) return read_skipping_holes(static_cast<uint8_t*>(buffer), count);
  auto* out = static_cast<uint8_t*>(buffer);
  size_t total = 0;
  while (total < count) {
    const size_t wanted = count - total < largest_transfer ? count - total : largest_transfer;
    DWORD got = 0;
    if (!ReadFile(as_handle(handle_), out + total, static_cast<DWORD>(wanted), &got, nullptr)) {
      last_error_ = static_cast<SystemError>(GetLastError());
      break;
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

bool FileHandle::locate_data(uint64_t offset, uint64_t& start, uint64_t& end) {
  // The allocated ranges from `offset` to the end of the file as last seen;
  // the first one is the next extent of data. A file system without sparse
  // files refuses the query, and the file is then data throughout.
  start = offset;
  end = UINT64_MAX;
  if (offset >= holes_.file_end) return false;
  FILE_ALLOCATED_RANGE_BUFFER query{};
  query.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
  query.Length.QuadPart = static_cast<LONGLONG>(holes_.file_end - offset);
  FILE_ALLOCATED_RANGE_BUFFER range{};
  DWORD returned = 0;
  if (!DeviceIoControl(as_handle(handle_), FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query,
                       &range, sizeof range, &returned, nullptr) &&
      GetLastError() != ERROR_MORE_DATA)
    return true;
  if (returned < sizeof range) return false;
  start = static_cast<uint64_t>(range.FileOffset.QuadPart);
  end = start + static_cast<uint64_t>(range.Length.QuadPart);
  return true;
}

size_t FileHandle::read_at(uint64_t offset, uint8_t* buffer, size_t count) {
  size_t total = 0;
  while (total < count) {
    const size_t wanted = count - total < largest_transfer ? count - total : largest_transfer;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + total);
    at.OffsetHigh = static_cast<DWORD>((offset + total) >> 32);
    DWORD got = 0;
    if (!ReadFile(as_handle(handle_), buffer + total, static_cast<DWORD>(wanted), &got, &at)) {
      const DWORD reason = GetLastError();
      if (reason != ERROR_HANDLE_EOF) last_error_ = static_cast<SystemError>(reason);
      break;
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

size_t FileHandle::write(const void* buffer, size_t count) {
  if (!is_open() || count == 0) return 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  size_t total = 0;
  while (total < count) {
    const size_t wanted = count - total < largest_transfer ? count - total : largest_transfer;
    DWORD put = 0;
    if (!WriteFile(as_handle(handle_), in + total, static_cast<DWORD>(wanted), &put, nullptr)) {
      last_error_ = static_cast<SystemError>(GetLastError());
      break;
    }
    if (put == 0) {
      // A successful call that wrote nothing would loop for ever.
      last_error_ = ERROR_DISK_FULL;
      break;
    }
    total += put;
  }
  return total;
}

uint64_t FileHandle::size() {
  LARGE_INTEGER size{};
  if (!is_open()) return 0;
  if (!GetFileSizeEx(as_handle(handle_), &size)) {
    last_error_ = static_cast<SystemError>(GetLastError());
    return 0;
  }
  return static_cast<uint64_t>(size.QuadPart);
}

void FileHandle::close() {
  if (is_open()) CloseHandle(as_handle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  holes_ = HoleCursor{};
}

bool FileHandle::is_open() const { return as_handle(handle_) != INVALID_HANDLE_VALUE; }

struct DirectoryFinder::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  // The folder as the caller named it, with a trailing separator; entries'
  // own paths are built from it when their identity is needed.
  std::wstring directory;
  bool leave_out_dots = false;
};

namespace {

// Starts listing `directory` (not empty): its first entry in `data`, and
// in `folder` the directory with a trailing separator. INVALID_HANDLE_VALUE
// when nothing is listed, with `error` 0 for an empty folder ("no matching
// file": a drive root has no "." and ".." entries) and the reason otherwise.
HANDLE start_listing(const NativeString& directory, std::wstring& folder, WIN32_FIND_DATAW& data,
                     SystemError& error) {
  error = 0;
  folder = directory;
  if (!is_path_separator(folder.back())) folder += L'\\';
  std::wstring pattern;
  unsigned long reason = 0;
  if (!win32_path(folder + L'*', pattern, reason)) {
    error = static_cast<SystemError>(reason);
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE find = FindFirstFileW(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD failure = GetLastError();
    error = failure == ERROR_FILE_NOT_FOUND ? 0 : static_cast<SystemError>(failure);
  }
  return find;
}

}  // namespace

DirectoryFinder::~DirectoryFinder() { close(); }

bool DirectoryFinder::find_first(const NativeString& directory, FindEntry& entry, DotEntries dots) {
  close();
  last_error_ = 0;
  if (directory.empty()) return false;
  std::wstring folder;
  WIN32_FIND_DATAW data{};
  const HANDLE find = start_listing(directory, folder, data, last_error_);
  if (find == INVALID_HANDLE_VALUE) return false;
  state_ = new (std::nothrow) State{find, std::move(folder), dots == DotEntries::leave_out};
  if (state_ == nullptr) {
    FindClose(find);
    last_error_ = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  fill_from_find_data(data, entry);
  if (state_->leave_out_dots && is_dot_entry(entry.name)) return find_next(entry);
  if (entry.is_directory && !is_dot_entry(entry.name))
    fill_identity(state_->directory + entry.name, entry);
  return true;
}

bool DirectoryFinder::find_first_listed(const NativeString& directory,
                                        const std::vector<NativeString>&, FindEntry& entry) {
  return find_first(directory, entry, DotEntries::leave_out);
}

bool DirectoryFinder::find_next(FindEntry& entry) {
  if (state_ == nullptr || state_->find == INVALID_HANDLE_VALUE) return false;
  WIN32_FIND_DATAW data{};
  do {
    if (!FindNextFileW(state_->find, &data)) {
      const DWORD reason = GetLastError();
      last_error_ = reason == ERROR_NO_MORE_FILES ? 0 : static_cast<SystemError>(reason);
      return false;
    }
    fill_from_find_data(data, entry);
  } while (state_->leave_out_dots && is_dot_entry(entry.name));
  if (entry.is_directory && !is_dot_entry(entry.name))
    fill_identity(state_->directory + entry.name, entry);
  return true;
}

void DirectoryFinder::close() {
  if (state_ != nullptr && state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
  delete state_;
  state_ = nullptr;
}

bool list_names(const NativeString& directory, std::vector<NativeString>& names,
                SystemError& error) {
  names.clear();
  error = 0;
  if (directory.empty()) {
    error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  std::wstring folder;
  WIN32_FIND_DATAW data{};
  const HANDLE find = start_listing(directory, folder, data, error);
  if (find == INVALID_HANDLE_VALUE) return error == 0;
  do {
    std::wstring name(data.cFileName, wcsnlen(data.cFileName, MAX_PATH));
    if (!is_dot_entry(name)) names.push_back(std::move(name));
  } while (FindNextFileW(find, &data));
  const DWORD reason = GetLastError();
  FindClose(find);
  error = reason == ERROR_NO_MORE_FILES ? 0 : static_cast<SystemError>(reason);
  return error == 0;
}

bool path_exists(const NativeString& path) {
  return attributes_of(path) != INVALID_FILE_ATTRIBUTES;
}

bool is_directory(const NativeString& path) {
  const DWORD attributes = attributes_of(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool stat_path(const NativeString& path, FindEntry& entry) {
  entry = FindEntry{};
  entry.name = last_path_component(path);
  std::wstring target;
  unsigned long error = 0;
  if (path.empty() || !win32_path(path, target, error)) {
    entry.error = static_cast<SystemError>(error);
    entry.unreadable = true;
    return false;
  }
  const HANDLE handle = open_for_query(target);
  if (handle != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    if (!known) entry.error = static_cast<SystemError>(GetLastError());
    CloseHandle(handle);
    if (known) {
      fill_from_handle_information(info, entry);
      return true;
    }
  } else {
    entry.error = static_cast<SystemError>(GetLastError());
  }
  // Some objects (a page file, a file locked by the system) refuse even a
  // query open; their directory record still gives the attributes.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data)) {
    entry.error = 0;
    entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = entry.is_directory ? 0 : join_halves(data.nFileSizeHigh, data.nFileSizeLow);
    entry.created = seconds_since_1970(data.ftCreationTime);
    entry.accessed = seconds_since_1970(data.ftLastAccessTime);
    entry.modified = seconds_since_1970(data.ftLastWriteTime);
    return true;
  }
  entry.unreadable = true;
  return false;
}

bool query_file_identity(const NativeString& path, FileIdentity& identity) {
  std::wstring target;
  unsigned long error = 0;
  if (path.empty() || !win32_path(path, target, error)) return false;
  const HANDLE handle = open_for_query(target);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return false;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = join_halves(info.nFileIndexHigh, info.nFileIndexLow);
  identity.link_count = info.nNumberOfLinks;
  return true;
}

bool create_directories(const NativeString& path, SystemError* error) {
  if (path.empty()) return false;
  // Walk up to the deepest folder that exists, then create the missing ones
  // from the top down.
  std::vector<NativeString> missing;
  NativeString current = path;
  while (!current.empty() && !is_directory(current)) {
    missing.push_back(current);
    NativeString parent = parent_path(current);
    if (parent == current) break;
    current = std::move(parent);
  }
  for (auto step = missing.rbegin(); step != missing.rend(); ++step) {
    std::wstring target;
    unsigned long reason = 0;
    if (!win32_path(*step, target, reason)) {
      if (error != nullptr) *error = static_cast<SystemError>(reason);
      return false;
    }
    if (!CreateDirectoryW(target.c_str(), nullptr)) {
      reason = GetLastError();
      // Another process may have made it in the meantime.
      if (reason != ERROR_ALREADY_EXISTS || !is_directory(*step)) {
        if (error != nullptr) *error = static_cast<SystemError>(reason);
        return false;
      }
    }
  }
  return is_directory(path);
}

bool remove_file(const NativeString& path) {
  std::wstring target;
  unsigned long error = 0;
  return win32_path(path, target, error) && DeleteFileW(target.c_str()) != 0;
}

bool rename_replacing(const NativeString& from, const NativeString& to, SystemError* error) {
  std::wstring source;
  std::wstring destination;
  unsigned long reason = 0;
  if (win32_path(from, source, reason) && win32_path(to, destination, reason)) {
    if (MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    reason = GetLastError();
  }
  if (error != nullptr) *error = static_cast<SystemError>(reason);
  return false;
}

bool rename_keeping_existing(const NativeString& from, const NativeString& to, SystemError* error) {
  std::wstring source;
  std::wstring destination;
  unsigned long reason = 0;
  if (win32_path(from, source, reason) && win32_path(to, destination, reason)) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (MoveFileExW(source.c_str(), destination.c_str(), 0)) return true;
    reason = GetLastError();
  }
  if (error != nullptr) *error = static_cast<SystemError>(reason);
  return false;
}

bool is_file_exists_error(SystemError error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

uint32_t current_process_number() { return GetCurrentProcessId(); }

bool same_path(NativeStringView a, NativeStringView b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

NativeString current_directory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD length = GetCurrentDirectoryW(capacity, buffer.data());
    if (length == 0) return {};
    if (length < capacity) {
      buffer.resize(length);
      return buffer;
    }
    // Too small: `length` is the size needed, terminator included.
    buffer.assign(length, L'\0');
  }
  return {};
}

bool is_path_separator(NativeChar c) { return c == L'\\' || c == L'/'; }

NativeString canonical_path(const NativeString& path) {
  if (path.empty() || path.find(L'\0') != NativeString::npos) return {};
  unsigned long error = 0;
  return full_path_name(path, error);
}

}  // namespace kestrel
