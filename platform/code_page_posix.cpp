// Windows-1252 in place of the system ANSI code page, on systems that have none.
#include "platform/code_page.h"

#include <cstdint>

namespace kestrel {
namespace {

constexpr char default_character = '?';

// Windows-1252 bytes 0x80-0x9F and the characters they stand for. The five
// slots the code page leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 controls of the same value, as the Windows conversion tables do.
constexpr char16_t windows_1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};
constexpr uint8_t c1_first = 0x80;
constexpr uint8_t c1_count = 32;

// The Windows-1252 byte of one UTF-16 unit outside a surrogate pair.
char windows_1252_byte(char16_t unit) {
  // ASCII and the Latin-1 letters 0xA0-0xFF are the same in both.
  if (unit < c1_first || (unit >= c1_first + c1_count && unit <= 0xFF))
    return static_cast<char>(unit);
  for (uint8_t i = 0; i < c1_count; ++i) {
    if (windows_1252_high[i] == unit) return static_cast<char>(c1_first + i);
  }
  return default_character;
}

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

size_t ansi_from_utf16(std::u16string_view text, char* out, size_t capacity) {
  size_t written = 0;
  for (size_t i = 0; i < text.size() && written < capacity; ++i) {
    const char16_t unit = text[i];
    if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      // A character beyond the Basic Multilingual Plane: one default character.
      out[written++] = default_character;
      ++i;
      continue;
    }
    out[written++] = windows_1252_byte(unit);
  }
  return written;
}

}  // namespace kestrel
