// The main window driven through its messages: initial state, command line,
// dropping, building, replacing, failing, cancelling, settings and the folder
// verb.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/core/gui_command_line.h"
#include "app/core/shell_paths.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "engine/build_job.h"
#include "gui/gui_driver.h"
#include "kestrel/version.h"

namespace kestrel::gui_test {
namespace {

using app::main_window_state;

constexpr DWORD build_timeout_ms = 60000;

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratch_folder();
    app::settings_file().path = folder_ + L"\\kestrel.ini";
  }

  void open(std::vector<std::wstring> arguments = {}) {
    arguments.insert(arguments.begin(), L"kestrel.exe");
    app::set_program_arguments(arguments);
    window_ = CreateDialogParamW(app::app_instance(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                 app::main_window_proc, 0);
    ASSERT_NE(window_, nullptr);
    ShowWindow(window_, SW_SHOW);
    pump_for(100);
  }

  void TearDown() override {
    if (window_ != nullptr) {
      app::stop_running_build();
      DestroyWindow(window_);
    }
    main_window_state() = app::MainWindowState{};
  }

  void click(int id) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  bool enabled(int id) { return IsWindowEnabled(GetDlgItem(window_, id)) != FALSE; }
  std::wstring text(int id) { return control_text(window_, id); }
  int setting(const wchar_t* key, int default_value) {
    return app::read_setting_int(key, default_value);
  }

  bool wait_until_idle() {
    return pump_until([] { return !main_window_state().busy; }, build_timeout_ms);
  }

  // A small source tree.
  std::wstring make_source(const std::wstring& name) {
    const std::wstring source = folder_ + L"\\" + name;
    CreateDirectoryW(source.c_str(), nullptr);
    CreateDirectoryW((source + L"\\docs").c_str(), nullptr);
    write_file(source + L"\\readme.txt", "Kestrel GUI test\n");
    write_file(source + L"\\docs\\notes.txt", std::string(5000, 'n'));
    return source;
  }

  // A source with a large file, which keeps a build busy long enough to be
  // stopped midway.
  std::wstring make_large_source(long long megabytes = 1536) {
    const std::wstring source = make_source(L"Large");
    HANDLE big = CreateFileW((source + L"\\large.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = megabytes << 20;
    SetFilePointerEx(big, size, nullptr, FILE_BEGIN);
    SetEndOfFile(big);
    CloseHandle(big);
    return source;
  }

  // Presses Start and waits until the first sectors of the image are
  // written. True only while the build is still writing: on a fast machine
  // a small build may be over by then, and a test that needs it running
  // must not go on as if it were.
  bool start_and_wait_for_first_sectors() {
    click(IDC_START);
    const auto writing = [] {
      auto* job = main_window_state().job.get();
      return job && job->state.load() == build_state_writing && job->sectors_done.load() > 0;
    };
    const auto ended = [] {
      auto* job = main_window_state().job.get();
      return job && job->state.load() == build_state_finished;
    };
    pump_until([&] { return writing() || ended(); }, build_timeout_ms);
    return writing();
  }

  // As above, and waits until the window shows how far.
  bool start_and_wait_for_writing() {
    if (!start_and_wait_for_first_sectors()) return false;
    pump_until([&] { return !text(IDC_PERCENT).empty(); }, 3000);
    return !text(IDC_PERCENT).empty();
  }

  // Files (not folders) directly in `folder`.
  static int files_in(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    int files = 0;
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    return files;
  }

  std::wstring folder_;
  HWND window_ = nullptr;
};

TEST_F(MainWindowTest, OpensWithoutSettingsInItsInitialState) {
  open();
  wchar_t title[64] = {};
  GetWindowTextW(window_, title, 64);
#ifdef _WIN64
  EXPECT_STREQ(title, L"Kestrel " KESTREL_VERSION_WIDE L" (x64) ");
#else
  EXPECT_STREQ(title, L"Kestrel " KESTREL_VERSION_WIDE L" (x86) ");
#endif
  EXPECT_FALSE(enabled(IDC_START));
  EXPECT_TRUE(enabled(IDC_SOURCE));
  EXPECT_EQ(text(IDC_LAYOUT), L"UDF 2.50 (BD/UHD)");
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_LAYOUT, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(text(IDC_SOURCE), L"");
  EXPECT_EQ(text(IDC_PERCENT), L"");
  EXPECT_NE(GetPropW(window_, app::main_window_property), nullptr);
  EXPECT_FALSE(path_exists(app::settings_file().path));  // nothing is written by opening
}

TEST_F(MainWindowTest, StoredLayoutOutsideTheListSelectsUdf250) {
  app::write_setting_int(app::key_file_system, 7);
  open();
  EXPECT_EQ(text(IDC_LAYOUT), L"UDF 2.50 (BD/UHD)");
  DestroyWindow(window_);
  app::write_setting_int(app::key_file_system, 1);
  open();
  EXPECT_EQ(text(IDC_LAYOUT), L"ISO9660 + UDF 1.02 (DVD)");
}

TEST_F(MainWindowTest, CommandLineFillsSourceLabelAndTarget) {
  const std::wstring source = make_source(L"Holiday");
  app::write_setting_int(L"Unused", 0);
  WritePrivateProfileStringW(L"General", app::key_output_dir, L"D:\\images",
                             app::settings_file().path.c_str());
  open({source + L"\\"});
  EXPECT_EQ(text(IDC_SOURCE), source);  // trailing backslash removed
  EXPECT_EQ(text(IDC_LABEL), L"Holiday");
  EXPECT_EQ(text(IDC_TARGET), L"D:\\images\\Holiday.iso");
  EXPECT_TRUE(enabled(IDC_START));
  DestroyWindow(window_);

  open({L"-output", L"C:\\out\\x.iso", source, L"-label", L"Given"});
  EXPECT_EQ(text(IDC_TARGET), L"C:\\out\\x.iso");
  EXPECT_EQ(text(IDC_LABEL), L"Given");
  DestroyWindow(window_);

  // An output switch alone changes nothing.
  open({L"-output", L"C:\\out\\x.iso"});
  EXPECT_EQ(text(IDC_TARGET), L"");
  EXPECT_FALSE(enabled(IDC_START));
}

TEST_F(MainWindowTest, DroppedDiscFolderSelectsTheDiscAndFilesAreIgnored) {
  const std::wstring movie = folder_ + L"\\Movie";
  CreateDirectoryW(movie.c_str(), nullptr);
  CreateDirectoryW((movie + L"\\BDMV").c_str(), nullptr);
  write_file(movie + L"\\file.txt", "x");
  open();
  auto drop = [&](const std::wstring& path) {
    const size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    path.copy(reinterpret_cast<wchar_t*>(files + 1), path.size());
    GlobalUnlock(memory);
    SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  };
  drop(movie + L"\\file.txt");
  EXPECT_EQ(text(IDC_SOURCE), L"");
  drop(movie + L"\\BDMV");
  EXPECT_EQ(text(IDC_SOURCE), movie);
  EXPECT_EQ(text(IDC_LABEL), L"Movie");
  EXPECT_EQ(app::last_component(text(IDC_TARGET)), L"Movie.iso");
}

TEST_F(MainWindowTest, StartBuildsTheImageAndShowsItsProgress) {
  const std::wstring source = make_source(L"Build");
  wchar_t artifacts[MAX_PATH] = {};
  const bool keep = GetEnvironmentVariableW(L"KESTREL_GUI_ARTIFACTS", artifacts, MAX_PATH) != 0;
  // Missing folders of the target are made; ".iso" is added to a name without a dot.
  const std::wstring target_folder = keep ? std::wstring(artifacts) : folder_ + L"\\out\\new";
  open({source, L"-output", target_folder + L"\\built"});
  SendDlgItemMessageW(window_, IDC_LAYOUT, CB_SETCURSEL, 1, 0);
  std::vector<std::wstring> report;
  {
    MessageBoxWatcher watcher(GetCurrentThreadId(), {IDOK});
    click(IDC_START);
    EXPECT_TRUE(main_window_state().busy);
    EXPECT_FALSE(enabled(IDC_SOURCE));
    EXPECT_FALSE(enabled(IDC_BROWSE_SOURCE));
    EXPECT_FALSE(enabled(IDC_LAYOUT));
    EXPECT_FALSE(enabled(IDC_START));
    EXPECT_TRUE(enabled(IDC_OPTIONS));
    ASSERT_TRUE(wait_until_idle());
    pump_until([&] { return !watcher.texts().empty(); }, 5000);
    report = watcher.texts();
  }
  EXPECT_EQ(main_window_state().job->outcome, BuildOutcome::succeeded);
  // The report says how large the image is and which discs it fits.
  ASSERT_EQ(report.size(), 1u);
  EXPECT_NE(report[0].find(L"MB and fits on: CD 650 MB, CD 700 MB, DVD 4.7 GB"), std::wstring::npos)
      << report[0];
  EXPECT_EQ(text(IDC_PERCENT), L"100%");
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_GETPOS, 0, 0), 100);
  EXPECT_TRUE(enabled(IDC_SOURCE));
  EXPECT_TRUE(enabled(IDC_START));
  EXPECT_EQ(text(IDC_TARGET), target_folder + L"\\built.iso");
  const std::wstring image = target_folder + L"\\built.iso";
  ASSERT_TRUE(path_exists(image));
  EXPECT_EQ(setting(app::key_file_system, -1), 1);
  wchar_t stored[MAX_PATH] = {};
  GetPrivateProfileStringW(L"General", app::key_output_dir, L"", stored, MAX_PATH,
                           app::settings_file().path.c_str());
  EXPECT_EQ(std::wstring(stored), target_folder);
}

TEST_F(MainWindowTest, ExistingTargetIsReplacedOnlyAfterConfirmation) {
  const std::wstring source = make_source(L"Again");
  const std::wstring target = folder_ + L"\\existing.iso";
  write_file(target, "old image");
  open({source, L"-output", target});
  {
    MessageBoxWatcher watcher(GetCurrentThreadId(), {IDCANCEL});
    click(IDC_START);
    pump_for(200);
    const auto texts = watcher.texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find(L"'" + target + L"' already exists."), std::wstring::npos) << texts[0];
  }
  EXPECT_FALSE(main_window_state().busy);
  EXPECT_TRUE(enabled(IDC_SOURCE));
  EXPECT_EQ(read_file(target), "old image");
  EXPECT_FALSE(path_exists(app::settings_file().path));  // nothing stored either

