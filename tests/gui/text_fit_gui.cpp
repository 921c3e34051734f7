// Every text of the program fits where it is shown, in every row of the
// language table, at the DPI of the run (tools/test-gui.sh runs the
// ScaledWindows tests at 96, 120, 144 and 192 DPI). Texts are measured in
// the control's own font against the control's client area. Windows of fixed
// size keep a margin of a tenth for the difference between the fonts of the
// test prefix and those of Windows; message boxes size themselves to their
// text at run time, so there nothing may be cut.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/application.h"
#include "app/core/about_text.h"
#include "app/core/build_report.h"
#include "app/core/language_table.h"
#include "app/main_window.h"
#include "app/options_menu.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "gui/gui_driver.h"
#include "gui/screen_checks.h"
#include "ui/core/message_box_layout.h"
#include "ui/message_box.h"

namespace kestrel::gui_test {
namespace {

// Room left for fonts up to a tenth wider or taller than the prefix's.
constexpr double font_margin = 1.1;
constexpr UINT single_line = DT_SINGLELINE | DT_LEFT;
constexpr UINT box_text_flags = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL;

std::string utf8(const std::wstring& text) {
  std::string bytes(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr,
                                                            0, nullptr, nullptr)),
                    '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), static_cast<int>(bytes.size()),
                      nullptr, nullptr);
  bytes.pop_back();
  return bytes;
}

std::string row_name(int row) { return utf8(std::wstring(app::language_row(row).display_name)); }

// A single-line text with the margin inside `width` pixels and its line
// inside `height`.
void expect_line_fits(const std::string& where, const std::wstring& text, SIZE needed, int width,
                      int height) {
  EXPECT_LE(needed.cx * font_margin, width)
      << where << ": \"" << utf8(text) << "\" needs " << needed.cx << " of " << width << " px";
  EXPECT_LE(needed.cy, height) << where << ": \"" << utf8(text) << "\" is " << needed.cy
                               << " px high in " << height;
}

void expect_control_fits(const std::string& where, HWND control, const std::wstring& text,
                         UINT flags) {
  const RECT area = client_rect(control);
  expect_line_fits(where, text, text_extent(control, text, flags), area.right, area.bottom);
}

// Push buttons draw their caption inside a sunken frame and the focus rectangle.
int button_text_width(HWND button) {
  return client_rect(button).right - 2 * GetSystemMetrics(SM_CXEDGE) - 2;
}

// ---- Main window --------------------------------------------------------

void check_main_window(HWND window, int row) {
  const std::string name = row_name(row);
  const int captions[] = {IDC_SOURCE_CAPTION, IDC_TARGET_CAPTION, IDC_LABEL_CAPTION,
                          IDC_LAYOUT_CAPTION};
  for (int i = 0; i < 4; ++i) {
    const std::wstring text(app::language_text(app::slot_source_caption + i));
    expect_control_fits(name + " caption " + std::to_string(i), GetDlgItem(window, captions[i]),
                        text, single_line);
  }
  const HWND start = GetDlgItem(window, IDC_START);
  const std::wstring start_text(app::language_text(app::slot_start));
  expect_line_fits(name + " Start", start_text, text_extent(start, start_text, single_line),
                   button_text_width(start), client_rect(start).bottom);

  const int edits[] = {IDC_SOURCE, IDC_TARGET, IDC_LABEL};
  for (int i = 0; i < 3; ++i) {
    const HWND edit = GetDlgItem(window, edits[i]);
    RECT format{};
    SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const std::wstring cue(app::language_text(app::slot_source_cue + i));
    expect_line_fits(name + " cue banner " + std::to_string(i), cue,
                     text_extent(edit, cue, single_line | DT_NOPREFIX), format.right - format.left,
                     client_rect(edit).bottom);
  }

  // The layout names are the same in every language and the list's width is
  // fixed. The prefix's font is at least as wide as Segoe UI, so they are
  // held to fit it without the further margin.
  const HWND list = GetDlgItem(window, IDC_LAYOUT);
  const int list_text_width =
      client_rect(list).right - GetSystemMetrics(SM_CXVSCROLL) - 2 * GetSystemMetrics(SM_CXEDGE);
  for (int slot = app::slot_layout_first; slot < app::slot_layout_first + app::slot_layout_count;
       ++slot) {
    const std::wstring entry(app::language_text(slot));
    const SIZE needed = text_extent(list, entry, single_line);
    EXPECT_LE(needed.cx, list_text_width) << utf8(entry);
    EXPECT_LE(needed.cy, client_rect(list).bottom) << utf8(entry);
  }
  expect_control_fits("percentage", GetDlgItem(window, IDC_PERCENT), L"100%", single_line);
}

