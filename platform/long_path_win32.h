// Turning the paths the engine uses into forms the Win32 file calls accept
// at any length.
#pragma once

#include <string>

namespace kestrel {

// Paths shorter than this are handed to Win32 unchanged. CreateDirectoryW
// refuses a path that leaves no room for an 8.3 name within MAX_PATH (260),
// so the limit keeps 12 characters in hand for every call.
inline constexpr size_t plain_path_limit = 260 - 12;

// The form of `path` to pass to a Win32 file call. Short paths come back
// unchanged. A longer fully qualified path ("C:\..." or "\\server\share\...")
// is made absolute and given the extended-length prefix ("\\?\" or
// "\\?\UNC\"), which lifts the MAX_PATH limit. A path that is already in
// extended or device form is kept. False (with a Win32 error code) for a
// path the calls cannot take: a long relative path, or one holding a NUL.
bool win32_path(const std::wstring& path, std::wstring& result, unsigned long& error);

// GetFullPathNameW into a buffer of the size it asks for; empty on failure
// (`error` then holds the reason).
std::wstring full_path_name(const std::wstring& path, unsigned long& error);

}  // namespace kestrel
