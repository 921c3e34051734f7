// The main window: a fixed dialog where the user gives a source folder, a
// target image, a label and a layout, starts the build and follows it.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>

#include "engine/build_job.h"

namespace kestrel::app {

// The dialog procedure of dialog resource 1.
INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The window title, "Kestrel <version> (x64) " or "(x86) ", with its
// trailing blank.
std::wstring main_window_title();
// A window property that marks the program's main window, so a second start
// forwards its command line to it and to nothing else.
inline constexpr const wchar_t* main_window_property = L"Kestrel.MainWindow";

// Process-wide state of the window.
struct MainWindowState {
  HWND window = nullptr;
  bool busy = false;  // from start_build until poll_build sees the end
  HIMAGELIST images = nullptr;
  std::unique_ptr<BuildJob> job;  // the last build; replaced by the next one
};
MainWindowState& main_window_state();

// Fills the inputs from a source folder and derives what was not given.
void set_source(HWND window, const std::wstring& source, const std::optional<std::wstring>& target,
                const std::optional<std::wstring>& label);
void set_inputs_enabled(HWND window, bool enabled);
void show_progress(HWND window, int percent);

// Reads a path edit. Refuses (with a message) a text that does not fit the
// program's path buffer instead of cutting it into another path.
std::optional<std::wstring> read_path_edit(HWND window, int id);

// Build control (build_control.cpp).
void start_build_from_window(HWND window);
void poll_build(HWND window);
// Asks a running build to stop and waits for its worker; the engine removes
// the incomplete image.
void stop_running_build();
bool ensure_directory_path(const std::wstring& folder_with_backslash);
bool is_existing_folder(const std::wstring& path);

// Pickers and dropping (pickers.cpp).
void browse_source(HWND window);
void browse_target(HWND window);
void handle_drop(HWND window, HDROP drop);

}  // namespace kestrel::app
