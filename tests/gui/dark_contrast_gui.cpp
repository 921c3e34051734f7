// Every text of every dark window is readable: measured from the screen, the
// colour of each text stands at least 4.5 : 1 against the background it is
// painted on (the accessibility guidelines' level for body text), and links
// take the palette's link colour. The windows are the main window, the about
// box and every kind of message box; the options menu is drawn by the system
// (it is not owner-drawn), so its colours are the system's own.
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
#include "ui/message_box.h"
#include "ui/theme.h"

namespace kestrel::gui_test {
namespace {

constexpr double readable_contrast = 4.5;
// Push buttons frame their face and draw the focus rectangle inside it; the
// caption is measured inside both.
constexpr int button_frame_inset = 6;

std::string hex(COLORREF colour) {
  char text[16] = {};
  std::snprintf(text, sizeof(text), "0x%06lX", static_cast<unsigned long>(colour));
  return text;
}

// The text of one control as painted: present, and readable on its background.
void expect_readable(const ScreenPixels& screen, HWND control, const std::string& what) {
  RECT area = client_rect_on_screen(control);
  if (class_of(control) == L"Button") InflateRect(&area, -button_frame_inset, -button_frame_inset);
  const TextColours colours = text_colours(screen, area);
  EXPECT_GT(colours.text_pixels, 0) << what << ": no text painted";
  EXPECT_GE(contrast_ratio(colours.text, colours.background), readable_contrast)
      << what << ": text " << hex(colours.text) << " on " << hex(colours.background);
}

class DarkContrast : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Wine lacks the system's dark-mode entry points; the program's own
    // painting runs as on a system that has them.
    SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", L"1");
    ui::init_dark_mode();
    SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", nullptr);
  }
  void SetUp() override {
    app::set_current_language(app::english_row);
    ui::set_app_dark(true);
  }
  void TearDown() override { ui::set_app_dark(false); }
};

TEST_F(DarkContrast, MainWindowTexts) {
  const std::wstring source = scratch_folder() + L"\\Holiday";
  CreateDirectoryW(source.c_str(), nullptr);
  HWND window = open_main_window({source});
  ASSERT_NE(window, nullptr);
  app::show_progress(window, 42);
  pump_for(300);
  const ScreenPixels screen = grab_client(window);
  for (const int id :
       {IDC_SOURCE_CAPTION, IDC_TARGET_CAPTION, IDC_LABEL_CAPTION, IDC_LAYOUT_CAPTION, IDC_SOURCE,
        IDC_TARGET, IDC_LABEL, IDC_LAYOUT, IDC_PERCENT, IDC_START})
    expect_readable(screen, GetDlgItem(window, id), "main window control " + std::to_string(id));
  close_main_window(window);
}

struct AboutColours {
  bool seen = false;
  COLORREF link_text = CLR_INVALID;
};
AboutColours about_colours;

void CALLBACK read_about(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = find_about_box();
  // The modal loop shows the box once its queue is idle; until then it waits.
  if (box == nullptr || !IsWindowVisible(box)) return;
  KillTimer(nullptr, timer);
  pump_for(300);
  const ScreenPixels screen = grab_client(box);
  for (const int id :
       {IDC_ABOUT_VERSION, IDC_ABOUT_RIGHTS, IDC_ABOUT_HOME_LINK, IDC_ABOUT_TEXT, IDC_ABOUT_OK})
    expect_readable(screen, GetDlgItem(box, id), "about box control " + std::to_string(id));
  about_colours.seen = true;
  about_colours.link_text =
      text_colours(screen, client_rect_on_screen(GetDlgItem(box, IDC_ABOUT_HOME_LINK))).text;
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(DarkContrast, AboutBoxTextsAndItsLinkInTheLinkColour) {
  about_colours = {};
  SetTimer(nullptr, 0, 100, read_about);
  app::show_about_box(nullptr);
  ASSERT_TRUE(about_colours.seen);
  EXPECT_EQ(about_colours.link_text, ui::DarkPalette::link_text) << hex(about_colours.link_text);
}

void CALLBACK read_box(HWND box, UINT, UINT_PTR timer, DWORD) {
  KillTimer(box, timer);
  const ScreenPixels screen = grab_client(box);
  for (HWND child : children(box)) {
    if ((GetDlgCtrlID(child) & 0xFFFF) == ui::id_icon) continue;
    expect_readable(screen, child, "message box control " + std::to_string(GetDlgCtrlID(child)));
  }
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

int on_box_event(HWND box, int event, WPARAM, LPARAM, void*) {
  if (event == ui::message_box_opened) SetTimer(box, 1, 300, read_box);
  return 0;
}

TEST_F(DarkContrast, MessageBoxTexts) {
  const std::wstring path = L"C:\\Users\\Public\\Videos\\Holiday.iso";
  const std::vector<std::pair<UINT, std::wstring>> boxes = {
      {MB_OKCANCEL | MB_ICONQUESTION,
       app::format_slot_text(app::language_text(app::slot_replace_question), path)},
      {MB_OK | MB_ICONERROR, app::failed_build_text(BuildError::output_write_failed, path, L"")},
      {MB_OK | MB_ICONWARNING,
       app::warnings_text({{BuildWarning::name_shortened, path}}, app::listed_warnings)},
      {MB_OK, app::usage_text},
  };
  for (const auto& [type, text] : boxes) {
    SCOPED_TRACE(type);
    ui::MessageBoxParams params;
    params.callback = on_box_event;
    ui::show_message_box(nullptr, text, type, &params);
  }
}

}  // namespace
}  // namespace kestrel::gui_test
