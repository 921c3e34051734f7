// Texts of the about box, the program's version and web pages, and where a
// web page that this build has no address for leads instead.
#pragma once

#include <string>
#include <string_view>

#include "kestrel/version.h"

namespace kestrel::app {

// The program's web pages: build settings (cmake/release_settings.cmake).
// An empty address stands for the documentation page beside the program.
inline constexpr std::string_view project_page = KESTREL_PROJECT_PAGE;  // menu: translation
inline constexpr std::string_view issues_page = KESTREL_ISSUES_PAGE;    // menu: issues
inline constexpr std::string_view product_page = KESTREL_PRODUCT_PAGE;  // the about box's link
inline constexpr std::string_view home_page = KESTREL_HOME_PAGE;        // address the link shows
// The documentation page shipped beside the program.
inline constexpr std::wstring_view documentation_page = KESTREL_DOCUMENTATION_PAGE;
inline constexpr const wchar_t* rights_notice = L"Copyright (C) 2025 the Kestrel developers";
// Release date shown on the version line of the about box.
inline constexpr const wchar_t* release_date = KESTREL_RELEASE_DATE;
// The application name the images record, "Kestrel" and the version.
inline constexpr const char* application_name = "Kestrel " KESTREL_VERSION_TEXT;

// The window title and the start of the about box's version line:
// "Kestrel <version> (x64) " or "(x86) ", with the trailing blank.
std::wstring program_title(bool is_64_bit);

// The about box title from the about menu item's text: every '&' removed,
// then cut before the first '(' ("关于 Kestrel...(&A)" gives
// "关于 Kestrel...").
std::wstring about_box_title(std::wstring_view menu_text);

// The about text without the translator line of a row that has none: cut at
// the first "Translator: null".
std::wstring_view about_box_text(std::wstring_view about_text);

// The link text of the about box: the home-page address as one link, or
// the documentation page's name when the build has no address.
std::wstring home_page_link_text(std::string_view address);

// What opening a web page opens: the address itself, or, for an empty
// address, the documentation page in the program's folder (`program_path`
// is the program's full path).
std::wstring web_page_target(std::wstring_view address, std::wstring_view program_path);

}  // namespace kestrel::app
