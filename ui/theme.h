// Light and dark themes of the program's windows. Dark mode rests on entry
// points of the system's theme library that it exports by ordinal only; they
// are looked up at run time, and when any is missing the theme choice does not
// exist and everything stays light. On top of the system's dark app mode the
// program recolours its dialogs itself (dark_painters.h).
#pragma once

#include <windows.h>

#include "ui/core/palette.h"

namespace kestrel::ui {

// Looks up the dark-mode entry points once at start. Setting the environment
// variable KESTREL_FORCE_DARK to 1 makes dark mode available where the system
// lacks the entry points (test machines); the program's own painting then
// runs as on a supporting system and the missing system calls are skipped.
void init_dark_mode();

// Start-up of the themes, before any window exists: init_dark_mode, then,
// where dark mode is supported, the stored "Theme" (default 0) becomes the
// theme choice and sets the application's mode.
void start_theme_from_settings();

// Flags of the theme machinery (all false until init_dark_mode and
// set_app_dark have run).
bool dark_mode_supported();  // the theme choice exists (options menu)
bool dark_mode_active();     // the application is dark now
bool apps_dark_effective();  // the system ran dark apps when the mode was last set

// The stored theme choice kept in memory after start ("Theme", default 0).
ThemeChoice theme_choice();
void set_theme_choice(ThemeChoice choice);

// Switches the application's own mode and the menus; only when supported.
void set_app_dark(bool dark);

// The user's app colour setting: dark only when "AppsUseLightTheme" reads 0
// and high contrast is off.
bool system_prefers_dark();
bool is_high_contrast();

// Resolves a choice (System follows the user's setting), switches the mode
// when it changes, re-themes the window and repaints it. With store the
// choice is remembered and written to the settings.
void apply_theme_choice(HWND window, ThemeChoice choice, bool store);

// The main window's WM_SETTINGCHANGE follow-up: with the choice System, moves
// the application to the system's mode and re-themes the main window and the
// visible windows it owns (an open about box or message box).
void follow_system_theme(HWND main_window);

// Themes a dialog and its direct children: called from WM_INITDIALOG of every
// dialog of the program and again whenever the theme changes. Painters are
// attached in dark mode and removed in light mode.
void theme_window_tree(HWND window);

// Dark or light title bar, as the system allows for this window.
void set_title_bar_dark(HWND window);

// Text colour of everything the program draws itself.
COLORREF theme_text_colour();

}  // namespace kestrel::ui
