// The link-control painter of dark mode. Link controls colour their text
// through NM_CUSTOMTEXT where the system implements it; this painter draws
// them itself, so the text and the links take the dark palette on every
// system that runs the program.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace kestrel::ui {

LRESULT CALLBACK link_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                           DWORD_PTR data);

}  // namespace kestrel::ui
