// Breaking a time into local calendar fields with the time-zone offset in
// force at that moment (daylight saving included), as ISO 9660 and UDF dates
// record it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// While one lives on a thread, local_time on that thread remembers what it
// found for each time, so that the many equal dates of one image are broken
// down once: a UDF file entry records a file's creation time three times,
// UDF 2.50 writes every file entry a second time in the metadata mirror, and
// the files of a folder written together share their times. The platform's
// breaking down looks the time zone up on every call, more work than all the
// rest of a file entry. An image's dates are all of one zone; without a memo
// (outside the writing of an image, or when a test changes the zone between
// calls) every call asks the platform.
class LocalTimeMemo {
 public:
  LocalTimeMemo();
  ~LocalTimeMemo();
  LocalTimeMemo(const LocalTimeMemo&) = delete;
  LocalTimeMemo& operator=(const LocalTimeMemo&) = delete;

 private:
  friend std::optional<LocalTime> local_time(int64_t time);

  struct Slot {
    int64_t time = 0;
    LocalTime local;
    bool filled = false;
  };
  // Times that differ only in their low bits fill different slots, so the
  // times of files written over a few minutes all stay.
  static constexpr size_t slot_count = 1024;

  std::unique_ptr<Slot[]> slots_;   // null when memory is short: nothing is remembered
  LocalTimeMemo* outer_ = nullptr;  // the memo this one hides while it lives
};

}  // namespace kestrel