  {
    MessageBoxWatcher watcher(GetCurrentThreadId(), {IDOK});
    click(IDC_START);
    ASSERT_TRUE(wait_until_idle());
  }
  EXPECT_EQ(main_window_state().job->outcome, BuildOutcome::succeeded);
  EXPECT_NE(read_file(target), "old image");
}

TEST_F(MainWindowTest, FailedBuildShowsItsReasonAndNotCompletion) {
  const std::wstring source = make_source(L"Locked");
  const std::wstring locked = source + L"\\readme.txt";
  // Held open without sharing, the file cannot be read by the build.
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  app::write_setting_int(app::key_close_when_done, 1);
  const std::wstring target = folder_ + L"\\failed.iso";
  open({source, L"-output", target});
  std::vector<std::wstring> texts;
  {
    MessageBoxWatcher watcher(GetCurrentThreadId(), {IDOK});
    click(IDC_START);
    ASSERT_TRUE(wait_until_idle());
    pump_until([&] { return !watcher.texts().empty(); }, 5000);
    texts = watcher.texts();
  }
  CloseHandle(holder);
  EXPECT_EQ(main_window_state().job->outcome, BuildOutcome::failed);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(L"readme.txt"), std::wstring::npos) << texts[0];
  EXPECT_NE(text(IDC_PERCENT), L"100%");
  EXPECT_LT(SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_GETPOS, 0, 0), 100);
  EXPECT_TRUE(enabled(IDC_START));
  EXPECT_TRUE(IsWindow(window_));  // CloseWhenDone is not applied to a failure
  pump_for(200);
  EXPECT_TRUE(IsWindowVisible(window_));
  EXPECT_FALSE(path_exists(target));
}

