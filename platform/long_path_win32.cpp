#include "platform/long_path_win32.h"

#include <windows.h>

namespace kestrel {
namespace {

constexpr wchar_t extended_prefix[] = L"\\\\?\\";
constexpr wchar_t extended_unc_prefix[] = L"\\\\?\\UNC\\";
constexpr wchar_t device_prefix[] = L"\\\\.\\";

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool starts_with(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool is_drive_letter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// "C:\..." or "\\server\share\...": the path names the same object whatever
// the current drive and directory are.
bool is_fully_qualified(const std::wstring& path) {
  if (path.size() >= 3 && is_drive_letter(path[0]) && path[1] == L':' && is_separator(path[2])) {
    return true;
  }
  return path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]);
}

}  // namespace

std::wstring full_path_name(const std::wstring& path, unsigned long& error) {
  // The first call reports the size needed (terminator included); the
  // buffer is grown until the answer fits, since the current directory can
  // change between the calls.
  std::wstring buffer(path.size() + MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD capacity = static_cast<DWORD>(buffer.size());
    const DWORD length = GetFullPathNameW(path.c_str(), capacity, buffer.data(), nullptr);
    if (length == 0) {
      error = GetLastError();
      return {};
    }
    if (length < capacity) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length, L'\0');
  }
  error = ERROR_INSUFFICIENT_BUFFER;
  return {};
}

bool win32_path(const std::wstring& path, std::wstring& result, unsigned long& error) {
  // A NUL inside the text would silently cut the path short and name
  // another file.
  if (path.find(L'\0') != std::wstring::npos) {
    error = ERROR_INVALID_NAME;
    return false;
  }
  if (path.size() < plain_path_limit || starts_with(path, extended_prefix) ||
      starts_with(path, device_prefix)) {
    result = path;
    return true;
  }
  // Relative and drive-relative paths depend on process-wide state that the
  // extended form cannot express; they are refused rather than cut short.
  if (!is_fully_qualified(path)) {
    error = ERROR_FILENAME_EXCED_RANGE;
    return false;
  }
  // The extended form is passed to the file system as it stands, so "." and
  // ".." steps and forward slashes are resolved first.
  const std::wstring full = full_path_name(path, error);
  if (full.empty()) return false;
  if (starts_with(full, extended_prefix) || starts_with(full, device_prefix)) {
    result = full;
  } else if (full.size() >= 2 && is_separator(full[0]) && is_separator(full[1])) {
    result = extended_unc_prefix + full.substr(2);
  } else {
    result = extended_prefix + full;
  }
  return true;
}

}  // namespace kestrel
