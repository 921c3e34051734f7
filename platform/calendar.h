// Breaking a time into local calendar fields with the time-zone offset in
// force at that moment (daylight saving included), as ISO 9660 and UDF dates
// record it.
#pragma once

#include <cstdint>
#include <optional>

namespace kestrel {

struct LocalTime {
  int year = 0;   // full year, e.g. 2024
  int month = 0;  // 1-12
  int day = 0;    // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int utc_offset_minutes = 0;  // minutes east of UTC
};

// The local calendar fields of `time` (seconds since 1970-01-01 00:00:00 UTC,
// negative before), or nothing when the platform cannot break it down.
std::optional<LocalTime> local_time(int64_t time);

}  // namespace kestrel
