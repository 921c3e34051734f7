#include "gui/screen_checks.h"

#include <cmath>
#include <map>

namespace kestrel::gui_test {

COLORREF ScreenPixels::at(int screen_x, int screen_y) const {
  const int x = screen_x - area.left;
  const int y = screen_y - area.top;
  if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
  return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}

ScreenPixels grab_screen(const RECT& area) {
  ScreenPixels grabbed;
  grabbed.area = area;
  grabbed.width = area.right - area.left;
  grabbed.height = area.bottom - area.top;
  if (grabbed.width <= 0 || grabbed.height <= 0) return grabbed;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = grabbed.width;
  info.bmiHeader.biHeight = -grabbed.height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, grabbed.width, grabbed.height, screen, area.left, area.top, SRCCOPY);
  GdiFlush();
  const auto* words = static_cast<const DWORD*>(bits);
  grabbed.pixels.resize(static_cast<size_t>(grabbed.width) * static_cast<size_t>(grabbed.height));
  for (size_t i = 0; i < grabbed.pixels.size(); ++i) {
    const DWORD pixel = words[i];  // 0x00RRGGBB in a 32-bit DIB
    grabbed.pixels[i] = RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return grabbed;
}

RECT screen_rect_of(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

RECT client_rect_on_screen(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

ScreenPixels grab_client(HWND window) {
  UpdateWindow(window);
  return grab_screen(client_rect_on_screen(window));
}

namespace {

double linear(unsigned channel) {
  const double value = channel / 255.0;
  return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(COLORREF colour) {
  return 0.2126 * linear(GetRValue(colour)) + 0.7152 * linear(GetGValue(colour)) +
         0.0722 * linear(GetBValue(colour));
}

// Colours closer than this contrast to the background are its smoothed
// edges or noise, not the text itself.
constexpr double distinct_contrast = 1.5;
// A colour counts as the text's own when it covers a tenth of the text.
constexpr int text_share = 10;

}  // namespace

double contrast_ratio(COLORREF first, COLORREF second) {
  const double a = luminance(first) + 0.05;
  const double b = luminance(second) + 0.05;
  return a > b ? a / b : b / a;
}

TextColours text_colours(const ScreenPixels& screen, const RECT& area) {
  std::map<COLORREF, int> counts;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const COLORREF pixel = screen.at(x, y);
      if (pixel != CLR_INVALID) ++counts[pixel];
    }
  }
  TextColours colours;
  int best = 0;
  for (const auto& [colour, count] : counts) {
    if (count > best) {
      best = count;
      colours.background = colour;
    }
  }
  for (const auto& [colour, count] : counts) {
    if (contrast_ratio(colour, colours.background) >= distinct_contrast)
      colours.text_pixels += count;
  }
  // Of the colours that make up a fair share of the text, the one furthest
  // from the background: the cores of the strokes rather than their
  // smoothed edges, and not a stray pixel.
  double furthest = 0;
  for (const auto& [colour, count] : counts) {
    const double contrast = contrast_ratio(colour, colours.background);
    if (contrast < distinct_contrast || count * text_share < colours.text_pixels) continue;
    if (count < 2 || contrast <= furthest) continue;
    furthest = contrast;
    colours.text = colour;
  }
  return colours;
}

SIZE text_extent_in(HFONT font, const std::wstring& text, UINT flags, int width) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  RECT rect{0, 0, width, 0};
  std::wstring copy = text;
  DrawTextW(dc, copy.data(), static_cast<int>(copy.size()), &rect, flags | DT_CALCRECT);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

SIZE text_extent(HWND control, const std::wstring& text, UINT flags, int width) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  return text_extent_in(font, text, flags, width);
}

RECT client_rect(HWND control) {
  RECT rect{};
  GetClientRect(control, &rect);
  return rect;
}

std::vector<HWND> children(HWND window) {
  std::vector<HWND> found;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    found.push_back(child);
  return found;
}

std::wstring class_of(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

}  // namespace kestrel::gui_test