TEST_F(MainWindowTest, ClosingDuringABuildStopsItAndLeavesNoImage) {
  // The close button, and the end of the session (log-off, shut-down).
  for (const bool session_ends : {false, true}) {
    SCOPED_TRACE(session_ends ? "session ends" : "close button");
    const std::wstring out = folder_ + (session_ends ? L"\\ended" : L"\\cancel");
    open({make_large_source(), L"-output", out + L"\\large.iso"});
    // Should the build end before it is stopped, its report is answered
    // and the test fails instead of waiting in the report's box for ever.
    MessageBoxWatcher watcher(GetCurrentThreadId(), {});
    ASSERT_TRUE(start_and_wait_for_writing());
    if (session_ends) {
      SendMessageW(window_, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    } else {
      click(IDC_CLOSE);
    }
    EXPECT_TRUE(watcher.texts().empty());
    EXPECT_FALSE(main_window_state().busy);
    EXPECT_EQ(main_window_state().job->outcome, BuildOutcome::cancelled);
    EXPECT_EQ(files_in(out), 0);
    DestroyWindow(window_);
    window_ = nullptr;
    main_window_state() = app::MainWindowState{};
  }
}

// A target that another program wrote while the build ran is kept: the
// user agreed to no replacing.
TEST_F(MainWindowTest, TargetWrittenMeanwhileByAnotherProgramIsKept) {
  const std::wstring target = folder_ + L"\\meanwhile.iso";
  open({make_large_source(), L"-output", target});
  std::vector<std::wstring> texts;
  {
    // Watching from before Start: a build that ended before the target was
    // written shows its report, which is answered, and the test fails below.
    MessageBoxWatcher watcher(GetCurrentThreadId(), {IDOK});
    ASSERT_TRUE(start_and_wait_for_first_sectors())
        << "the build ended before the target was written";
    write_file(target, "another program's image");
    ASSERT_TRUE(wait_until_idle());
    pump_until([&] { return !watcher.texts().empty(); }, 5000);
    texts = watcher.texts();
  }
  EXPECT_EQ(main_window_state().job->outcome, BuildOutcome::failed);
  EXPECT_EQ(main_window_state().job->error.error, BuildError::output_rename_failed);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(target), std::wstring::npos) << texts[0];
  EXPECT_EQ(read_file(target), "another program's image");
  EXPECT_EQ(files_in(folder_), 2);  // the image and the settings
}

