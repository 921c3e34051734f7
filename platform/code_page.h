// Conversion of UTF-16 names to the 8-bit ANSI code page from which ISO 9660
// identifiers are made.
#pragma once

#include <cstddef>
#include <string_view>

namespace kestrel {

// Converts `text` to the ANSI code page into `out` (at most `capacity` bytes,
// no terminator) and returns the number of bytes written. Characters that
// the code page lacks become its default character "?"; a surrogate pair is
// one character. The output stops before the first character that would not
// fit, so a long name is cut on a character boundary and never overruns.
//
// Windows converts with the system ANSI code page and no best-fit mapping;
// every other system uses Windows-1252, so that the common Western setting
// gives the same identifiers everywhere.
size_t ansi_from_utf16(std::u16string_view text, char* out, size_t capacity);

}  // namespace kestrel
