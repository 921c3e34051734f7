// The system ANSI code page through WideCharToMultiByte.
#include "platform/code_page.h"

#include <windows.h>

namespace kestrel {
namespace {

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

size_t ansi_from_utf16(std::u16string_view text, char* out, size_t capacity) {
  const UINT code_page = GetACP();
  // A UTF-8 ANSI code page takes no flags and has no default character.
  const bool utf8 = code_page == CP_UTF8;
  // No best-fit mapping: a character the code page lacks becomes the default
  // character, as on every other system, instead of a look-alike letter.
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;

  // One character at a time, so that a character the code page lacks, a
  // surrogate pair included, gives one default character, and a long name is
  // cut on a character boundary even in a double-byte code page.
  size_t written = 0;
  char character[8];
  for (size_t i = 0; i < text.size();) {
    const int units =
        is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1]) ? 2 : 1;
    BOOL used_default = FALSE;
    int bytes = WideCharToMultiByte(code_page, flags, reinterpret_cast<LPCWCH>(text.data() + i),
                                    units, character, static_cast<int>(sizeof character), nullptr,
                                    utf8 ? nullptr : &used_default);
    if (bytes <= 0) {
      character[0] = '?';
      bytes = 1;
    } else if (used_default) {
      bytes = 1;  // the default character, once for the whole character
    }
    if (static_cast<size_t>(bytes) > capacity - written) break;
    for (int b = 0; b < bytes; ++b) out[written++] = character[b];
    i += static_cast<size_t>(units);
  }
  return written;
}

}  // namespace kestrel
