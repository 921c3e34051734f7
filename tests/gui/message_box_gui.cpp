// The program's own message box and the about box on a real desktop: the
// buttons, icon, default button and keyboard rules of the overwrite question,
// the command-line help and a Yes/No question, and the about box's texts.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "app/about_box.h"
#include "app/application.h"
#include "app/core/about_text.h"
#include "app/core/gui_command_line.h"
#include "app/core/language_table.h"
#include "app/resource_ids.h"
#include "gui/gui_driver.h"
#include "kestrel/version.h"
#include "ui/message_box.h"

namespace kestrel::gui_test {
namespace {

// What the box looked like when it opened, seen from its own thread.
struct Seen {
  bool opened = false;
  std::wstring title;
  std::wstring text;
  std::vector<int> buttons;  // identifiers of the push buttons, left to right
  std::vector<std::wstring> captions;
  bool icon = false;
  int focused_id = 0;
  bool has_close_command = false;
  std::vector<std::pair<HWND, UINT>> posts;  // filled by the test before opening
  std::vector<int> post_targets;             // button ids to click after the keys
};

BOOL CALLBACK collect_child(HWND child, LPARAM data) {
  auto& seen = *reinterpret_cast<Seen*>(data);
  wchar_t class_name[32] = {};
  GetClassNameW(child, class_name, 32);
  const int id = GetDlgCtrlID(child);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (lstrcmpiW(class_name, L"Button") == 0 && (style & 0xF) <= BS_DEFPUSHBUTTON) {
    seen.buttons.push_back(id);
    seen.captions.push_back(control_text(GetParent(child), id));
  }
  if (id == 20) seen.icon = true;
  if (lstrcmpiW(class_name, L"Static") == 0 && id != 20) {
    wchar_t text[1024] = {};
    GetWindowTextW(child, text, 1024);
    seen.text = text;
  }
  return TRUE;
}

int watch(HWND box, int event, WPARAM, LPARAM, void* data) {
  auto& seen = *static_cast<Seen*>(data);
  if (event != ui::message_box_opened) return 0;
  seen.opened = true;
  wchar_t title[64] = {};
  GetWindowTextW(box, title, 64);
  seen.title = title;
  EnumChildWindows(box, collect_child, reinterpret_cast<LPARAM>(&seen));
  seen.focused_id = GetDlgCtrlID(GetFocus());
  seen.has_close_command =
      GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND) != static_cast<UINT>(-1);
  // Escape, as the keyboard would deliver it to the focused button.
  PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(GetFocus(), WM_KEYUP, VK_ESCAPE, 0);
  for (const int id : seen.post_targets) PostMessageW(GetDlgItem(box, id), BM_CLICK, 0, 0);
  return 0;
}

INT_PTR show_watched(UINT type, const std::wstring& text, Seen& seen) {
  ui::MessageBoxParams params;
  params.callback = watch;
  params.user_data = &seen;
  return ui::show_message_box(nullptr, text, type, &params);
}

TEST(MessageBoxGui, OverwriteQuestionHasOkCancelQuestionIconAndEscapeCancels) {
  Seen seen;
  const std::wstring question = app::format_slot_text(
      app::language_text_of(app::english_row, app::slot_replace_question), L"C:\\out\\movie.iso");
  const INT_PTR answer = show_watched(MB_OKCANCEL | MB_ICONQUESTION, question, seen);
  ASSERT_TRUE(seen.opened);
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_EQ(seen.title, L"Kestrel ");
  EXPECT_EQ(seen.buttons, (std::vector<int>{IDOK, IDCANCEL}));
  EXPECT_TRUE(seen.icon);
  EXPECT_EQ(seen.focused_id, IDOK);
  EXPECT_TRUE(seen.has_close_command);
  EXPECT_EQ(seen.text, question);
  for (const std::wstring& caption : seen.captions) EXPECT_FALSE(caption.empty());
}

TEST(MessageBoxGui, CommandLineHelpHasOneButtonAndEscapeAnswersOne) {
  Seen seen;
  const INT_PTR answer = show_watched(MB_OK, app::usage_text, seen);
  ASSERT_TRUE(seen.opened);
  EXPECT_EQ(answer, IDOK);
  // The lone OK carries Cancel's identifier so Escape and the close box end it.
  EXPECT_EQ(seen.buttons, (std::vector<int>{IDCANCEL}));
  EXPECT_FALSE(seen.icon);
  EXPECT_EQ(seen.text, app::usage_text);
  EXPECT_TRUE(seen.has_close_command);
}

TEST(MessageBoxGui, YesNoIgnoresEscapeAndHasNoCloseCommand) {
  Seen seen;
  seen.post_targets = {IDNO};
  const INT_PTR answer = show_watched(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, L"Go on?", seen);
  ASSERT_TRUE(seen.opened);
  EXPECT_EQ(answer, IDNO);  // Escape before the click changed nothing
  EXPECT_EQ(seen.buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(seen.focused_id, IDNO);
  EXPECT_FALSE(seen.has_close_command);
}

// The about box, checked and closed from a thread timer of the modal loop.
struct AboutSeen {
  std::wstring title;
  std::wstring version;
  std::wstring text;
  std::wstring link;
  bool icon = false;
};
AboutSeen about_seen;

void CALLBACK inspect_about(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = find_about_box();
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  wchar_t title[64] = {};
  GetWindowTextW(box, title, 64);
  about_seen.title = title;
  about_seen.version = control_text(box, IDC_ABOUT_VERSION);
  about_seen.text = control_text(box, IDC_ABOUT_TEXT);
  about_seen.link = control_text(box, IDC_ABOUT_HOME_LINK);
  about_seen.icon = SendDlgItemMessageW(box, IDC_ABOUT_ICON, STM_GETICON, 0, 0) != 0 &&
                    IsWindowVisible(GetDlgItem(box, IDC_ABOUT_ICON));
  RECT icon_rect{};
  GetWindowRect(GetDlgItem(box, IDC_ABOUT_ICON), &icon_rect);
  about_seen.icon =
      about_seen.icon && icon_rect.right - icon_rect.left >= GetSystemMetrics(SM_CXICON);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

AboutSeen open_about() {
  about_seen = {};
  SetTimer(nullptr, 0, 200, inspect_about);
  app::show_about_box(nullptr);
  return about_seen;
}

TEST(AboutBoxGui, EnglishAndGermanTitlesAndTexts) {
  app::set_current_language(app::english_row);
  const AboutSeen english = open_about();
  EXPECT_EQ(english.title, L"About Kestrel...");
  EXPECT_EQ(english.version.rfind(L"Kestrel " KESTREL_VERSION_WIDE L" (x", 0), 0u);
  EXPECT_NE(english.version.find(app::release_date), std::wstring::npos);
  EXPECT_EQ(english.text.find(L"Translator"), std::wstring::npos);
  EXPECT_FALSE(english.text.empty());
  EXPECT_TRUE(english.icon);

  app::set_current_language(8);
  const AboutSeen german = open_about();
  app::set_current_language(app::english_row);
  EXPECT_EQ(german.title, L"Über Kestrel ...");
  EXPECT_NE(german.text.find(L"Übersetzer: Kestrel-Projekt"), std::wstring::npos);
}

}  // namespace
}  // namespace kestrel::gui_test
