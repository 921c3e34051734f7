// What the GUI tests read back from the screen and from the controls: pixels
// of a window as painted, the colours of a text and its background and their
// contrast, and the extent of a control's text in the control's own font.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestrel::gui_test {

// A copy of the screen's pixels inside a rectangle (screen coordinates).
struct ScreenPixels {
  RECT area{};
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;  // row by row from the top
  COLORREF at(int screen_x, int screen_y) const;
};
ScreenPixels grab_screen(const RECT& area);
// The window's client area as painted, after the window has painted.
ScreenPixels grab_client(HWND window);
RECT screen_rect_of(HWND window);
RECT client_rect_on_screen(HWND window);

// Contrast ratio of two colours as the accessibility guidelines define it:
// (lighter luminance + 0.05) / (darker luminance + 0.05), 1 to 21.
double contrast_ratio(COLORREF first, COLORREF second);

// The colours of the text inside a rectangle: the background is the most
// frequent colour; the text colour, of the colours that stand apart from it
// and cover a tenth of the text, the one furthest from it (the cores of the
// strokes, not their smoothed edges).
struct TextColours {
  COLORREF background = CLR_INVALID;
  COLORREF text = CLR_INVALID;
  int text_pixels = 0;
};
TextColours text_colours(const ScreenPixels& screen, const RECT& area);

// Pixel size of a text drawn in the control's font (DrawText with
// DT_CALCRECT and the given flags; `width` limits word-wrapped text).
SIZE text_extent(HWND control, const std::wstring& text, UINT flags, int width = 0);
// The same in a given font.
SIZE text_extent_in(HFONT font, const std::wstring& text, UINT flags, int width = 0);
RECT client_rect(HWND control);

// Every direct child of a window, in z-order.
std::vector<HWND> children(HWND window);
std::wstring class_of(HWND window);

}  // namespace kestrel::gui_test
