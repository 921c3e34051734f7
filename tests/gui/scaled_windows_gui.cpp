// The program's windows at the DPI of the run: tools/test-gui.sh runs the
// ScaledWindows tests at 96, 120, 144 and 192 DPI (Wine reads LogPixels from
// its registry when a session starts). Every kind of message box keeps its
// text band on top and its button row below in the dialog colour, in light
// and in dark, with nothing cut or overlapping; the main window and the
// about box scale with their font and keep their controls apart.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/application.h"
#include "app/core/build_report.h"
#include "app/core/gui_command_line.h"
#include "app/core/language_table.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "gui/gui_driver.h"
#include "gui/screen_checks.h"
#include "ui/core/message_box_layout.h"
#include "ui/core/palette.h"
#include "ui/dpi.h"
#include "ui/message_box.h"
#include "ui/theme.h"

namespace kestrel::gui_test {
namespace {

constexpr UINT box_text_flags = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL;
constexpr int dialog_font_points = 9;
constexpr int points_per_inch = 72;

bool inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

bool overlap(const RECT& a, const RECT& b) {
  RECT common{};
  return IntersectRect(&common, &a, &b) != FALSE;
}

// A control's rectangle in its parent's client coordinates.
RECT rect_in_parent(HWND control) {
  RECT rect = screen_rect_of(control);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string describe(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " - " +
         std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}

void expect_apart_and_inside(HWND window, const std::vector<int>& ids) {
  const RECT client = client_rect(window);
  for (size_t i = 0; i < ids.size(); ++i) {
    const HWND control = GetDlgItem(window, ids[i]);
    ASSERT_NE(control, nullptr) << ids[i];
    const RECT rect = rect_in_parent(control);
    EXPECT_TRUE(inside(rect, client)) << "control " << ids[i] << " at " << describe(rect);
    for (size_t j = i + 1; j < ids.size(); ++j) {
      const RECT other = rect_in_parent(GetDlgItem(window, ids[j]));
      EXPECT_FALSE(overlap(rect, other)) << "controls " << ids[i] << " and " << ids[j];
    }
  }
}

LONG font_height(HWND window) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
  return font.lfHeight;
}

TEST(ScaledWindows, TheRunHasTheDpiItAskedFor) {
  wchar_t wanted[8] = {};
  if (GetEnvironmentVariableW(L"KESTREL_EXPECTED_DPI", wanted, 8) == 0) GTEST_SKIP();
  EXPECT_EQ(ui::window_dpi(nullptr), static_cast<UINT>(_wtoi(wanted)));
}

// ---- Message boxes ---------------------------------------------------------

struct BoxKind {
  const char* name;
  UINT type;
  std::wstring text;
};

std::vector<BoxKind> box_kinds() {
  const std::wstring target = L"C:\\Users\\Public\\Videos\\Holiday.iso";
  std::vector<app::WarningLine> warnings;
  for (int code = 0; code < static_cast<int>(BuildWarning::stereo_title_not_interleaved); ++code)
    warnings.push_back({static_cast<BuildWarning>(code), L"C:\\Users\\Public\\Videos\\Holiday\\a"});
  return {
      {"question", MB_OKCANCEL | MB_ICONQUESTION,
       app::format_slot_text(app::language_text(app::slot_replace_question), target)},
      {"failure", MB_OK | MB_ICONERROR,
       app::failed_build_text(BuildError::source_read_failed,
                              L"C:\\Users\\Public\\Videos\\Holiday\\clip.mts",
                              L"The process cannot access the file.")},
      {"warnings", MB_OK | MB_ICONWARNING, app::warnings_text(warnings, app::listed_warnings)},
      {"usage", MB_OK, app::usage_text},
      {"question without icon", MB_YESNO, L"Go on?"},
  };
}

// What a box looked like once painted, read from its own modal loop.
struct BoxSeen {
  bool opened = false;
  RECT client{};
  RECT window{};
  RECT work_area{};
  RECT text{};
  SIZE text_needs{};
  bool has_icon = false;
  RECT icon{};
  std::vector<RECT> buttons;
  ScreenPixels pixels;
};
BoxSeen box_seen;

void CALLBACK read_box(HWND box, UINT, UINT_PTR timer, DWORD) {
  KillTimer(box, timer);
  BoxSeen& seen = box_seen;
  seen.opened = true;
  seen.client = client_rect(box);
  seen.window = screen_rect_of(box);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
  seen.work_area = monitor.rcWork;
  for (HWND child : children(box)) {
    const int id = GetDlgCtrlID(child) & 0xFFFF;
    const RECT rect = rect_in_parent(child);
    if (class_of(child) == L"Button") {
      seen.buttons.push_back(rect);
    } else if (id == ui::id_icon) {
      seen.has_icon = true;
      seen.icon = rect;
    } else {
      seen.text = rect;
      wchar_t text[4096] = {};
      GetWindowTextW(child, text, 4096);
      seen.text_needs = text_extent(child, text, box_text_flags, rect.right - rect.left);
    }
  }
  seen.pixels = grab_client(box);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  PostMessageW(box, WM_COMMAND, IDNO, 0);
}

int on_box_event(HWND box, int event, WPARAM, LPARAM, void*) {
  if (event == ui::message_box_opened) SetTimer(box, 1, 300, read_box);
  return 0;
}

void check_box(const BoxKind& kind, bool dark) {
  SCOPED_TRACE(std::string(kind.name) + (dark ? " in dark" : " in light"));
  box_seen = BoxSeen{};
  ui::MessageBoxParams params;
  params.callback = on_box_event;
  ui::show_message_box(nullptr, kind.text, kind.type, &params);
  const BoxSeen& seen = box_seen;
  ASSERT_TRUE(seen.opened);
  ASSERT_FALSE(seen.buttons.empty());

  // Nothing cut or overlapping: the text fits its control, every control
  // lies inside the box, the buttons stand in one row below the text and the
  // icon, and the box fits the work area.
  EXPECT_LE(seen.text_needs.cx, seen.text.right - seen.text.left);
  EXPECT_LE(seen.text_needs.cy, seen.text.bottom - seen.text.top);
  EXPECT_TRUE(inside(seen.text, seen.client)) << describe(seen.text);
  EXPECT_TRUE(inside(seen.window, seen.work_area)) << describe(seen.window);
  const RECT& first = seen.buttons.front();
  for (const RECT& button : seen.buttons) {
    EXPECT_TRUE(inside(button, seen.client)) << describe(button);
    EXPECT_EQ(button.top, first.top);
    EXPECT_GE(button.top, seen.text.bottom);
    if (seen.has_icon) {
      EXPECT_GE(button.top, seen.icon.bottom);
    }
  }
  for (size_t i = 1; i < seen.buttons.size(); ++i) {
    EXPECT_GE(seen.buttons[i].left, seen.buttons[i - 1].right);
  }
  if (seen.has_icon) {
    EXPECT_FALSE(overlap(seen.icon, seen.text));
  }

  // The band from the top down to between the text and the buttons, the
  // dialog colour below it, as painted on the screen.
  const COLORREF band = dark ? ui::DarkPalette::control_background : GetSysColor(COLOR_WINDOW);
  const COLORREF row = dark ? ui::DarkPalette::background : GetSysColor(COLOR_3DFACE);
  const ScreenPixels& pixels = seen.pixels;
  const int left = pixels.area.left + 2;
  EXPECT_EQ(pixels.at(pixels.area.right - 3, pixels.area.top + 2), band);
  EXPECT_EQ(pixels.at(left, pixels.area.bottom - 3), row);
  EXPECT_EQ(pixels.at(pixels.area.left + first.left - 3, pixels.area.top + first.top + 3), row);
  int band_end = pixels.area.top;
  while (band_end < pixels.area.bottom && pixels.at(left, band_end) == band) ++band_end;
  EXPECT_GE(band_end - pixels.area.top, seen.text.bottom);
  EXPECT_LE(band_end - pixels.area.top, first.top);
  if (seen.has_icon) {
    EXPECT_GE(band_end - pixels.area.top, seen.icon.bottom);
  }
}

TEST(ScaledWindows, EveryKindOfMessageBoxKeepsItsBandAndButtonRow) {
  app::set_current_language(app::english_row);
  for (const BoxKind& kind : box_kinds()) check_box(kind, false);
  SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", L"1");
  ui::init_dark_mode();
  SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", nullptr);
  ui::set_app_dark(true);
  for (const BoxKind& kind : box_kinds()) check_box(kind, true);
  ui::set_app_dark(false);
}

// ---- Main window and about box --------------------------------------------

TEST(ScaledWindows, MainWindowScalesWithItsFontAndKeepsItsControlsApart) {
  HWND window = open_main_window();
  ASSERT_NE(window, nullptr);
  const int dpi = static_cast<int>(ui::window_dpi(window));
  EXPECT_EQ(font_height(window), -MulDiv(dialog_font_points, dpi, points_per_inch));
  // The fixed size of the template, in the window's own dialog units.
  RECT template_size{0, 0, 310, 103};
  MapDialogRect(window, &template_size);
  const RECT client = client_rect(window);
  EXPECT_NEAR(client.right, template_size.right, 1);
  EXPECT_NEAR(client.bottom, template_size.bottom, 1);
  expect_apart_and_inside(
      window, {IDC_SOURCE_CAPTION, IDC_SOURCE, IDC_BROWSE_SOURCE, IDC_TARGET_CAPTION, IDC_TARGET,
               IDC_BROWSE_TARGET, IDC_LABEL_CAPTION, IDC_LABEL, IDC_LAYOUT_CAPTION, IDC_LAYOUT,
               IDC_PERCENT, IDC_PROGRESS, IDC_OPTIONS, IDC_START});
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_TRUE(inside(screen_rect_of(window), monitor.rcWork));
  close_main_window(window);
}

struct AboutGeometry {
  bool seen = false;
  LONG font_height = 0;
  LONG bold_height = 0;
  SIZE icon{};
};
AboutGeometry about_geometry;

void CALLBACK read_about(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = find_about_box();
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  AboutGeometry& seen = about_geometry;
  seen.seen = true;
  seen.font_height = font_height(box);
  seen.bold_height = font_height(GetDlgItem(box, IDC_ABOUT_VERSION));
  const RECT icon = client_rect(GetDlgItem(box, IDC_ABOUT_ICON));
  seen.icon = SIZE{icon.right, icon.bottom};
  expect_apart_and_inside(box, {IDC_ABOUT_OK, IDC_ABOUT_ICON, IDC_ABOUT_VERSION, IDC_ABOUT_RIGHTS,
                                IDC_ABOUT_HOME_LINK, IDC_ABOUT_TEXT});
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

TEST(ScaledWindows, AboutBoxScalesItsFontsAndIcon) {
  about_geometry = {};
  SetTimer(nullptr, 0, 100, read_about);
  app::show_about_box(nullptr);
  ASSERT_TRUE(about_geometry.seen);
  EXPECT_EQ(
      about_geometry.font_height,
      -MulDiv(dialog_font_points, static_cast<int>(ui::window_dpi(nullptr)), points_per_inch));
  EXPECT_EQ(about_geometry.bold_height, about_geometry.font_height);
  EXPECT_GE(about_geometry.icon.cx, GetSystemMetrics(SM_CXICON));
  EXPECT_GE(about_geometry.icon.cy, GetSystemMetrics(SM_CYICON));
}

}  // namespace
}  // namespace kestrel::gui_test
