// The options menu behind the small button at the bottom left of the main
// window (language, theme, shell integration, behaviour switches, web pages,
// command-line help, about), and the language of the main window.
#pragma once

#include <windows.h>

#include <string_view>

namespace kestrel::app {

// Chooses the row of the language table when the main window opens, from
// "LangId" or, when that is 0, the user's language.
void select_start_language();

// Sets the captions, the Start button and the cue banners of the main
// window in the current language. The layout list, the title and open menus
// keep their texts.
void apply_language(HWND main_window);

// Builds the menu anew, shows it where the button was pressed and carries
// out the chosen command.
void show_options_menu(HWND main_window);

// Carries out one command of the options menu (the menu's item identifiers
// from resource_ids.h) with the switches read now, as if it had been chosen
// from a freshly opened menu. Other values do nothing.
void carry_out_options_command(HWND main_window, UINT command);

// Opens a web address (8-bit text in the system's code page) in the default
// browser; an empty address opens the documentation page beside the
// program. Failures are not reported.
void open_web_page(std::string_view address);

}  // namespace kestrel::app
