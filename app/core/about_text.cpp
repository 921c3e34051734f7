#include "app/core/about_text.h"

namespace kestrel::app {

std::wstring program_title(bool is_64_bit) {
  return is_64_bit ? L"Kestrel " KESTREL_VERSION_WIDE L" (x64) "
                   : L"Kestrel " KESTREL_VERSION_WIDE L" (x86) ";
}

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
  std::wstring text = L"<a>";
  if (address.empty()) {
    text += documentation_page;
  } else {
    // Web addresses are ASCII; anything else would not make a usable link.
    for (const char c : address)
      text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  }
  text += L"</a>";
  return text;
}

std::wstring web_page_target(std::wstring_view address, std::wstring_view program_path) {
  if (!address.empty()) return std::wstring(address);
  const size_t folder_end = program_path.find_last_of(L"\\/");
  std::wstring page(folder_end == std::wstring_view::npos ? std::wstring_view{}
                                                          : program_path.substr(0, folder_end + 1));
  page += documentation_page;
  return page;
}

}  // namespace kestrel::app
