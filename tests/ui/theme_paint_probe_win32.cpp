// Pixel check of the dark painters on a real dialog, run under Windows or
// Wine with a screen (tests/ui/check_theme_paint.sh). It opens a dialog with
// the controls the program's windows use, themes it dark, reads pixels back
// from the screen, switches it to light and checks that every painter is gone
// and the system draws the controls again. Exit code: number of failed checks.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "ui/core/palette.h"
#include "ui/dark_painters.h"
#include "ui/theme.h"

namespace {

using kestrel::ui::DarkPalette;
using kestrel::ui::Painter;

constexpr int id_edit = 100;
constexpr int id_progress = 101;
constexpr int id_group = 102;
constexpr int id_check = 103;
constexpr int id_tagged = 104;
constexpr int id_combo = 105;
constexpr int id_tab = 106;
constexpr COLORREF tagged_colour = RGB(200, 30, 40);  // the dialog's own answer

int failures = 0;

void expect(bool condition, const char* what, COLORREF seen) {
  std::printf("%s %s (pixel 0x%06lX)\n", condition ? "ok  " : "FAIL", what,
              static_cast<unsigned long>(seen));
  if (!condition) ++failures;
}

void expect_flag(bool condition, const char* what) {
  std::printf("%s %s\n", condition ? "ok  " : "FAIL", what);
  if (!condition) ++failures;
}

HBRUSH tagged_brush() {
  static HBRUSH brush = CreateSolidBrush(tagged_colour);
  return brush;
}

HWND child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
           int h, int id) {
  HWND control =
      CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return control;
}

INT_PTR CALLBACK probe_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      child(dialog, L"Edit", L"", WS_BORDER, 20, 20, 200, 24, id_edit);
      HWND bar = child(dialog, L"msctls_progress32", L"", 0, 20, 60, 200, 12, id_progress);
      SendMessageW(bar, PBM_SETRANGE32, 0, 100);
      SendMessageW(bar, PBM_SETPOS, 60, 0);
      child(dialog, L"Button", L"Group", BS_GROUPBOX, 20, 90, 200, 60, id_group);
      child(dialog, L"Button", L"Check", BS_AUTOCHECKBOX | WS_TABSTOP, 30, 110, 120, 20, id_check);
      HWND tagged = child(dialog, L"Static", L"", SS_LEFT, 240, 20, 60, 30, id_tagged);
      SetWindowLongPtrW(tagged, GWLP_USERDATA, kestrel::ui::NoThemeTag);
      HWND combo =
          child(dialog, L"ComboBox", L"", CBS_DROPDOWN | WS_VSCROLL, 240, 60, 80, 100, id_combo);
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"UDF 2.50"));
      HWND tab = child(dialog, L"SysTabControl32", L"", 0, 240, 100, 100, 50, id_tab);
      TCITEMW item{};
      item.mask = TCIF_TEXT;
      item.pszText = const_cast<wchar_t*>(L"One");
      TabCtrl_InsertItem(tab, 0, &item);
      item.pszText = const_cast<wchar_t*>(L"Two");
      TabCtrl_InsertItem(tab, 1, &item);
      kestrel::ui::theme_window_tree(dialog);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      // Only the tagged static reaches this in dark mode.
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) == id_tagged)
        return reinterpret_cast<INT_PTR>(tagged_brush());
      return FALSE;
    case WM_CLOSE: DestroyWindow(dialog); return TRUE;
    default: (void)wparam; return FALSE;
  }
}

// An empty dialog template: the controls are created in WM_INITDIALOG.
struct alignas(4) EmptyTemplate {
  DLGTEMPLATE header;
  WORD menu;
  WORD window_class;
  WORD title;
};

void settle(HWND dialog, DWORD milliseconds) {
  const DWORD end = GetTickCount() + milliseconds;
  while (static_cast<LONG>(end - GetTickCount()) > 0) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageW(dialog, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    Sleep(10);
  }
}