// ---- Options menu -------------------------------------------------------

// Menu items widen the menu rather than being cut; the whole menu, with the
// check column and the sub-menu arrow, must fit the screen's work area.
void check_menu_texts(HWND window, int row) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  const HFONT menu_font = CreateFontIndirectW(&metrics.lfMenuFont);
  std::vector<std::wstring> items;
  for (int slot = app::slot_menu_language; slot <= app::slot_theme_system; ++slot)
    items.emplace_back(app::language_text(slot));
  for (int other = 0; other < app::language_count; ++other)
    items.emplace_back(app::language_row(other).display_name);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const int room = monitor.rcWork.right - monitor.rcWork.left -
                   4 * GetSystemMetrics(SM_CXMENUCHECK) - 2 * GetSystemMetrics(SM_CXEDGE);
  for (const std::wstring& item : items) {
    expect_line_fits(row_name(row) + " menu item", item,
                     text_extent_in(menu_font, item, single_line), room,
                     GetSystemMetrics(SM_CYSCREEN));
  }
  DeleteObject(menu_font);
}

// ---- About box ----------------------------------------------------------

int about_row = 0;
bool about_checked = false;

std::wstring without_link_tags(std::wstring text) {
  for (const wchar_t* tag : {L"<a>", L"</a>"}) {
    for (size_t at = text.find(tag); at != std::wstring::npos; at = text.find(tag))
      text.erase(at, wcslen(tag));
  }
  return text;
}

