// Starting a build from the window's inputs, following it with timer 15, and
// finishing up when the worker is done.
#include "app/main_window.h"

#include <commctrl.h>

#include <cwchar>
#include <vector>

#include "app/core/about_text.h"
#include "app/core/build_report.h"
#include "app/core/language_table.h"
#include "app/core/shell_paths.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "engine/boot_platforms.h"
#include "engine/fs_detection.h"
#include "ui/message_box.h"

namespace kestrel::app {

namespace {

constexpr const char* implementation_name = "Kestrel";

// Reads a path edit; when it is empty, lets the user pick one and reads again.
std::optional<std::wstring> read_or_pick(HWND window, int id, void (*pick)(HWND)) {
  auto text = read_path_edit(window, id);
  if (text && text->empty()) {
    pick(window);
    text = read_path_edit(window, id);
  }
  if (!text || text->empty()) return std::nullopt;
  return text;
}

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring replace_question(const std::wstring& full_target) {
  return format_slot_text(language_text(slot_replace_question), full_target);
}

// The system's own sentence for an error code, without its line break; empty
// when there is no code or the system has no text for it.
std::wstring system_message(SystemError code) {
  if (code == 0) return {};
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", buffer != nullptr ? length : 0);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return text;
}

std::wstring failure_text(const BuildJob& job) {
  return failed_build_text(job.error.error, job.error.path, system_message(job.error.system_error));
}

// The report of a successful build: whether it boots and with which
// firmware, its size and the media it fits, then its warnings.
std::wstring finished_text(const BuildJob& job) {
  std::vector<WarningLine> lines;
  lines.reserve(job.warnings.size());
  for (const BuildWarningEntry& entry : job.warnings)
    lines.push_back({entry.warning, entry.path, entry.stereo, entry.renamed});
  const BuiltImage image{job.image_sectors, job.shared.hard_links + job.shared.equal_files,
                         job.shared.saved_bytes};
  return finished_build_text(image, boot_summary(job), lines);
}

std::wstring window_text(HWND window, int id) {
  HWND control = GetDlgItem(window, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Opens the file manager on the finished image: the system's own
// explorer.exe by its full path, the target in quotes so that blanks and
// commas in it stay part of the path.
void reveal_in_file_manager(const std::wstring& target) {
  wchar_t windows_folder[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(windows_folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring explorer = windows_folder;
  explorer = with_trailing_backslash(explorer) + L"explorer.exe";
  std::wstring command = reveal_command_line(explorer, target);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(explorer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

}  // namespace

bool is_existing_folder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ensure_directory_path(const std::wstring& folder_with_backslash) {
  if (is_existing_folder(folder_with_backslash)) return true;
  const std::vector<std::wstring> prefixes = directory_prefixes(folder_with_backslash);
  if (prefixes.empty()) return false;
  for (const std::wstring& folder : prefixes) {
    if (is_existing_folder(folder)) continue;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  return true;
}

void start_build_from_window(HWND window) {
  const auto source = read_or_pick(window, IDC_SOURCE, browse_source);
  if (!source) return;
  auto target = read_or_pick(window, IDC_TARGET, browse_target);
  if (!target) return;
  if (target_needs_extension(*target)) {
    *target += L".iso";
    SetDlgItemTextW(window, IDC_TARGET, target->c_str());
  }
  wchar_t full[path_buffer_chars] = {};
  const DWORD length = GetFullPathNameW(target->c_str(), path_buffer_chars, full, nullptr);
  if (length >= path_buffer_chars) {
    ui::show_message_box(window, path_too_long_text(*target), MB_OK | MB_ICONWARNING);
    return;
  }
  const std::wstring full_target(full, length);
  if (length == 0 || !has_file_name_part(full_target)) return;

  // The image replaces a file of its name only when the user agreed; one
  // that another build writes meanwhile is kept (the build then fails).
  ExistingTarget existing = ExistingTarget::keep;
  if (exists(full_target)) {
    if (ui::show_message_box(window, replace_question(full_target),
                             MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
      return;
    existing = ExistingTarget::replace;
  } else {
    const std::wstring folder = folder_part(full_target);
    if (!is_existing_folder(folder)) {
      ensure_directory_path(folder);
      if (!is_existing_folder(folder)) return;
    }
  }
  save_output_dir(*target);
  const int choice = layout_index_from(
      static_cast<int>(SendDlgItemMessageW(window, IDC_LAYOUT, CB_GETCURSEL, 0, 0)));
  write_setting_int(key_file_system, choice);
  // One listing of the source decides its layout and finds its boot files.
  const auto shared_description =
      std::make_shared<const SourceDescription>(describe_source(*source));
  const SourceDescription& description = *shared_description;
  const int32_t fs_code = decide_layout(description, static_cast<LayoutChoice>(choice)).fs_code;
  const std::wstring label = window_text(window, IDC_LABEL).substr(0, label_chars);

  set_inputs_enabled(window, false);
  MainWindowState& state = main_window_state();
  state.job.reset();
  state.busy = true;
  show_progress(window, 0);
  // A folder copied from a bootable disc stays bootable, as with kestrel-cli.
  const BootSetup boot = recognise_boot_files(*source, description);
  BuildOptions options;
  options.boot = boot;
  options.source_description = shared_description;
  options.existing_target = existing;
  options.store_equal_files_once = read_setting_int(key_store_equal_files_once, 0) != 0;
  options.name_extensions = NameExtensions{read_setting_int(key_joliet, 1) != 0,
                                           read_setting_int(key_rock_ridge, 1) != 0};
  state.job = start_build(*source, std::u16string(label.begin(), label.end()), fs_code, full_target,
                          implementation_name, application_name, true, nullptr, options);
  SetTimer(window, IDT_POLL_BUILD, POLL_BUILD_PERIOD_MS, nullptr);
}

void poll_build(HWND window) {
  MainWindowState& state = main_window_state();
  BuildJob* job = state.job.get();
  if (job == nullptr) return;
  const int32_t build_state = job->state.load();
  if (build_state == build_state_writing) {
    const uint32_t total = job->sectors_total.load();
    if (total != 0) show_progress(window, writing_percent(job->sectors_done.load(), total));
    return;
  }
  if (build_state != build_state_finished) return;

  KillTimer(window, IDT_POLL_BUILD);
  const bool succeeded = job->outcome == BuildOutcome::succeeded;
  // A failed build keeps the last percentage, so it never looks finished.
  if (succeeded) show_progress(window, 100);
  set_inputs_enabled(window, true);
  wait_for_build(*job);
  state.busy = false;
  if (!succeeded) {
    if (job->outcome != BuildOutcome::cancelled)
      ui::show_message_box(window, failure_text(*job), MB_OK | MB_ICONERROR);
    return;
  }
  // The report comes before the window closes or reveals the image: the
  // media the image fits, and the files left out or renamed, so that a build
  // that lost something never passes silently; a bootable image says for
  // which firmware.
  ui::show_message_box(window, finished_text(*job),
                       MB_OK | (job->warnings.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
  if (read_setting_int(key_close_when_done, 0) != 0) PostMessageW(window, WM_CLOSE, 0, 0);
  if (read_setting_int(key_reveal_when_done, 0) != 0) reveal_in_file_manager(job->output_path);
}

void stop_running_build() {
  MainWindowState& state = main_window_state();
  if (!state.busy || !state.job) return;
  state.job->cancel_requested.store(true);
  wait_for_build(*state.job);
  if (state.window) KillTimer(state.window, IDT_POLL_BUILD);
  state.busy = false;
}

}  // namespace kestrel::app