COLORREF pixel(HWND window, int x, int y) {
  POINT point{x, y};
  ClientToScreen(window, &point);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, point.x, point.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

// Pixel inside the progress bar at a fraction of its width, on its middle row.
COLORREF progress_pixel(HWND bar, int per_cent) {
  RECT client;
  GetClientRect(bar, &client);
  return pixel(bar, client.right * per_cent / 100, client.bottom / 2);
}

void check_dark(HWND dialog) {
  std::printf("-- dark\n");
  COLORREF seen = pixel(dialog, 5, 5);
  expect(seen == DarkPalette::background, "dialog background is 0x202020", seen);
  HWND edit = GetDlgItem(dialog, id_edit);
  RECT edit_client;
  GetClientRect(edit, &edit_client);
  seen = pixel(edit, edit_client.right - 4, edit_client.bottom / 2);
  expect(seen == DarkPalette::control_background, "edit background is 0x2B2B2B", seen);
  HWND bar = GetDlgItem(dialog, id_progress);
  seen = progress_pixel(bar, 25);
  expect(seen == DarkPalette::progress_fill, "progress done part is 0x25B006", seen);
  seen = progress_pixel(bar, 90);
  expect(seen == DarkPalette::border, "progress rest is the border colour", seen);
  seen = pixel(bar, 0, 0);
  expect(seen == DarkPalette::background, "progress frame is 0x202020", seen);
  HWND group = GetDlgItem(dialog, id_group);
  RECT group_client;
  GetClientRect(group, &group_client);
  seen = pixel(group, group_client.right - 1, group_client.bottom / 2);
  expect(seen == DarkPalette::border, "group-box frame is the border colour", seen);
  seen = pixel(GetDlgItem(dialog, id_tagged), 10, 10);
  expect(seen == tagged_colour, "control tagged 76 keeps its dialog's own colour", seen);
  HWND tab = GetDlgItem(dialog, id_tab);
  RECT second;
  TabCtrl_GetItemRect(tab, 1, &second);
  seen = pixel(tab, second.left + 3, second.bottom - 3);
  expect(seen == DarkPalette::background, "inactive tab is 0x202020", seen);
  RECT tab_client;
  GetClientRect(tab, &tab_client);
  seen = pixel(tab, tab_client.right / 2, tab_client.bottom - 5);
  expect(seen == DarkPalette::control_background, "tab page area is 0x2B2B2B", seen);
  expect_flag(kestrel::ui::has_painter(dialog, Painter::dialog_colours),
              "dialog colour handler attached");
  expect_flag(kestrel::ui::has_painter(bar, Painter::progress), "progress painter attached");
  expect_flag(kestrel::ui::has_painter(group, Painter::group_box), "group-box painter attached");
  expect_flag(!kestrel::ui::has_painter(GetDlgItem(dialog, id_check), Painter::group_box),
              "no group-box painter on a check box");
  expect_flag(kestrel::ui::has_painter(GetDlgItem(dialog, id_combo), Painter::combo_colours),
              "combo colour handler on a combo box with an edit field");
}

void check_light(HWND dialog) {
  std::printf("-- light\n");
  HWND bar = GetDlgItem(dialog, id_progress);
  HWND group = GetDlgItem(dialog, id_group);
  expect_flag(!kestrel::ui::dark_mode_active(), "application is light");
  expect_flag(!kestrel::ui::has_painter(dialog, Painter::dialog_colours),
              "dialog colour handler removed");
  expect_flag(!kestrel::ui::has_painter(bar, Painter::progress), "progress painter removed");
  expect_flag(!kestrel::ui::has_painter(group, Painter::group_box), "group-box painter removed");
  expect_flag(!kestrel::ui::has_painter(GetDlgItem(dialog, id_combo), Painter::combo_colours),
              "combo colour handler removed");
  expect_flag(!kestrel::ui::has_painter(GetDlgItem(dialog, id_tab), Painter::tab),
              "tab painter removed");
  COLORREF seen = pixel(dialog, 5, 5);
  expect(seen == GetSysColor(COLOR_BTNFACE), "dialog background is the system's again", seen);
  HWND edit = GetDlgItem(dialog, id_edit);
  RECT edit_client;
  GetClientRect(edit, &edit_client);
  seen = pixel(edit, edit_client.right - 4, edit_client.bottom / 2);
  expect(seen == GetSysColor(COLOR_WINDOW), "edit background is the system's again", seen);
  seen = progress_pixel(bar, 25);
  expect(seen != DarkPalette::progress_fill && seen != DarkPalette::border,
         "progress bar drawn by the system again", seen);
}

}  // namespace

int wmain() {
  INITCOMMONCONTROLSEX controls{sizeof(controls),
                                ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  kestrel::ui::init_dark_mode();
  if (!kestrel::ui::dark_mode_supported()) {
    std::printf("dark mode not available (set KESTREL_FORCE_DARK=1 on systems without it)\n");
    return 77;
  }
  kestrel::ui::set_app_dark(true);

  EmptyTemplate dialog_template{};
  dialog_template.header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME;
  dialog_template.header.cx = 240;
  dialog_template.header.cy = 120;
  HWND dialog =
      CreateDialogIndirectParamW(nullptr, &dialog_template.header, nullptr, probe_dialog_proc, 0);
  if (dialog == nullptr) {
    std::printf("FAIL dialog could not be created (error %lu)\n", GetLastError());
    return 1;
  }
  SetWindowPos(dialog, HWND_TOPMOST, 40, 40, 360, 200, SWP_SHOWWINDOW);
  settle(dialog, 800);
  check_dark(dialog);
  // KESTREL_PROBE_PAUSE_MS keeps each theme on screen for a while, for
  // screenshots taken from outside.
  const wchar_t* pause_text = _wgetenv(L"KESTREL_PROBE_PAUSE_MS");
  const auto pause = static_cast<DWORD>(pause_text != nullptr ? _wtoi(pause_text) : 0);
  settle(dialog, pause);

  kestrel::ui::apply_theme_choice(dialog, kestrel::ui::ThemeChoice::light, false);
  settle(dialog, 800);
  check_light(dialog);
  settle(dialog, pause);

  DestroyWindow(dialog);
  std::printf("%d failed\n", failures);
  return failures;
}