void CALLBACK check_about(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = find_about_box();
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  about_checked = true;
  const std::string name = row_name(about_row) + " about box";
  for (const int id : {IDC_ABOUT_VERSION, IDC_ABOUT_RIGHTS}) {
    expect_control_fits(name + " line " + std::to_string(id), GetDlgItem(box, id),
                        control_text(box, id), single_line | DT_NOPREFIX);
  }
  const HWND home = GetDlgItem(box, IDC_ABOUT_HOME_LINK);
  expect_control_fits(name + " link", home,
                      without_link_tags(control_text(box, IDC_ABOUT_HOME_LINK)),
                      single_line | DT_NOPREFIX);

  // The about text wraps: narrowed by the margin it must still fit the
  // control's height.
  const HWND about = GetDlgItem(box, IDC_ABOUT_TEXT);
  const RECT area = client_rect(about);
  const std::wstring text = without_link_tags(control_text(box, IDC_ABOUT_TEXT));
  const SIZE wrapped = text_extent(about, text, DT_WORDBREAK | DT_NOPREFIX,
                                   static_cast<int>(area.right / font_margin));
  if (wrapped.cy > area.bottom) {
    // Each line's width tells the translator which one to shorten.
    std::string lines;
    for (size_t start = 0; start < text.size();) {
      const size_t end = std::min(text.find(L'\n', start), text.size());
      const std::wstring line = text.substr(start, end - start);
      lines += "\n  " + std::to_string(text_extent(about, line, single_line | DT_NOPREFIX).cx) +
               " px: " + utf8(line);
      start = end + 1;
    }
    ADD_FAILURE() << name << ": the about text needs " << wrapped.cy << " of " << area.bottom
                  << " px; lines wrap at " << static_cast<int>(area.right / font_margin)
                  << " px:" << lines;
  }

  // The title in the caption font, beside the close box.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  const HFONT caption_font = CreateFontIndirectW(&metrics.lfCaptionFont);
  wchar_t title[128] = {};
  GetWindowTextW(box, title, 128);
  const RECT frame = screen_rect_of(box);
  expect_line_fits(name + " title", title, text_extent_in(caption_font, title, single_line),
                   frame.right - frame.left - 3 * GetSystemMetrics(SM_CXSIZE),
                   GetSystemMetrics(SM_CYCAPTION));
  DeleteObject(caption_font);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

void check_about_box(int row) {
  about_row = row;
  about_checked = false;
  SetTimer(nullptr, 0, 10, check_about);
  app::show_about_box(nullptr);
  EXPECT_TRUE(about_checked) << row_name(row);
}

// ---- Message boxes --------------------------------------------------------

std::string box_name;

int check_box_texts(HWND box, int event, WPARAM, LPARAM, void*) {
  if (event != ui::message_box_opened) return 0;
  for (HWND child : children(box)) {
    const int id = GetDlgCtrlID(child) & 0xFFFF;
    wchar_t text[4096] = {};
    GetWindowTextW(child, text, 4096);
    const RECT area = client_rect(child);
    if (class_of(child) == L"Button") {
      expect_line_fits(box_name + " button", text, text_extent(child, text, single_line),
                       button_text_width(child), area.bottom);
    } else if (id != ui::id_icon) {
      const SIZE needed = text_extent(child, text, box_text_flags, area.right);
      EXPECT_LE(needed.cx, area.right) << box_name << ": " << utf8(text);
      EXPECT_LE(needed.cy, area.bottom) << box_name << ": " << utf8(text);
    }
  }
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  return 0;
}

void show_checked(const std::string& name, const std::wstring& text, UINT type) {
  box_name = name;
  ui::MessageBoxParams params;
  params.callback = check_box_texts;
  ui::show_message_box(nullptr, text, type, &params);
}

// The longest reason of a failed build in the current language.
std::wstring longest_error_text() {
  std::wstring longest;
  for (int code = 1; code <= static_cast<int>(BuildError::source_changed); ++code) {
    const std::wstring_view text =
        app::language_text(app::build_error_slot(static_cast<BuildError>(code)));
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

// One warning of every kind, the 3D title with every reason, with the
// longest numbers a reason can hold.
std::vector<app::WarningLine> every_warning(const std::wstring& path) {
  std::vector<app::WarningLine> warnings;
  for (int code = 0; code <= static_cast<int>(BuildWarning::bluray_too_large); ++code) {
    if (code != static_cast<int>(BuildWarning::stereo_title_not_interleaved))
      warnings.push_back({static_cast<BuildWarning>(code), path});
  }
  for (int reason = 1; reason <= static_cast<int>(StereoFailure::other_title_failed); ++reason) {
    app::WarningLine line{BuildWarning::stereo_title_not_interleaved, path};
    line.stereo = {
        static_cast<StereoFailure>(reason), 65535, 65534, 65534, 4294967295u, 4294967294u};
    warnings.push_back(line);
  }
  return warnings;
}

void check_message_boxes(int row) {
  const std::string name = row_name(row);
  const std::wstring path =
      L"C:\\Users\\Public\\Videos\\Holiday\\A folder with a rather long name\\clip.mts";
  show_checked(name + " question",
               app::format_slot_text(app::language_text(app::slot_replace_question), path),
               MB_OKCANCEL | MB_ICONQUESTION);
  // The failed build with the longest reason of the row.
  const std::wstring reason = app::format_slot_text(longest_error_text(), path);
  show_checked(name + " failure",
               std::wstring(app::language_text(app::slot_build_failed)) + L"\n\n" + reason +
                   L"\n\n" +
                   app::format_slot_text(app::language_text(app::slot_system_error),
                                         L"The process cannot access the file."),
               MB_OK | MB_ICONERROR);
  // Every warning text, in boxes of as many lines as one lists; the first
  // also counts the ones it leaves out.
  const std::vector<app::WarningLine> warnings = every_warning(path);
  for (size_t first = 0; first < warnings.size(); first += app::listed_warnings) {
    const std::vector<app::WarningLine> rest(warnings.begin() + static_cast<ptrdiff_t>(first),
                                             warnings.end());
    show_checked(name + " warnings from " + std::to_string(first),
                 app::warnings_text(rest, app::listed_warnings), MB_OK | MB_ICONWARNING);
  }
  // A bootable image reports its firmware, from a disc and from a USB stick,
  // then its size, the media it fits (all of them) and the files stored
  // once, then its warnings; one too large for any medium says so.
  const app::BootSummary boot{{L"BIOS", L"UEFI"}, {L"BIOS", L"UEFI"}};
  show_checked(name + " bootable",
               app::finished_build_text({1000, 4294967295u, 9999999999999ull}, boot, warnings),
               MB_OK | MB_ICONWARNING);
  show_checked(name + " fits no medium",
               app::finished_build_text({4294967295u, 4294967295u, 9999999999999ull}, {}, {}),
               MB_OK | MB_ICONINFORMATION);
  show_checked(name + " long path", app::path_too_long_text(path + std::wstring(300, L'x')),
               MB_OK | MB_ICONWARNING);
}

TEST(ScaledWindows, EveryTextFitsInEveryLanguage) {
  HWND window = open_main_window();
  ASSERT_NE(window, nullptr);
  for (int row = 0; row < app::language_count; ++row) {
    app::set_current_language(row);
    app::apply_language(window);
    check_main_window(window, row);
    check_menu_texts(window, row);
    check_about_box(row);
    check_message_boxes(row);
  }
  app::set_current_language(app::english_row);
  close_main_window(window);
}

}  // namespace
}  // namespace kestrel::gui_test
