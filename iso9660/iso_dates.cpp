// ISO 9660 dates: the 7-byte form of directory records (ECMA-119 9.1.5) and
// the 17-byte form of the volume descriptor (ECMA-119 8.4.26.1). Both record
// local time and the offset from UTC in force at that moment, in 15-minute
// units, positive east of Greenwich.

#include "iso9660/iso_records.h"
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

// A number as decimal digits, as many as the field is wide.
template <Field F>
void put_digits(const FieldWriter& date, int value) {
  uint8_t* out = date.at<F>().data();
  for (size_t i = F.width; i-- > 0;) {
    out[i] = static_cast<uint8_t>('0' + value % 10);
    value /= 10;
  }
}

}  // namespace

void make_iso_date7(int64_t time, uint8_t* destination) {
  const FieldWriter date(destination, date7::bytes);
  date.fill(0, 0, date7::bytes);
  std::optional<LocalTime> local = local_time(time);
  if (!local) return;
  clamp_year(*local, date7_first_year, date7_last_year);
  date.u8<date7::years_since_1900>(static_cast<uint8_t>(local->year - date7_first_year));
  date.u8<date7::month>(static_cast<uint8_t>(local->month));
  date.u8<date7::day>(static_cast<uint8_t>(local->day));
  date.u8<date7::hour>(static_cast<uint8_t>(local->hour));
  date.u8<date7::minute>(static_cast<uint8_t>(local->minute));
  date.u8<date7::second>(static_cast<uint8_t>(local->second));
  date.u8<date7::offset>(static_cast<uint8_t>(offset_units(*local)));
}

void make_iso_date17(std::optional<int64_t> time, uint8_t* destination) {
  const FieldWriter date(destination, date17::bytes);
  // "Not specified": sixteen "0" digits and a zero offset (ECMA-119 8.4.26.1).
  date.fill(0, '0', date17::offset.offset);
  date.u8<date17::offset>(0);
  if (!time) return;
  std::optional<LocalTime> local = local_time(*time);
  if (!local) return;
  clamp_year(*local, date17_first_year, date17_last_year);
  put_digits<date17::year>(date, local->year);
  put_digits<date17::month>(date, local->month);
  put_digits<date17::day>(date, local->day);
  put_digits<date17::hour>(date, local->hour);
  put_digits<date17::minute>(date, local->minute);
  put_digits<date17::second>(date, local->second);
  put_digits<date17::hundredths>(date, 0);
  date.u8<date17::offset>(static_cast<uint8_t>(offset_units(*local)));
}

}  // namespace kestrel::iso9660
