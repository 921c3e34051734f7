// ISO 9660 7-byte and 17-byte dates in fixed time zones.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "iso9660/iso_volume.h"
#include "iso9660/record_dates.h"
#include "support/time_zone.h"

namespace kestrel::iso9660 {
namespace {

using ZoneGuard = test::TimeZoneGuard;

std::vector<int> date7(int64_t time) {
  uint8_t out[7];
  make_iso_date7(time, out);
  return {out[0], out[1], out[2], out[3], out[4], out[5], static_cast<int8_t>(out[6])};
}

std::string date17_digits(std::optional<int64_t> time, int* offset) {
  uint8_t out[17];
  make_iso_date17(time, out);
  *offset = static_cast<int8_t>(out[16]);
  return std::string(reinterpret_cast<const char*>(out), 16);
}

constexpr int64_t utc_2024_03_05_13_07_09 = 1709644029;
constexpr int64_t utc_2024_07_01_10_00_00 = 1719828000;
constexpr int64_t utc_2024_01_15_12_00_00 = 1705320000;
constexpr int64_t utc_1850_06_01 = -3773779200;
constexpr int64_t utc_2200_06_01 = 7271164800;

TEST(IsoDates, OneHourEastWithoutDaylightSaving) {
  ZoneGuard zone("XXX-1");
  EXPECT_EQ(date7(utc_2024_03_05_13_07_09), (std::vector<int>{124, 3, 5, 14, 7, 9, 4}));
  int offset = 0;
  EXPECT_EQ(date17_digits(utc_2024_03_05_13_07_09, &offset), "2024030514070900");
  EXPECT_EQ(offset, 4);
}

TEST(IsoDates, OffsetInForceIncludesDaylightSaving) {
  if (test::running_under_wine()) {
    GTEST_SKIP() << "Wine takes daylight saving from the host, not TZ";
  }
#ifdef _WIN32
  // The Windows run-time library knows no rules in TZ; its default (US)
  // rule gives the same answer for January and July.
  ZoneGuard zone("CET-1CEST");
#else
  ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
#endif
  EXPECT_EQ(date7(utc_2024_01_15_12_00_00), (std::vector<int>{124, 1, 15, 13, 0, 0, 4}));
  EXPECT_EQ(date7(utc_2024_07_01_10_00_00), (std::vector<int>{124, 7, 1, 12, 0, 0, 8}));
  int offset = 0;
  EXPECT_EQ(date17_digits(utc_2024_07_01_10_00_00, &offset), "2024070112000000");
  EXPECT_EQ(offset, 8);
}

TEST(IsoDates, WestAndFractionalOffsets) {
  {
    ZoneGuard zone("EST5");
    EXPECT_EQ(date7(utc_2024_01_15_12_00_00), (std::vector<int>{124, 1, 15, 7, 0, 0, -20}));
  }
  {
    // UTC+5:45: 23 whole quarter hours.
    ZoneGuard zone("NPT-5:45");
    EXPECT_EQ(date7(utc_2024_01_15_12_00_00), (std::vector<int>{124, 1, 15, 17, 45, 0, 23}));
  }
}

TEST(IsoDates, YearsOutsideTheFormsAreClamped) {
  ZoneGuard zone("UTC0");
  // The 7-byte form holds 1900-2155: earlier and later times give its first
  // and last moment instead of a wrapped year.
  EXPECT_EQ(date7(utc_1850_06_01), (std::vector<int>{0, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(date7(utc_2200_06_01), (std::vector<int>{255, 12, 31, 23, 59, 59, 0}));
  int offset = 0;
  EXPECT_EQ(date17_digits(utc_2200_06_01, &offset), "2200060100000000");
  // Beyond year 9999 (this is in year 14645): the last moment of year 9999.
  constexpr int64_t far_future = 400000000000;
  EXPECT_EQ(date17_digits(far_future, &offset), "9999123123595900");
}

TEST(IsoDates, NoTimeOrAnUnbreakableTimeGivesTheZeroForms) {
  int offset = 1;
  EXPECT_EQ(date17_digits(std::nullopt, &offset), "0000000000000000");
  EXPECT_EQ(offset, 0);
  // Far beyond any calendar year the platform can represent.
  constexpr int64_t unbreakable = INT64_MAX;
  offset = 1;
  EXPECT_EQ(date17_digits(unbreakable, &offset), "0000000000000000");
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(date7(unbreakable), (std::vector<int>{0, 0, 0, 0, 0, 0, 0}));
}

TEST(IsoDates, KeptRecordDatesAreTheDatesOfTheirTimes) {
  ZoneGuard zone("XXX-1");
  // 6,000 times over 4,096 slots, each asked for several times in an order
  // that mixes them: times that share a slot take turns in it.
  RecordDates dates;
  for (uint32_t round = 0; round < 3; ++round) {
    for (uint32_t i = 0; i < 6000; ++i) {
      const int64_t time = utc_2024_03_05_13_07_09 + int64_t{(i * 7919u + round) % 6000u} * 61;
      const uint8_t* kept = dates.of(time);
      const std::vector<int> expected = date7(time);
      ASSERT_EQ(std::vector<int>(kept, kept + 6),
                std::vector<int>(expected.begin(), expected.end() - 1))
          << time;
      ASSERT_EQ(static_cast<int8_t>(kept[6]), expected[6]) << time;
    }
  }
}

}  // namespace
}  // namespace kestrel::iso9660
