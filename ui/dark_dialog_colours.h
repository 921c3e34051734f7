// The dialog-level colour handler of dark mode: the colours a dialog answers
// for its controls, and the custom drawing of check boxes, radio buttons,
// toolbars, track bars and link controls inside it.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace kestrel::ui {

LRESULT CALLBACK dialog_colours_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR id, DWORD_PTR data);

}  // namespace kestrel::ui
