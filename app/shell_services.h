// The services the main window takes from the language table, the options
// menu, the themes and the program's own message box. This file is the one
// place that connects the shell to them, so the window code never depends on
// how they are provided.
#pragma once

#include <windows.h>

#include <string>

#include "engine/build_job.h"

namespace kestrel::app {

// Interface text of a language slot (English when the slot is empty).
std::wstring shell_text(int slot);

// Slots the main window uses.
inline constexpr int slot_source_caption = 0;
inline constexpr int slot_layout_first = 8;  // 8 to 11: the four layouts
inline constexpr int slot_replace_question = 26;
inline constexpr int slot_save_filter = 27;

// Asks or tells the user; returns the button pressed (IDOK, IDCANCEL, ...).
int ask_user(HWND owner, const std::wstring& text, UINT type);

// The sentence for a failed build: what went wrong and with which file.
std::wstring build_failure_text(const BuildJob& job);
// A path or text that does not fit the program's buffers.
std::wstring too_long_text(const std::wstring& what);

// Start-up of the theme machinery and the language of the window.
void start_themes();
void select_language();
void apply_window_language(HWND window);
void theme_window(HWND window);
void follow_setting_change(HWND window, WPARAM wparam, LPARAM lparam);

// The options menu behind button 12.
void open_options_menu(HWND window);

}  // namespace kestrel::app
