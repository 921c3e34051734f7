// Path helpers that are the same on every platform.
#include "platform/file_system.h"

namespace kestrel {

NativeString last_path_component(const NativeString& path) {
  size_t end = path.size();
  while (end > 0 && is_path_separator(path[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !is_path_separator(path[start - 1])) --start;
  return path.substr(start, end - start);
}

NativeString parent_path(const NativeString& path) {
  size_t end = path.size();
  while (end > 0 && is_path_separator(path[end - 1])) --end;
  while (end > 0 && !is_path_separator(path[end - 1])) --end;
  if (end == 0) return {};
  // Keep a root such as "/" or "C:\" whole.
  size_t trimmed = end;
  while (trimmed > 1 && is_path_separator(path[trimmed - 1])) --trimmed;
  if (trimmed > 0 && (trimmed == 1 || path[trimmed - 1] == NativeChar(':')))
    return path.substr(0, end);
  return path.substr(0, trimmed);
}

bool path_is_inside(NativeStringView path, NativeStringView folder) {
  size_t length = folder.size();
  while (length > 0 && is_path_separator(folder[length - 1])) --length;
  // A root ("/", or "C:\" with its separator cut) holds every other path.
  if (path.size() <= length + 1 || !is_path_separator(path[length])) return false;
  return same_path(path.substr(0, length), folder.substr(0, length));
}

}  // namespace kestrel
