// The options menu's commands carried out on the real main window (the
// switches and their settings, stay on top, the folder verb, the language,
// the command-line help), a failed build told in the chosen language, and the
// dark theme as the program really paints it: the dialog, an edit, the
// progress bar, the options button, the about box and the message box,
// sampled from the screen, and the switch back when the system's app colour
// setting changes.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/about_box.h"
#include "app/application.h"
#include "app/core/gui_command_line.h"
#include "app/core/language_table.h"
#include "app/main_window.h"
#include "app/options_menu.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "engine/build_job.h"
#include "gui/gui_driver.h"
#include "ui/core/palette.h"
#include "ui/message_box.h"
#include "ui/theme.h"

namespace kestrel::gui_test {
namespace {

using app::main_window_state;

constexpr DWORD build_timeout_ms = 60000;
constexpr int german_row = 8;
constexpr const wchar_t* personalize_key =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

class OptionsTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratch_folder();
    app::settings_file().path = folder_ + L"\\kestrel.ini";
    app::set_current_language(app::english_row);
  }

  void TearDown() override {
    close();
    app::set_current_language(app::english_row);
  }

  void open(std::vector<std::wstring> arguments = {}) {
    arguments.insert(arguments.begin(), L"kestrel.exe");
    app::set_program_arguments(arguments);
    window_ = CreateDialogParamW(app::app_instance(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                 app::main_window_proc, 0);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    pump_for(100);
  }

  void close() {
    if (window_ == nullptr) return;
    app::stop_running_build();
    DestroyWindow(window_);
    window_ = nullptr;
    main_window_state() = app::MainWindowState{};
  }

  void command(UINT id) { app::carry_out_options_command(window_, id); }
  int setting(const wchar_t* key) { return app::read_setting_int(key, -1); }
  std::wstring text(int id) { return control_text(window_, id); }

  std::wstring cue_banner(int id) {
    wchar_t banner[128] = {};
    SendDlgItemMessageW(window_, id, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(banner), 128);
    return banner;
  }

  std::vector<std::wstring> layout_entries() {
    std::vector<std::wstring> entries;
    HWND list = GetDlgItem(window_, IDC_LAYOUT);
    const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t entry[64] = {};
      SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
      entries.emplace_back(entry);
    }
    return entries;
  }

  std::wstring make_source(const std::wstring& name) {
    const std::wstring source = folder_ + L"\\" + name;
    CreateDirectoryW(source.c_str(), nullptr);
    write_file(source + L"\\readme.txt", "Kestrel GUI test\n");
    return source;
  }

  std::wstring folder_;
  HWND window_ = nullptr;
};

