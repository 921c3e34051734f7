// The 7-byte recording dates of directory records, each time worked out
// once while the directories are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "iso9660/iso_records.h"

namespace kestrel::iso9660 {

// Turning a time into local time is most of what writing a record costs,
// and the same times come back: the files of a folder often share one, a
// directory's time is in its own record, its "." and the ".." of each
// sub-directory, and the Joliet hierarchy repeats every record's. The dates
// of the times met last are kept, one for each slot a time hashes to.
class RecordDates {
 public:
  // The ECMA-119 9.1.5 date of `time`, as make_iso_date7 gives it; valid
  // until the next call.
  const uint8_t* of(int64_t time);

 private:
  static constexpr size_t slot_bits = 12;
  struct Slot {
    int64_t time = 0;
    bool filled = false;
    uint8_t date[date7::bytes] = {};
  };
  std::vector<Slot> slots_;  // made at the first call
};

}  // namespace kestrel::iso9660
