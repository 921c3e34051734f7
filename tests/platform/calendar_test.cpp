// The memo of local times that the writing of an image keeps: it gives what
// the platform gives, times that share a slot included, and it ends with its
// scope.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/calendar.h"
#include "support/time_zone.h"

namespace kestrel {
namespace {

using ZoneGuard = test::TimeZoneGuard;

constexpr int64_t utc_2024_01_15_12_00_00 = 1705320000;
// 2024-03-31 01:00:00 UTC, when central European summer time begins.
constexpr int64_t utc_2024_summer_time_begins = 1711846800;
constexpr int64_t utc_1850_06_01 = -3773779200;

bool same(const std::optional<LocalTime>& a, const std::optional<LocalTime>& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  return a->year == b->year && a->month == b->month && a->day == b->day && a->hour == b->hour &&
         a->minute == b->minute && a->second == b->second &&
         a->utc_offset_minutes == b->utc_offset_minutes;
}

TEST(LocalTimeMemo, GivesWhatThePlatformGivesForEveryTimeAskedAgain) {
#ifdef _WIN32
  ZoneGuard zone("CET-1CEST");
#else
  ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
#endif
  // Times either side of a change of offset, times 1024 seconds apart that
  // fall into one slot of the memo, and times before 1970.
  std::vector<int64_t> times;
  for (int64_t step = -2; step <= 2; ++step) times.push_back(utc_2024_summer_time_begins + step);
  for (int64_t slot_apart = 0; slot_apart < 4; ++slot_apart)
    times.push_back(utc_2024_01_15_12_00_00 + slot_apart * 1024);
  times.push_back(-1);
  times.push_back(utc_1850_06_01);
  std::vector<std::optional<LocalTime>> expected;
  for (const int64_t time : times) expected.push_back(local_time(time));

  const LocalTimeMemo memo;
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < times.size(); ++i) {
      EXPECT_TRUE(same(local_time(times[i]), expected[i])) << times[i] << " pass " << pass;
    }
  }
}

// A memo is in force for its lifetime only, and an inner one hands back to
// the outer one: the zone changed while a memo lives shows once it has ended.
TEST(LocalTimeMemo, EndsWithItsScopeAndHandsBackToTheOuterOne) {
  ZoneGuard east("XXX-1");
  const std::optional<LocalTime> one_hour_east = local_time(utc_2024_01_15_12_00_00);
  ASSERT_TRUE(one_hour_east);
  ASSERT_EQ(one_hour_east->utc_offset_minutes, 60);
  {
    const LocalTimeMemo outer;
    EXPECT_TRUE(same(local_time(utc_2024_01_15_12_00_00), one_hour_east));
    ZoneGuard west("EST5");
    {
      const LocalTimeMemo inner;
      EXPECT_EQ(local_time(utc_2024_01_15_12_00_00)->utc_offset_minutes, -300);
    }
    // Remembered by the outer memo before the zone changed.
    EXPECT_TRUE(same(local_time(utc_2024_01_15_12_00_00), one_hour_east));
  }
  ZoneGuard west("EST5");
  EXPECT_EQ(local_time(utc_2024_01_15_12_00_00)->utc_offset_minutes, -300);
}

}  // namespace
}  // namespace kestrel
