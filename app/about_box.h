// The about box (dialog resource 2): version line, rights notice, a link to
// the maker's home page and the about text of the current language.
#pragma once

#include <windows.h>

namespace kestrel::app {

// Shows the box modally, owned by the main window.
void show_about_box(HWND owner);

INT_PTR CALLBACK about_box_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace kestrel::app