TEST_F(MainWindowTest, ForwardedCommandLineIsIgnoredWhileBusyAndCheckedWhenIdle) {
  open();
  const std::wstring sub = make_source(L"sub");
  auto send = [&](const std::vector<uint8_t>& block) {
    COPYDATASTRUCT data = {0, static_cast<DWORD>(block.size()), const_cast<uint8_t*>(block.data())};
    SendMessageW(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  };
  const std::wstring line = L"kestrel.exe sub -label Fwd";
  const auto block = app::encode_forwarded_command_line(
      std::u16string(folder_.begin(), folder_.end()), std::u16string(line.begin(), line.end()));
  // Cut short, the block has no terminator and is ignored.
  send(std::vector<uint8_t>(block.begin(),
                            block.begin() + static_cast<long>(2 * folder_.size() + 8)));
  EXPECT_EQ(text(IDC_SOURCE), L"");
  main_window_state().busy = true;
  send(block);
  EXPECT_EQ(text(IDC_SOURCE), L"");
  main_window_state().busy = false;
  send(block);
  EXPECT_EQ(text(IDC_SOURCE), sub);  // resolved against the sender's directory
  EXPECT_EQ(text(IDC_LABEL), L"Fwd");
}

TEST(Settings, WholeNumbersAndOutputFolderGoToSectionGeneral) {
  const std::wstring folder = scratch_folder();
  app::settings_file().path = folder + L"\\kestrel.ini";
  EXPECT_EQ(app::read_setting_int(app::key_multiple_instances, 1), 1);
  EXPECT_TRUE(app::write_setting_int(app::key_reveal_when_done, 1));
  EXPECT_TRUE(app::write_setting_int(app::key_close_when_done, -5));
  EXPECT_EQ(app::read_setting_int(app::key_reveal_when_done, 0), 1);
  app::save_output_dir(L"movie.iso");
  EXPECT_EQ(app::load_output_dir(), L".\\");
  app::save_output_dir(L"D:/images/movie.iso");
  EXPECT_EQ(app::load_output_dir(), L"D:\\images\\");
  const std::string contents = read_file(app::settings_file().path);
  EXPECT_NE(contents.find("[General]"), std::string::npos) << contents;
  EXPECT_NE(contents.find("RevealWhenDone=1"), std::string::npos) << contents;
  EXPECT_NE(contents.find("CloseWhenDone=-5"), std::string::npos) << contents;
  EXPECT_NE(contents.find("OutputDir=D:\\images"), std::string::npos) << contents;
}

std::wstring registry_text(const wchar_t* key, const wchar_t* name) {
  wchar_t data[1024] = {};
  DWORD bytes = sizeof(data);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, data, &bytes) !=
      ERROR_SUCCESS)
    return L"<missing>";
  return data;
}

TEST(ShellVerb, RegisterTwiceRemoveTwice) {
  constexpr const wchar_t* verb = L"Software\\Classes\\Directory\\shell\\Kestrel";
  constexpr const wchar_t* command = L"Software\\Classes\\Directory\\shell\\Kestrel\\command";
  app::set_shell_verb(false);
  EXPECT_FALSE(app::is_shell_verb_registered());
  app::set_shell_verb(true);
  app::set_shell_verb(true);
  EXPECT_TRUE(app::is_shell_verb_registered());
  const std::wstring quoted = L"\"" + app::module_path() + L"\"";
  EXPECT_EQ(registry_text(verb, L"Icon"), quoted + L",0");
  EXPECT_EQ(registry_text(command, nullptr), quoted + L" \"%1\"");
  app::set_shell_verb(false);
  app::set_shell_verb(false);
  EXPECT_FALSE(app::is_shell_verb_registered());
}

TEST(ShellVerb, LegacyFolderVerbIsMovedOnce) {
  HKEY legacy = nullptr;
  ASSERT_EQ(
      RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\Folder\\shell\\Kestrel\\command", 0,
                      nullptr, 0, KEY_WRITE, nullptr, &legacy, nullptr),
      ERROR_SUCCESS);
  RegCloseKey(legacy);
  app::set_shell_verb(false);
  app::migrate_legacy_shell_verb();
  EXPECT_TRUE(app::is_shell_verb_registered());
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\Folder\\shell\\Kestrel", 0,
                          KEY_READ, &legacy),
            ERROR_SUCCESS);
  app::set_shell_verb(false);
  app::migrate_legacy_shell_verb();  // nothing left to move: nothing registered
  EXPECT_FALSE(app::is_shell_verb_registered());
}

}  // namespace
}  // namespace kestrel::gui_test
