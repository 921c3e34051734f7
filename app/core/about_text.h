// Texts of the about box and the program's web addresses.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::app {

// The program's web pages. Build-time data of this distribution; the
// defaults are neutral placeholders until the project publishes its own.
#ifndef KESTREL_PROJECT_PAGE
#define KESTREL_PROJECT_PAGE "https://example.invalid/kestrel"
#endif
#ifndef KESTREL_ISSUES_PAGE
#define KESTREL_ISSUES_PAGE "https://example.invalid/kestrel/issues"
#endif
#ifndef KESTREL_PRODUCT_PAGE
#define KESTREL_PRODUCT_PAGE "https://example.invalid/kestrel/product"
#endif
#ifndef KESTREL_HOME_PAGE
#define KESTREL_HOME_PAGE "https://example.invalid"
#endif
#ifndef KESTREL_RIGHTS_NOTICE
#define KESTREL_RIGHTS_NOTICE L"Copyright (C) 2025 the Kestrel project"
#endif

inline constexpr const char* project_page = KESTREL_PROJECT_PAGE;  // options menu: translation
inline constexpr const char* issues_page = KESTREL_ISSUES_PAGE;    // options menu: issues
inline constexpr const char* product_page = KESTREL_PRODUCT_PAGE;  // the about box's link
inline constexpr const char* home_page = KESTREL_HOME_PAGE;        // address the link shows
inline constexpr const wchar_t* rights_notice = KESTREL_RIGHTS_NOTICE;
// Release date shown on the version line of the about box.
inline constexpr const wchar_t* release_date = L"2025-10-02";

// The about box title from the about menu item's text: every '&' removed,
// then cut before the first '(' ("关于 Kestrel...(&A)" gives
// "关于 Kestrel...").
std::wstring about_box_title(std::wstring_view menu_text);

// The about text without the translator line of a row that has none: cut at
// the first "Translator: null".
std::wstring_view about_box_text(std::wstring_view about_text);

// The link text of the about box: the home-page address as one link.
std::wstring home_page_link_text(std::string_view address);

}  // namespace kestrel::app
