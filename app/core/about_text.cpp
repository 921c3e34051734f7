#include "app/core/about_text.h"

namespace kestrel::app {

std::wstring about_box_title(std::wstring_view menu_text) {
  std::wstring title;
  for (const wchar_t c : menu_text) {
    if (c == L'&') continue;
    if (c == L'(') break;
    title.push_back(c);
  }
  return title;
}

std::wstring_view about_box_text(std::wstring_view about_text) {
  const size_t cut = about_text.find(L"Translator: null");
  return cut == std::wstring_view::npos ? about_text : about_text.substr(0, cut);
}

std::wstring home_page_link_text(std::string_view address) {
  // Web addresses are ASCII; anything else would not make a usable link.
  std::wstring text = L"<a>";
  for (const char c : address) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  text += L"</a>";
  return text;
}

}  // namespace kestrel::app
