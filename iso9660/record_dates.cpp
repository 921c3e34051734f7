#include "iso9660/record_dates.h"

#include <cstring>

#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {

const uint8_t* RecordDates::of(int64_t time) {
  if (slots_.empty()) slots_.resize(size_t{1} << slot_bits);
  // Fibonacci hashing: nearby times spread over the slots.
  const uint64_t hash = static_cast<uint64_t>(time) * 0x9E3779B97F4A7C15ull;
  Slot& slot = slots_[static_cast<size_t>(hash >> (64 - slot_bits))];
  if (!slot.filled || slot.time != time) {
    make_iso_date7(time, slot.date);
    slot.time = time;
    slot.filled = true;
  }
  return slot.date;
}

}  // namespace kestrel::iso9660
