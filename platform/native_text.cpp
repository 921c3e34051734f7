#include "platform/native_text.h"

#include <algorithm>

namespace kestrel {
namespace {

constexpr char16_t replacement_character = 0xFFFD;

void append_code_point(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

std::u16string utf16_from_utf8(std::string_view text) {
  std::u16string out;
  utf16_from_utf8(text, out);
  return out;
}

void utf16_from_utf8(std::string_view text, std::u16string& out) {
  // Most names are ASCII from the first byte to the last, or for a long
  // stretch: those units are widened at once.
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  out.resize(i);
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(i), out.begin());
  if (i == text.size()) return;
  out.reserve(text.size());
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
      out.push_back(replacement_character);
      ++i;
      continue;
    }
    size_t used = 1;
    while (used < length && i + used < text.size()) {
      const auto next = static_cast<unsigned char>(text[i + used]);
      if ((next & 0xC0) != 0x80) break;
      cp = (cp << 6) | (next & 0x3F);
      ++used;
    }
    if (used < length || cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(replacement_character);
      i += used;
      continue;
    }
    append_code_point(out, cp);
    i += used;
  }
}

std::string utf8_from_utf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = replacement_character;
    }
    append_utf8(out, cp);
  }
  return out;
}

#ifdef _WIN32
std::u16string image_name_from_native(NativeStringView name) {
  return std::u16string(name.begin(), name.end());
}
void image_name_from_native(NativeStringView name, std::u16string& out) {
  out.assign(name.begin(), name.end());
}
NativeString native_from_utf16(std::u16string_view text) {
  return NativeString(text.begin(), text.end());
}
std::string display_text(NativeStringView text) {
  return utf8_from_utf16(std::u16string(text.begin(), text.end()));
}
#else
std::u16string image_name_from_native(NativeStringView name) { return utf16_from_utf8(name); }
void image_name_from_native(NativeStringView name, std::u16string& out) {
  utf16_from_utf8(name, out);
}
NativeString native_from_utf16(std::u16string_view text) { return utf8_from_utf16(text); }
std::string display_text(NativeStringView text) { return std::string(text); }
#endif

}  // namespace kestrel
