// Runs a test in a fixed time zone (TZ) and restores the previous one; and
// telling a run under Wine, whose time zone rules differ, from one on Windows.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kestrel::test {

class TimeZoneGuard {
 public:
  explicit TimeZoneGuard(const char* zone) {
    const char* old = std::getenv("TZ");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    set(zone);
  }
  ~TimeZoneGuard() { set(had_old_ ? old_.c_str() : nullptr); }
  TimeZoneGuard(const TimeZoneGuard&) = delete;
  TimeZoneGuard& operator=(const TimeZoneGuard&) = delete;

 private:
  static void set(const char* zone) {
#ifdef _WIN32
    // An empty value removes the variable.
    _putenv_s("TZ", zone != nullptr ? zone : "");
    _tzset();
#else
    if (zone != nullptr) {
      setenv("TZ", zone, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
#endif
  }

  bool had_old_ = false;
  std::string old_;
};

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

}  // namespace kestrel::test
