#include "gui/gui_driver.h"

#include <cstdio>
#include <fstream>

#include "app/application.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "app/settings.h"

namespace kestrel::gui_test {

bool pump_until(const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (GetTickCount64() > deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

void pump_for(DWORD ms) {
  pump_until([] { return false; }, ms);
}

std::wstring control_text(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring scratch_folder() {
  static int counter = 0;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  // Process ids repeat between runs under Wine: take the first unused name.
  for (;;) {
    std::wstring folder = std::wstring(temp) + L"kestrel-gui-" +
                          std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++counter);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
  }
}

void write_file(const std::wstring& path, const std::string& contents) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(file);
}

std::string read_file(const std::wstring& path) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string contents(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(file, contents.data(), static_cast<DWORD>(contents.size()), &read, nullptr);
  CloseHandle(file);
  contents.resize(read);
  return contents;
}

bool path_exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

MessageBoxWatcher::MessageBoxWatcher(DWORD ui_thread, std::vector<int> answers)
    : ui_thread_(ui_thread), answers_(std::move(answers)), thread_([this] { run(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
  stop_ = true;
  thread_.join();
}

std::vector<std::wstring> MessageBoxWatcher::texts() {
  std::lock_guard<std::mutex> lock(mutex_);
  return texts_;
}

namespace {

struct Search {
  HWND box = nullptr;
};

BOOL CALLBACK find_box(HWND window, LPARAM data) {
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  // Message boxes are dialogs owned by another window; the main window has no owner.
  if (wcscmp(class_name, L"#32770") == 0 && IsWindowVisible(window) &&
      GetWindow(window, GW_OWNER) != nullptr) {
    reinterpret_cast<Search*>(data)->box = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK collect_static_text(HWND child, LPARAM data) {
  wchar_t class_name[16] = {};
  GetClassNameW(child, class_name, 16);
  if (_wcsicmp(class_name, L"Static") == 0) {
    wchar_t text[2048] = {};
    GetWindowTextW(child, text, 2048);
    *reinterpret_cast<std::wstring*>(data) += text;
  }
  return TRUE;
}

}  // namespace

void MessageBoxWatcher::run() {
  size_t answered = 0;
  while (!stop_) {
    Search search;
    EnumThreadWindows(ui_thread_, find_box, reinterpret_cast<LPARAM>(&search));
    if (search.box != nullptr) {
      std::wstring text;
      EnumChildWindows(search.box, collect_static_text, reinterpret_cast<LPARAM>(&text));
      {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_.push_back(text);
      }
      int answer = answered < answers_.size() ? answers_[answered] : IDOK;
      // A lone OK button carries the Cancel identifier so that Escape and the
      // close box answer it too.
      if (answer == IDOK && GetDlgItem(search.box, IDOK) == nullptr) answer = IDCANCEL;
      ++answered;
      PostMessageW(search.box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
      // Wait until this box has gone before looking for the next one.
      for (int i = 0; i < 200 && IsWindow(search.box) && !stop_; ++i) Sleep(10);
    }
    Sleep(20);
  }
}

void capture_window(HWND window, const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"KESTREL_SCREENSHOT_DIR", folder, MAX_PATH) == 0) return;
  pump_for(300);  // let the window finish painting
  RECT rect = {};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = static_cast<DWORD>((width * 3 + 3) & ~3);
  const DWORD image_size = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file_header = {};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file_header.bfSize = file_header.bfOffBits + image_size;
  std::string data(reinterpret_cast<const char*>(&file_header), sizeof(file_header));
  data.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof(info.bmiHeader));
  data.append(static_cast<const char*>(bits), image_size);
  write_file(std::wstring(folder) + L"\\" + name + L".bmp", data);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

namespace {

BOOL CALLBACK find_about(HWND window, LPARAM data) {
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (lstrcmpW(class_name, L"#32770") != 0 || GetDlgItem(window, IDC_ABOUT_VERSION) == nullptr)
    return TRUE;
  *reinterpret_cast<HWND*>(data) = window;
  return FALSE;
}

}  // namespace

HWND find_about_box() {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), find_about, reinterpret_cast<LPARAM>(&box));
  return box;
}

HWND open_main_window(const std::vector<std::wstring>& arguments) {
  app::settings_file().path = scratch_folder() + L"\\kestrel.ini";
  std::vector<std::wstring> command_line{L"kestrel.exe"};
  command_line.insert(command_line.end(), arguments.begin(), arguments.end());
  app::set_program_arguments(command_line);
  HWND window = CreateDialogParamW(app::app_instance(), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                   app::main_window_proc, 0);
  if (window == nullptr) return nullptr;
  ShowWindow(window, SW_SHOW);
  pump_for(200);
  return window;
}

void close_main_window(HWND window) {
  DestroyWindow(window);
  app::main_window_state() = app::MainWindowState{};
}

}  // namespace kestrel::gui_test