TEST_F(OptionsTest, SwitchesWriteTheirSettingsAndStayOnTopFollowsTheWindow) {
  open();
  // A dismissed menu and a sub-menu parent change nothing, not even the file.
  command(0);
  command(IDM_SUBMENU);
  EXPECT_FALSE(path_exists(app::settings_file().path));

  // Each switch writes the opposite of what the menu read, starting from its default.
  command(IDM_MULTIPLE_INSTANCES);
  EXPECT_EQ(setting(app::key_multiple_instances), 0);
  command(IDM_MULTIPLE_INSTANCES);
  EXPECT_EQ(setting(app::key_multiple_instances), 1);
  command(IDM_REVEAL_WHEN_DONE);
  EXPECT_EQ(setting(app::key_reveal_when_done), 1);
  command(IDM_CLOSE_WHEN_DONE);
  EXPECT_EQ(setting(app::key_close_when_done), 1);
  command(IDM_CLOSE_WHEN_DONE);
  EXPECT_EQ(setting(app::key_close_when_done), 0);
  EXPECT_EQ(setting(app::key_reveal_when_done), 1);  // untouched by the other switch

  auto topmost = [&] { return (GetWindowLongPtrW(window_, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
  EXPECT_FALSE(topmost());
  command(IDM_TOPMOST);
  EXPECT_TRUE(topmost());
  EXPECT_EQ(setting(app::key_topmost), 1);
  close();
  open();  // a topmost window opens topmost again
  EXPECT_TRUE(topmost());
  command(IDM_TOPMOST);
  EXPECT_FALSE(topmost());
  EXPECT_EQ(setting(app::key_topmost), 0);

  // The folder verb goes in and out of the registry.
  ASSERT_FALSE(app::is_shell_verb_registered());
  command(IDM_SHELL_VERB);
  EXPECT_TRUE(app::is_shell_verb_registered());
  command(IDM_SHELL_VERB);
  EXPECT_FALSE(app::is_shell_verb_registered());
}

TEST_F(OptionsTest, CommandLineHelpShowsTheUsageWithOneButton) {
  open();
  MessageBoxWatcher watcher(GetCurrentThreadId(), {IDOK});
  command(IDM_COMMAND_LINE_HELP);
  const auto texts = watcher.texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], app::usage_text);
}

TEST_F(OptionsTest, GermanChangesCaptionsAndCueBannersButNotLayoutsOrTitle) {
  open();
  const std::vector<std::wstring> layouts = layout_entries();
  wchar_t title[64] = {};
  GetWindowTextW(window_, title, 64);
  ASSERT_EQ(text(IDC_SOURCE_CAPTION), L"Source:");

  command(IDM_LANGUAGE_FIRST + german_row);
  EXPECT_EQ(app::current_language(), german_row);
  EXPECT_EQ(setting(app::key_language), 1031);
  EXPECT_EQ(text(IDC_SOURCE_CAPTION), L"Quelle:");
  EXPECT_EQ(text(IDC_TARGET_CAPTION), L"Ziel:");
  EXPECT_EQ(text(IDC_LABEL_CAPTION), L"Name:");
  EXPECT_EQ(text(IDC_LAYOUT_CAPTION), L"Dateisystem:");
  EXPECT_EQ(cue_banner(IDC_SOURCE), L"Ordner auswählen oder hierher ziehen");
  EXPECT_EQ(cue_banner(IDC_TARGET), L"Ausgabe-ISO-Datei auswählen");
  EXPECT_EQ(cue_banner(IDC_LABEL), L"0 bis 128 Zeichen Datenträgerbezeichnung");
  EXPECT_EQ(layout_entries(), layouts);
  EXPECT_EQ(text(IDC_LAYOUT), L"UDF 2.50 (BD/UHD)");
  wchar_t after[64] = {};
  GetWindowTextW(window_, after, 64);
  EXPECT_STREQ(after, title);

  // The stored choice is the language of the next window.
  close();
  app::set_current_language(app::english_row);
  open();
  EXPECT_EQ(text(IDC_SOURCE_CAPTION), L"Quelle:");

  command(IDM_LANGUAGE_FIRST + app::english_row);
  EXPECT_EQ(setting(app::key_language), 1033);
  EXPECT_EQ(text(IDC_SOURCE_CAPTION), L"Source:");
  EXPECT_EQ(cue_banner(IDC_SOURCE), L"Select or drag a folder here");
}

TEST_F(OptionsTest, FailedBuildIsToldInTheChosenLanguageAndNamesTheFile) {
  const std::wstring source = make_source(L"Gesperrt");
  const std::wstring locked = source + L"\\readme.txt";
  // Held open without sharing, the file cannot be read by the build.
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  open({source, L"-output", folder_ + L"\\failed.iso"});
  command(IDM_LANGUAGE_FIRST + german_row);
  std::vector<std::wstring> texts;
  {
    MessageBoxWatcher watcher(GetCurrentThreadId(), {IDOK});
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
    ASSERT_TRUE(pump_until([] { return !main_window_state().busy; }, build_timeout_ms));
    pump_until([&] { return !watcher.texts().empty(); }, 5000);
    texts = watcher.texts();
  }
  CloseHandle(holder);
  ASSERT_EQ(main_window_state().job->outcome, BuildOutcome::failed);
  ASSERT_EQ(texts.size(), 1u);
  const std::wstring& message = texts[0];
  const size_t heading = message.find(L"Das Abbild konnte nicht erstellt werden.");
  EXPECT_NE(heading, std::wstring::npos) << message;
  EXPECT_NE(message.find(L"readme.txt"), std::wstring::npos) << message;
  // The reason is the German sentence of the engine's error, with the path filled in.
  const std::wstring reason = app::format_slot_text(
      app::language_text_of(german_row,
                            app::build_error_slot(main_window_state().job->error.error)),
      main_window_state().job->error.path);
  const size_t reason_at = message.find(reason);
  EXPECT_NE(reason_at, std::wstring::npos) << message;
  EXPECT_LT(heading, reason_at);
  EXPECT_EQ(message.find(L"could not"), std::wstring::npos) << message;
}

// ---- Dark theme as painted on the screen ---------------------------------

COLORREF screen_pixel(POINT at) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, at.x, at.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

RECT screen_rect(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  return rect;
}

// What the dark message box showed, sampled from its own modal loop.
struct BoxPixels {
  bool opened = false;
  COLORREF text_band = CLR_INVALID;
  COLORREF button_row = CLR_INVALID;
};

BoxPixels box_pixels;

// Runs in the box's modal loop once it is shown and painted.
void CALLBACK sample_box_later(HWND box, UINT, UINT_PTR timer, DWORD) {
  KillTimer(box, timer);
  BoxPixels& pixels = box_pixels;
  RECT client{};
  GetClientRect(box, &client);
  POINT band{client.right - 4, 4};
  POINT row{4, client.bottom - 4};
  ClientToScreen(box, &band);
  ClientToScreen(box, &row);
  pixels.opened = true;
  pixels.text_band = screen_pixel(band);
  pixels.button_row = screen_pixel(row);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

int sample_box(HWND box, int event, WPARAM, LPARAM, void*) {
  if (event == ui::message_box_opened) SetTimer(box, 0x7E57, 500, sample_box_later);
  return 0;
}

COLORREF about_background = CLR_INVALID;
void CALLBACK sample_about(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = find_about_box();
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  pump_for(300);
  POINT corner{3, 3};  // beside the icon, on the dialog's background
  ClientToScreen(box, &corner);
  about_background = screen_pixel(corner);
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
}

// Pixels of the folder image's yellow and the target arrow's blue inside a button.
int coloured_pixels(HWND button) {
  const RECT rect = screen_rect(button);
  int count = 0;
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      const COLORREF pixel = screen_pixel({x, y});
      const int red = GetRValue(pixel);
      const int green = GetGValue(pixel);
      const int blue = GetBValue(pixel);
      const bool yellow = red > 200 && green > 150 && blue < 120;
      const bool arrow_blue = blue > 160 && red < 90;
      if (yellow || arrow_blue) ++count;
    }
  }
  return count;
}

