// Runs a test in a fixed time zone (TZ) and restores the previous one.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

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

}  // namespace kestrel::test
