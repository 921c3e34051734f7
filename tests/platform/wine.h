// Telling a test run under Wine from one on Windows itself.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrel::testing {

// True under Wine, whose ntdll exports wine_get_version. Wine's C run-time
// library takes the UTC offset from TZ but daylight saving from the host's
// zone, so tests of TZ daylight-saving rules cannot hold there.
inline bool running_under_wine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace kestrel::testing
