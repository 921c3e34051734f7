// Helpers of the GUI tests: the real main window opened in this process,
// message pumping, a watcher that answers message boxes from another thread,
// and window captures for the documentation.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::gui_test {

// Dispatches the thread's messages until `done` holds or the time is up.
bool pump_until(const std::function<bool()>& done, DWORD timeout_ms);
void pump_for(DWORD ms);

std::wstring control_text(HWND window, int id);
std::wstring scratch_folder();  // a fresh folder for one test
void write_file(const std::wstring& path, const std::string& contents);
std::string read_file(const std::wstring& path);
bool path_exists(const std::wstring& path);

// Answers every message box the given thread shows, in order, with the
// answers given (IDOK, IDCANCEL, ...), and keeps the texts it saw.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher(DWORD ui_thread, std::vector<int> answers);
  ~MessageBoxWatcher();
  std::vector<std::wstring> texts();

 private:
  void run();
  DWORD ui_thread_;
  std::vector<int> answers_;
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Saves the window, frame included, as a 24-bit BMP when the environment
// variable KESTREL_SCREENSHOT_DIR names a folder.
void capture_window(HWND window, const wchar_t* name);

// The about box open on the calling thread, or null.
HWND find_about_box();

// The real main window, opened with a fresh settings file in a scratch
// folder and the given arguments after the program's name, shown and
// painted. close_main_window destroys it and forgets the window's state.
HWND open_main_window(const std::vector<std::wstring>& arguments = {});
void close_main_window(HWND window);

}  // namespace kestrel::gui_test
