// DPI helpers of the painting code and the message box. The program is
// system-DPI aware (its manifest says so); the per-window DPI query exists
// only on newer systems and is looked up at run time.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel::ui {

// The DPI of a window (the desktop window for none): GetDpiForWindow where
// the system has it, else LOGPIXELSX of the window's device context, else 96.
UINT window_dpi(HWND window);

// Check-box and radio-button glyph parts of the "BUTTON" theme class.
inline constexpr int glyph_part_radio = 2;  // BP_RADIOBUTTON
inline constexpr int glyph_part_check = 3;  // BP_CHECKBOX

// Pixel size of a check-box or radio-button glyph: the theme's part size
// when the application is themed, else 13 pixels at 96 DPI scaled to the
// window's DPI.
SIZE check_glyph_size(HWND window, int part);

// The system's message font as the system hands it to this system-DPI-aware
// program (already at the system DPI). The caller deletes it; nullptr when
// it cannot be made.
HFONT message_font();

// A standard button caption (IDOK 1 .. IDCONTINUE 11) from the system's own
// string table in the given language, or the neutral one; at most 31
// characters. English when the system has none, so no button is blank.
std::wstring button_text(int identifier, LANGID language);

}  // namespace kestrel::ui
