#include "app/application.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <optional>

#include "app/core/gui_command_line.h"
#include "app/core/shell_paths.h"
#include "app/main_window.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "ui/theme.h"

namespace kestrel::app {

namespace {

constexpr const wchar_t* application_name = L"Kestrel";
constexpr const wchar_t* instance_mutex_name = L"Kestrel";
constexpr int title_chars = 128;

HINSTANCE module_instance = nullptr;
std::vector<std::wstring> arguments_at_start;

// A relative path of a forwarded command line, made absolute against the
// sender's directory. Nothing when the combination does not fit.
std::optional<std::wstring> resolve_against(const std::wstring& path,
                                            const wchar_t* base_directory) {
  if (base_directory == nullptr || !PathIsRelativeW(path.c_str())) return path;
  wchar_t combined[MAX_PATH] = {};
  if (PathCombineW(combined, base_directory, path.c_str()) == nullptr) return std::nullopt;
  return std::wstring(combined);
}

// Only the program's main window gets a forwarded command line: its title
// begins with the application name and it carries our window property. The
// program's own message boxes share the title but not the property.
BOOL CALLBACK forward_to_main_window(HWND window, LPARAM) {
  wchar_t title[title_chars] = {};
  const int length = GetWindowTextW(window, title, title_chars);
  const int name_length = static_cast<int>(wcslen(application_name));
  if (length >= name_length &&
      wcsncmp(title, application_name, static_cast<size_t>(name_length)) == 0 &&
      GetPropW(window, main_window_property) != nullptr)
    forward_command_line(window);
  return TRUE;
}

void init_common_controls() {
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_LINK_CLASS;
  InitCommonControlsEx(&controls);
}

}  // namespace

HINSTANCE app_instance() { return module_instance; }
void set_app_instance(HINSTANCE instance) { module_instance = instance; }

const std::vector<std::wstring>& program_arguments() { return arguments_at_start; }
void set_program_arguments(std::vector<std::wstring> arguments) {
  arguments_at_start = std::move(arguments);
}

std::vector<std::wstring> split_command_line(const wchar_t* command_line) {
  std::vector<std::wstring> arguments;
  int count = 0;
  LPWSTR* vector = CommandLineToArgvW(command_line, &count);
  if (vector == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(vector[i]);
  LocalFree(vector);
  return arguments;
}

bool check_single_instance() {
  init_settings_path();
  if (read_setting_int(key_multiple_instances, 1) != 0) return true;
  // The mutex is never closed: it marks the first instance until it ends.
  CreateMutexW(nullptr, TRUE, instance_mutex_name);
  if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
  EnumWindows(forward_to_main_window, 0);
  return false;
}

void forward_command_line(HWND window) {
  ShowWindow(window, SW_SHOW);
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  SetForegroundWindow(window);
  wchar_t directory[forwarded_directory_chars] = {};
  const DWORD length = GetCurrentDirectoryW(forwarded_directory_chars, directory);
  // A directory too long for the block would arrive cut into another path.
  if (length == 0 || length >= forwarded_directory_chars) return;
  const wchar_t* line = GetCommandLineW();
  const std::wstring_view line_view(line);
  std::vector<uint8_t> block =
      encode_forwarded_command_line(std::u16string(directory, directory + length),
                                    std::u16string(line_view.begin(), line_view.end()));
  COPYDATASTRUCT data = {};
  data.dwData = 0;
  data.cbData = static_cast<DWORD>(block.size());
  data.lpData = block.data();
  SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

void receive_command_line(HWND window, const COPYDATASTRUCT* block) {
  if (main_window_state().busy || block == nullptr) return;
  // The block comes from another process: it is read only after its size
  // and terminators have been checked.
  const auto forwarded = decode_forwarded_command_line(block->lpData, block->cbData);
  if (!forwarded) return;
  const std::wstring directory(forwarded->current_directory.begin(),
                               forwarded->current_directory.end());
  const std::wstring line(forwarded->command_line.begin(), forwarded->command_line.end());
  parse_command_line(split_command_line(line.c_str()), directory.c_str());
  ShowWindow(window, IsIconic(window) ? SW_SHOWNORMAL : SW_SHOW);
  SetForegroundWindow(window);
}

void parse_command_line(const std::vector<std::wstring>& arguments, const wchar_t* base_directory) {
  const auto request = parse_gui_arguments(arguments);
  if (!request) return;
  const auto source = resolve_against(request->source, base_directory);
  if (!source) return;
  std::optional<std::wstring> output;
  if (request->output) {
    output = resolve_against(*request->output, base_directory);
    if (!output) return;
  }
  HWND window = main_window_state().window;
  if (window != nullptr) set_source(window, *source, output, request->label);
}

int run_application(HINSTANCE instance) {
  set_app_instance(instance);
  if (!check_single_instance()) return 0;
  migrate_legacy_shell_verb();
  ui::start_theme_from_settings();
  set_program_arguments(split_command_line(GetCommandLineW()));
  init_common_controls();
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, main_window_proc, 0);
  return 0;
}

}  // namespace kestrel::app
