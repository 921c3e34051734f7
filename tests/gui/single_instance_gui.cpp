// The real program in its own process: started with a command line it fills
// its window and builds the image when Start is pressed; and with
// "AllowMultipleInstances" 0 a second start hands its command line to the
// first window and ends. Needs the path of kestrel.exe in KESTREL_EXE;
// skipped without it.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "gui/gui_driver.h"

namespace kestrel::gui_test {
namespace {

struct MainWindowSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK match_main_window(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<MainWindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->process_id && GetPropW(window, app::main_window_property) != nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND find_main_window(DWORD process_id) {
  MainWindowSearch search{process_id, nullptr};
  EnumWindows(match_main_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

PROCESS_INFORMATION start(const std::wstring& exe, const std::wstring& arguments,
                          const std::wstring& directory) {
  std::wstring line = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                 &startup, &process);
  return process;
}

std::wstring remote_text(HWND window, int id) {
  wchar_t text[512] = {};
  SendMessageTimeoutW(GetDlgItem(window, id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                      SMTO_BLOCK, 5000, nullptr);
  return text;
}

TEST(SingleInstance, SecondStartForwardsItsCommandLineAndEnds) {
  wchar_t exe[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"KESTREL_EXE", exe, MAX_PATH) == 0)
    GTEST_SKIP() << "KESTREL_EXE not set";
  std::wstring ini = exe;
  ini = ini.substr(0, ini.rfind(L'.')) + L".ini";
  DeleteFileW(ini.c_str());
  WritePrivateProfileStringW(L"General", L"AllowMultipleInstances", L"0", ini.c_str());

  const std::wstring first_dir = scratch_folder();
  PROCESS_INFORMATION first = start(exe, L"", first_dir);
  ASSERT_NE(first.hProcess, nullptr);
  HWND window = nullptr;
  ASSERT_TRUE(
      pump_until([&] { return (window = find_main_window(first.dwProcessId)) != nullptr; }, 20000));

  // The second start runs in another folder and names a folder relative to it.
  const std::wstring second_dir = scratch_folder();
  CreateDirectoryW((second_dir + L"\\sub").c_str(), nullptr);
  CreateDirectoryW((second_dir + L"\\sub\\folder").c_str(), nullptr);
  PROCESS_INFORMATION second =
      start(exe, L"sub\\folder -label Forwarded -output out\\x.iso", second_dir);
  ASSERT_NE(second.hProcess, nullptr);
  EXPECT_EQ(WaitForSingleObject(second.hProcess, 20000), WAIT_OBJECT_0);
  DWORD exit_code = 1;
  GetExitCodeProcess(second.hProcess, &exit_code);
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(find_main_window(second.dwProcessId), nullptr);

  EXPECT_EQ(remote_text(window, 13), second_dir + L"\\sub\\folder");
  EXPECT_EQ(remote_text(window, 15), L"Forwarded");
  EXPECT_EQ(remote_text(window, 14), second_dir + L"\\out\\x.iso");

  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitForSingleObject(first.hProcess, 20000), WAIT_OBJECT_0);
  for (PROCESS_INFORMATION* process : {&first, &second}) {
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
  }
  DeleteFileW(ini.c_str());
}

TEST(Program, StartedWithACommandLineBuildsTheImageOnStart) {
  wchar_t exe[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"KESTREL_EXE", exe, MAX_PATH) == 0)
    GTEST_SKIP() << "KESTREL_EXE not set";
  // The image goes where tools/test-gui.sh reads it back with 7-Zip.
  wchar_t artifacts[MAX_PATH] = {};
  const std::wstring work = scratch_folder();
  const std::wstring out = GetEnvironmentVariableW(L"KESTREL_GUI_ARTIFACTS", artifacts, MAX_PATH)
                               ? std::wstring(artifacts)
                               : work;
  const std::wstring image = out + L"\\program.iso";
  DeleteFileW(image.c_str());
  CreateDirectoryW((work + L"\\Holiday").c_str(), nullptr);
  write_file(work + L"\\Holiday\\readme.txt", "Kestrel program test\n");
  CreateDirectoryW((work + L"\\Holiday\\docs").c_str(), nullptr);
  write_file(work + L"\\Holiday\\docs\\notes.txt", std::string(3000, 'n'));

  PROCESS_INFORMATION program =
      start(exe, L"Holiday -label Holiday -output \"" + image + L"\"", work);
  ASSERT_NE(program.hProcess, nullptr);
  HWND window = nullptr;
  ASSERT_TRUE(pump_until(
      [&] { return (window = find_main_window(program.dwProcessId)) != nullptr; }, 20000));
  EXPECT_EQ(remote_text(window, 13), work + L"\\Holiday");
  EXPECT_EQ(remote_text(window, 14), image);
  {
    // The report of the finished build says which discs the image fits.
    MessageBoxWatcher watcher(program.dwThreadId, {IDOK});
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0);  // Start
    EXPECT_TRUE(pump_until([&] { return remote_text(window, 18) == L"100%"; }, 60000));
    EXPECT_TRUE(pump_until([&] { return !watcher.texts().empty(); }, 10000));
    const auto texts = watcher.texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(texts[0].find(L"fits on: CD 650 MB"), std::wstring::npos) << texts[0];
  }
  EXPECT_TRUE(path_exists(image));
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(WaitForSingleObject(program.hProcess, 20000), WAIT_OBJECT_0);
  CloseHandle(program.hThread);
  CloseHandle(program.hProcess);
}

}  // namespace
}  // namespace kestrel::gui_test
