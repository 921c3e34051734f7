// Interim providers: the language table, options menu, themes and message box
// are built apart from the window; until they are linked in, the window uses
// the English texts and the system's message box through these functions.
#include "app/shell_services.h"

#include <commctrl.h>

#include "app/core/gui_command_line.h"
#include "app/resource_ids.h"
#include "cli/messages.h"

namespace kestrel::app {

namespace {

const wchar_t* const english_slots[] = {
    L"Source:", L"Target:", L"Label:", L"File system:", L"Start",
    L"Select or drag a folder here", L"Select the output ISO file",
    L"0 to 128 characters of volume label", L"ISO9660", L"ISO9660 + UDF 1.02 (DVD)", L"UDF 1.02",
    L"UDF 2.50 (BD/UHD)"};

std::wstring wide_from_utf8(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
  return result;
}

}  // namespace

std::wstring shell_text(int slot) {
  if (slot >= 0 && slot < static_cast<int>(std::size(english_slots))) return english_slots[slot];
  if (slot == slot_replace_question) return L"'%s' already exists.\n\nDo you want to replace it?";
  if (slot == slot_save_filter) return std::wstring(L"ISO files (*.iso)\0*.iso\0", 25);
  return {};
}

int ask_user(HWND owner, const std::wstring& text, UINT type) {
  wchar_t title[128] = {};
  GetWindowTextW(owner, title, 128);
  return MessageBoxW(owner, text.c_str(), title, type);
}

std::wstring build_failure_text(const BuildJob& job) {
  return L"The image could not be built.\n\n" + wide_from_utf8(cli::describe_error(job.error));
}

std::wstring too_long_text(const std::wstring& what) {
  return L"This path is too long for the program:\n\n" + what;
}

void start_themes() {}
void select_language() {}

void apply_window_language(HWND window) {
  for (int slot = 0; slot <= 4; ++slot) {
    static const int controls[] = {IDC_SOURCE_CAPTION, IDC_TARGET_CAPTION, IDC_LABEL_CAPTION,
                                   IDC_LAYOUT_CAPTION, IDC_START};
    SetDlgItemTextW(window, controls[slot], shell_text(slot).c_str());
  }
  static const int edits[] = {IDC_SOURCE, IDC_TARGET, IDC_LABEL};
  for (int i = 0; i < 3; ++i) {
    const std::wstring cue = shell_text(5 + i);
    SendDlgItemMessageW(window, edits[i], EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(cue.c_str()));
  }
}

void theme_window(HWND) {}
void follow_setting_change(HWND, WPARAM, LPARAM) {}

void open_options_menu(HWND window) {
  // Until the full menu is linked in, the button shows the command-line help.
  ask_user(window, usage_text, MB_OK);
}

}  // namespace kestrel::app