TEST_F(OptionsTest, BrowseButtonsShowTheirDisabledImagesWhileInputsAreOff) {
  open();
  pump_for(300);
  HWND source_button = GetDlgItem(window_, IDC_BROWSE_SOURCE);
  HWND target_button = GetDlgItem(window_, IDC_BROWSE_TARGET);
  EXPECT_GT(coloured_pixels(source_button), 10);
  EXPECT_GT(coloured_pixels(target_button), 5);
  app::set_inputs_enabled(window_, false);
  pump_for(300);
  EXPECT_EQ(coloured_pixels(source_button), 0);
  EXPECT_EQ(coloured_pixels(target_button), 0);
  app::set_inputs_enabled(window_, true);
}

void set_apps_use_light_theme(DWORD value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, personalize_key, 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"AppsUseLightTheme", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof(value));
  RegCloseKey(key);
}

TEST_F(OptionsTest, DarkThemePaintsTheRealWindowsAndFollowsTheSystem) {
  // Wine lacks the system's dark-mode entry points; the program's own
  // painting runs as on a system that has them.
  SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", L"1");
  ui::init_dark_mode();
  SetEnvironmentVariableW(L"KESTREL_FORCE_DARK", nullptr);
  ASSERT_TRUE(ui::dark_mode_supported());
  const std::wstring source = make_source(L"Dark");
  open({source});
  command(IDM_THEME_DARK);
  EXPECT_EQ(setting(app::key_theme), 1);
  ASSERT_TRUE(ui::dark_mode_active());
  app::show_progress(window_, 100);
  pump_for(300);

  const RECT layout = screen_rect(GetDlgItem(window_, IDC_LAYOUT));
  EXPECT_EQ(screen_pixel({layout.right + 20, (layout.top + layout.bottom) / 2}),
            ui::DarkPalette::background);
  const RECT label = screen_rect(GetDlgItem(window_, IDC_LABEL));
  EXPECT_EQ(screen_pixel({label.right - 6, (label.top + label.bottom) / 2}),
            ui::DarkPalette::control_background);
  const RECT progress = screen_rect(GetDlgItem(window_, IDC_PROGRESS));
  EXPECT_EQ(
      screen_pixel({(progress.left + progress.right) / 2, (progress.top + progress.bottom) / 2}),
      ui::DarkPalette::progress_fill);

  // The options button: its image on the dark face, no light box around it.
  const RECT options = screen_rect(GetDlgItem(window_, IDC_OPTIONS));
  EXPECT_EQ(screen_pixel({options.left, options.top}), ui::DarkPalette::background);
  int light_pixels = 0;
  int dark_face_pixels = 0;
  for (int y = options.top; y < options.bottom; ++y) {
    for (int x = options.left; x < options.right; ++x) {
      const COLORREF pixel = screen_pixel({x, y});
      if (GetRValue(pixel) > 0xD0 && GetGValue(pixel) > 0xD0 && GetBValue(pixel) > 0xD0)
        ++light_pixels;
      if (pixel == ui::DarkPalette::background) ++dark_face_pixels;
    }
  }
  EXPECT_EQ(light_pixels, 0);
  const int area = (options.right - options.left) * (options.bottom - options.top);
  EXPECT_GT(dark_face_pixels, area / 3);
  EXPECT_LT(dark_face_pixels, area);  // the image is there
  SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window_, IDC_START)),
               TRUE);

  SetTimer(nullptr, 0, 200, sample_about);
  app::show_about_box(window_);
  EXPECT_EQ(about_background, ui::DarkPalette::background);

  box_pixels = {};
  const BoxPixels& pixels = box_pixels;
  ui::MessageBoxParams params;
  params.callback = sample_box;
  const std::wstring question =
      app::format_slot_text(app::language_text(app::slot_replace_question), L"C:\\out\\movie.iso");
  ui::show_message_box(window_, question, MB_OKCANCEL | MB_ICONQUESTION, &params);
  ASSERT_TRUE(pixels.opened);
  EXPECT_EQ(pixels.text_band, ui::DarkPalette::control_background);
  EXPECT_EQ(pixels.button_row, ui::DarkPalette::background);

  // Choice System: the window follows the app colour setting on every
  // settings change; with Dark or Light chosen it stays.
  set_apps_use_light_theme(0);
  command(IDM_THEME_SYSTEM);
  EXPECT_EQ(setting(app::key_theme), 2);
  EXPECT_TRUE(ui::dark_mode_active());
  set_apps_use_light_theme(1);
  SendMessageW(window_, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
  EXPECT_FALSE(ui::dark_mode_active());
  pump_for(300);
  EXPECT_NE(screen_pixel({layout.right + 20, (layout.top + layout.bottom) / 2}),
            ui::DarkPalette::background);
  command(IDM_THEME_DARK);
  EXPECT_TRUE(ui::dark_mode_active());
  SendMessageW(window_, WM_SETTINGCHANGE, 0, 0);
  EXPECT_TRUE(ui::dark_mode_active());

  command(IDM_THEME_LIGHT);
  EXPECT_FALSE(ui::dark_mode_active());
  EXPECT_EQ(setting(app::key_theme), 0);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, personalize_key, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, L"AppsUseLightTheme");
    RegCloseKey(key);
  }
}

}  // namespace
}  // namespace kestrel::gui_test
