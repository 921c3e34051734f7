// Native file names and the text conversions between them and the UTF-16
// names that go into an image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// File names are kept exactly as the operating system reports them: bytes on
// POSIX systems, UTF-16 wide characters on Windows. Every open uses these
// native names, so a file whose name is not valid UTF-8 can still be read.
#ifdef _WIN32
using NativeChar = wchar_t;
inline constexpr NativeChar native_separator = L'\\';
#define KESTREL_NATIVE(text) L##text
#else
using NativeChar = char;
inline constexpr NativeChar native_separator = '/';
#define KESTREL_NATIVE(text) text
#endif
using NativeString = std::basic_string<NativeChar>;
using NativeStringView = std::basic_string_view<NativeChar>;

// UTF-8 to UTF-16. Bytes that do not form valid UTF-8 (stray continuation
// bytes, overlong forms, surrogates, values above U+10FFFF) become U+FFFD,
// one for each maximal invalid sequence.
std::u16string utf16_from_utf8(std::string_view text);
// The same into `out`, replacing what it held and reusing its storage.
void utf16_from_utf8(std::string_view text, std::u16string& out);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8_from_utf16(std::u16string_view text);

// The UTF-16 name that a native file name gets in the image.
std::u16string image_name_from_native(NativeStringView name);
// The same into `out`, reusing its storage: a scan converts every name of
// the tree through one buffer.
void image_name_from_native(NativeStringView name, std::u16string& out);

// A native name for a UTF-16 text (used for names the program makes itself).
NativeString native_from_utf16(std::u16string_view text);

// A native text shown to the user, as UTF-8.
std::string display_text(NativeStringView text);

}  // namespace kestrel
