// ISO 9660 dates: the 7-byte form of directory records (ECMA-119 9.1.5) and
// the 17-byte form of the volume descriptor (ECMA-119 8.4.26.1). Both record
// local time and the offset from UTC in force at that moment, in 15-minute
// units, positive east of Greenwich.
#include <cstring>

#include "iso9660/iso_volume.h"
#include "platform/calendar.h"

namespace kestrel::iso9660 {
namespace {

constexpr int minutes_per_offset_unit = 15;
// ECMA-119 allows offsets from -48 (GMT-12) to +52 (GMT+13).
constexpr int min_offset_units = -48;
constexpr int max_offset_units = 52;

// The 7-byte form counts years from 1900 in one byte.
constexpr int date7_first_year = 1900;
constexpr int date7_last_year = 1900 + 255;
// The 17-byte form has four year digits.
constexpr int date17_first_year = 0;
constexpr int date17_last_year = 9999;

constexpr size_t date17_digits = 16;

int8_t offset_units(const LocalTime& local) {
  // Whole 15-minute units, truncated toward zero.
  int units = local.utc_offset_minutes / minutes_per_offset_unit;
  if (units < min_offset_units) units = min_offset_units;
  if (units > max_offset_units) units = max_offset_units;
  return static_cast<int8_t>(units);
}

// A year outside the representable range gives the first or last moment of
// the range, not a wrapped year.
void clamp_year(LocalTime& local, int first_year, int last_year) {
  if (local.year < first_year) {
    local.year = first_year;
    local.month = 1;
    local.day = 1;
    local.hour = local.minute = local.second = 0;
  } else if (local.year > last_year) {
    local.year = last_year;
    local.month = 12;
    local.day = 31;
    local.hour = 23;
    local.minute = local.second = 59;
  }
}

uint8_t* put_digits(uint8_t* out, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

}  // namespace

void make_iso_date7(int64_t time, uint8_t* destination) {
  std::memset(destination, 0, 7);
  std::optional<LocalTime> local = local_time(time);
  if (!local) return;
  clamp_year(*local, date7_first_year, date7_last_year);
  destination[0] = static_cast<uint8_t>(local->year - date7_first_year);
  destination[1] = static_cast<uint8_t>(local->month);
  destination[2] = static_cast<uint8_t>(local->day);
  destination[3] = static_cast<uint8_t>(local->hour);
  destination[4] = static_cast<uint8_t>(local->minute);
  destination[5] = static_cast<uint8_t>(local->second);
  destination[6] = static_cast<uint8_t>(offset_units(*local));
}

void make_iso_date17(std::optional<int64_t> time, uint8_t* destination) {
  // "Not specified": sixteen "0" digits and a zero offset (ECMA-119 8.4.26.1).
  std::memset(destination, '0', date17_digits);
  destination[date17_digits] = 0;
  if (!time) return;
  std::optional<LocalTime> local = local_time(*time);
  if (!local) return;
  clamp_year(*local, date17_first_year, date17_last_year);
  uint8_t* out = destination;
  out = put_digits(out, local->year, 4);
  out = put_digits(out, local->month, 2);
  out = put_digits(out, local->day, 2);
  out = put_digits(out, local->hour, 2);
  out = put_digits(out, local->minute, 2);
  out = put_digits(out, local->second, 2);
  put_digits(out, 0, 2);  // hundredths
  destination[date17_digits] = static_cast<uint8_t>(offset_units(*local));
}

}  // namespace kestrel::iso9660
