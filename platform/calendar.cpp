#include "platform/calendar.h"

#include <ctime>
#include <new>

namespace kestrel {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t days_from_civil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<int64_t>(day_of_era) - 719468;
}

}  // namespace

namespace {

std::optional<LocalTime> platform_local_time(int64_t time) {
  std::tm fields{};
#ifdef _WIN32
  // The Windows run-time library breaks down only 1970-01-01 to 3000-12-31.
  // A time outside is moved by whole 400-year Gregorian cycles, after which
  // dates, weekdays and hence the daylight-saving rule repeat exactly, and
  // the year is moved back afterwards.
  constexpr int64_t cycle_seconds = 146097 * int64_t{86400};
  constexpr int64_t cycle_years = 400;
  constexpr int64_t last_supported = 32'535'215'999;  // 3000-12-31 23:59:59 UTC
  // As far as the year still fits the broken-down form's int, as elsewhere.
  constexpr int64_t most_cycles = 5'000'000;
  int64_t cycles = 0;  // cycles added to reach the supported range
  if (time < 0) cycles = (-(time + 1)) / cycle_seconds + 1;
  if (time > last_supported) cycles = -((time - last_supported - 1) / cycle_seconds + 1);
  if (cycles > most_cycles || cycles < -most_cycles) return std::nullopt;
  const __time64_t value = time + cycles * cycle_seconds;
  if (_localtime64_s(&fields, &value) != 0) return std::nullopt;
  fields.tm_year -= static_cast<int>(cycles * cycle_years);
#else
  const std::time_t value = static_cast<std::time_t>(time);
  if (localtime_r(&value, &fields) == nullptr) return std::nullopt;
#endif
  LocalTime result;
  result.year = fields.tm_year + 1900;
  result.month = fields.tm_mon + 1;
  result.day = fields.tm_mday;
  result.hour = fields.tm_hour;
  result.minute = fields.tm_min;
  result.second = fields.tm_sec;
  // The offset is the local wall-clock reading less the UTC instant, which
  // includes daylight saving exactly when it was in force.
  const int64_t wall = days_from_civil(result.year, static_cast<unsigned>(result.month),
                                       static_cast<unsigned>(result.day)) *
                           86400 +
                       result.hour * 3600 + result.minute * 60 + result.second;
  result.utc_offset_minutes = static_cast<int>((wall - time) / 60);
  return result;
}

}  // namespace

namespace {

thread_local LocalTimeMemo* current_memo = nullptr;

}  // namespace

LocalTimeMemo::LocalTimeMemo() : slots_(new (std::nothrow) Slot[slot_count]), outer_(current_memo) {
  current_memo = this;
}

LocalTimeMemo::~LocalTimeMemo() { current_memo = outer_; }

std::optional<LocalTime> local_time(int64_t time) {
  LocalTimeMemo* memo = current_memo;
  if (memo == nullptr || !memo->slots_) return platform_local_time(time);
  LocalTimeMemo::Slot& slot = memo->slots_[static_cast<uint64_t>(time) % LocalTimeMemo::slot_count];
  if (slot.filled && slot.time == time) return slot.local;
  const std::optional<LocalTime> local = platform_local_time(time);
  // A time the platform cannot break down is asked about again; it is rare.
  if (local) slot = LocalTimeMemo::Slot{time, *local, true};
  return local;
}

}  // namespace kestrel
