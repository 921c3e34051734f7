// The order of names by their 16-bit units, as ISO 9660 sorts the Joliet
// records and as the names of a folder are taken in for numbering.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "disc/source_node.h"

namespace kestrel::iso9660 {

// Below zero when `a` comes before `b` comparing unit by unit, a name that
// is the start of another first; zero when they are equal. Equal stretches
// are skipped four units at a time: folders of many names that share a long
// start are sorted often.
inline int compare_units(std::u16string_view a, std::u16string_view b) {
  constexpr size_t block_units = sizeof(uint64_t) / sizeof(char16_t);
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  size_t i = 0;
  for (; i + block_units <= common; i += block_units) {
    uint64_t x = 0;
    uint64_t y = 0;
    std::memcpy(&x, a.data() + i, sizeof x);
    std::memcpy(&y, b.data() + i, sizeof y);
    if (x != y) break;
  }
  for (; i < common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

inline bool units_less(std::u16string_view a, std::u16string_view b) {
  return compare_units(a, b) < 0;
}

// The order in which the names of a folder are made: by source name, and
// two source names that are one (two native names read as one) by their
// native names.
inline bool source_name_less(const SourceNode& a, const SourceNode& b) {
  const int order = compare_units(std::u16string_view(a.name, a.name_length),
                                  std::u16string_view(b.name, b.name_length));
  if (order != 0) return order < 0;
  return NativeStringView(a.native_name, a.native_name_length) <
         NativeStringView(b.native_name, b.native_name_length);
}

}  // namespace kestrel::iso9660
