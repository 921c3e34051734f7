// The pictures of the documentation, taken from the program's real windows
// by tools/make-screenshots.sh (skipped unless KESTREL_SCREENSHOT_DIR names
// the folder for them). The sample folder lies in the public videos folder,
// so no picture shows a path of the machine that made it. At 96 DPI: the
// main window in light and dark, in German and in Japanese, the about box
// and the overwrite question and a failed build in light and dark; at any
// other DPI the main window in light and dark, named with the scale.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "app/about_box.h"
#include "app/application.h"
#include "app/core/build_report.h"
#include "app/core/language_table.h"
#include "app/main_window.h"
#include "app/options_menu.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "gui/gui_driver.h"
#include "ui/dpi.h"
#include "ui/message_box.h"
#include "ui/theme.h"

namespace kestrel::gui_test {
namespace {

constexpr const wchar_t* sample_folder = L"C:\\Users\\Public\\Videos";
constexpr int german_row = 8;
constexpr int japanese_row = 12;

bool screenshots_wanted() {
  wchar_t folder[MAX_PATH] = {};
  return GetEnvironmentVariableW(L"KESTREL_SCREENSHOT_DIR", folder, MAX_PATH) != 0;
}

void make_sample_source() {
  const std::wstring source = std::wstring(sample_folder) + L"\\Holiday";
  CreateDirectoryW(L"C:\\Users\\Public", nullptr);
  CreateDirectoryW(sample_folder, nullptr);
  CreateDirectoryW(source.c_str(), nullptr);
  write_file(source + L"\\beach.mts", std::string(4096, 'b'));
  write_file(source + L"\\harbour.mts", std::string(4096, 'h'));
}

const wchar_t* picture_name = nullptr;

void CALLBACK capture_about(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = find_about_box();
  if (box == nullptr || !IsWindowVisible(box)) return;
  KillTimer(nullptr, timer);
  capture_window(box, picture_name);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

void CALLBACK capture_box(HWND box, UINT, UINT_PTR timer, DWORD) {
  KillTimer(box, timer);
  capture_window(box, picture_name);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

int on_box_event(HWND box, int event, WPARAM, LPARAM, void*) {
  if (event == ui::message_box_opened) SetTimer(box, 1, 300, capture_box);
  return 0;
}

void capture_message_box(HWND owner, const std::wstring& text, UINT type, const wchar_t* name) {
  picture_name = name;
  ui::MessageBoxParams params;
  params.callback = on_box_event;
  ui::show_message_box(owner, text, type, &params);
}

// The about box, the overwrite question and a failed build, named with `suffix`.
void capture_dialogs(HWND window, const std::wstring& suffix) {
  const std::wstring about = L"about-box" + suffix;
  picture_name = about.c_str();
  SetTimer(nullptr, 0, 100, capture_about);
  app::show_about_box(window);
  const std::wstring target = std::wstring(sample_folder) + L"\\Holiday.iso";
  capture_message_box(window,
                      app::format_slot_text(app::language_text(app::slot_replace_question), target),
                      MB_OKCANCEL | MB_ICONQUESTION, (L"overwrite-question" + suffix).c_str());
  capture_message_box(window,
                      app::failed_build_text(BuildError::source_open_failed,
                                             std::wstring(sample_folder) + L"\\Holiday\\beach.mts",
                                             L"The process cannot access the file because it is "
                                             L"being used by another process."),
                      MB_OK | MB_ICONERROR, (L"failed-build" + suffix).c_str());
}

TEST(Screenshots, TheDocumentationPictures) {
  if (!screenshots_wanted()) GTEST_SKIP() << "KESTREL_SCREENSHOT_DIR not set";
  make_sample_source();
  app::settings_file().path = scratch_folder() + L"\\kestrel.ini";
  WritePrivateProfileStringW(L"General", app::key_output_dir, sample_folder,
                             app::settings_file().path.c_str());
  app::set_current_language(app::english_row);
  app::set_program_arguments({L"kestrel.exe", std::wstring(sample_folder) + L"\\Holiday"});
  HWND window = CreateDialogParamW(app::app_instance(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                   app::main_window_proc, 0);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  // The focus on Start, as after choosing a folder, leaves the paths unselected.
  SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_START)),
               TRUE);
  pump_for(300);

  const UINT dpi = ui::window_dpi(window);
  const bool standard = dpi == 96;
  const std::wstring scale = standard ? L"" : L"-" + std::to_wstring(dpi * 100 / 96);
  capture_window(window, (L"main-window" + scale).c_str());
  if (standard) {
    capture_dialogs(window, L"");
    for (const auto& [row, name] : {std::pair{german_row, L"main-window-german"},
                                    std::pair{japanese_row, L"main-window-japanese"}}) {
      app::set_current_language(row);
      app::apply_language(window);
      capture_window(window, name);
    }
    app::set_current_language(app::english_row);
    app::apply_language(window);
  }

  // Dark, as on a system with the dark-mode entry points.
  SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", L"1");
  ui::init_dark_mode();
  SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", nullptr);
  ui::apply_theme_choice(window, ui::ThemeChoice::dark, false);
  pump_for(300);
  capture_window(window, (L"main-window-dark" + scale).c_str());
  if (standard) capture_dialogs(window, L"-dark");
  ui::apply_theme_choice(window, ui::ThemeChoice::light, false);

  DestroyWindow(window);
  app::main_window_state() = app::MainWindowState{};
}

}  // namespace
}  // namespace kestrel::gui_test
