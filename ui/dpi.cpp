#include "ui/dpi.h"

#include <uxtheme.h>
#include <vssym32.h>

#include <mutex>

namespace kestrel::ui {

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// The DPI entry points of user32, looked up once. "SystemParametersInfoForDpi"
// and "GetSystemMetricsForDpi" are looked up with them for completeness of
// the set the painters may use; only the window query is called here.
struct DpiApi {
  FARPROC system_parameters_for_dpi = nullptr;
  FARPROC system_metrics_for_dpi = nullptr;
  GetDpiForWindowFunction dpi_for_window = nullptr;
};

template <typename Function>
Function user32_entry(const char* name) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

const DpiApi& dpi_api() {
  static std::once_flag once;
  static DpiApi api;
  std::call_once(once, [] {
    api.system_parameters_for_dpi = user32_entry<FARPROC>("SystemParametersInfoForDpi");
    api.system_metrics_for_dpi = user32_entry<FARPROC>("GetSystemMetricsForDpi");
    api.dpi_for_window = user32_entry<GetDpiForWindowFunction>("GetDpiForWindow");
  });
  return api;
}

constexpr UINT standard_dpi = 96;
constexpr int unthemed_glyph_pixels = 13;  // a check glyph at 96 DPI
constexpr int glyph_state_normal = 1;      // CBS_UNCHECKEDNORMAL / RBS_UNCHECKEDNORMAL
constexpr int max_caption_chars = 31;
// The system's button captions are strings 800 (OK) to 810 (Continue) of
// user32: 799 + the button's identifier.
constexpr int button_string_base = 799;
constexpr int strings_per_block = 16;  // one RT_STRING resource holds 16 strings

// Finds string `id` of `module` in one language only (LoadStringW would
// take the thread's language instead).
std::wstring string_in_language(HMODULE module, int id, LANGID language) {
  const HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(6 /* RT_STRING */),
                                      MAKEINTRESOURCEW(id / strings_per_block + 1), language);
  if (found == nullptr) return {};
  const HGLOBAL loaded = LoadResource(module, found);
  const DWORD size = SizeofResource(module, found);
  const auto* words = static_cast<const WCHAR*>(LockResource(loaded));
  if (words == nullptr) return {};
  // The block is 16 counted strings; walk them within the resource's size.
  const size_t total = size / sizeof(WCHAR);
  size_t at = 0;
  for (int index = 0; index < id % strings_per_block; ++index) {
    if (at >= total) return {};
    const size_t length = words[at];
    if (length > total - at - 1) return {};
    at += 1 + length;
  }
  if (at >= total) return {};
  const size_t length = words[at];
  if (length > total - at - 1) return {};
  return std::wstring(words + at + 1, length);
}

const wchar_t* english_caption(int identifier) {
  switch (identifier) {
    case IDOK: return L"OK";
    case IDCANCEL: return L"Cancel";
    case IDABORT: return L"&Abort";
    case IDRETRY: return L"&Retry";
    case IDIGNORE: return L"&Ignore";
    case IDYES: return L"&Yes";
    case IDNO: return L"&No";
    case 10: return L"&Try Again";  // IDTRYAGAIN
    case 11: return L"&Continue";   // IDCONTINUE
    default: return L"";
  }
}

}  // namespace

UINT window_dpi(HWND window) {
  if (window == nullptr) window = GetDesktopWindow();
  if (dpi_api().dpi_for_window != nullptr) return dpi_api().dpi_for_window(window);
  const HDC dc = GetDC(window);
  if (dc == nullptr) return standard_dpi;
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(window, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : standard_dpi;
}

SIZE check_glyph_size(HWND window, int part) {
  if (IsAppThemed()) {
    const HTHEME theme = OpenThemeData(window, L"BUTTON");
    if (theme != nullptr) {
      SIZE size{};
      const HDC screen = GetDC(nullptr);
      const HRESULT result =
          GetThemePartSize(theme, screen, part, glyph_state_normal, nullptr, TS_DRAW, &size);
      if (screen != nullptr) ReleaseDC(nullptr, screen);
      CloseThemeData(theme);
      if (SUCCEEDED(result)) return size;
    }
  }
  const int pixels =
      MulDiv(unthemed_glyph_pixels, static_cast<int>(window_dpi(window)), standard_dpi);
  return SIZE{pixels, pixels};
}

HFONT message_font() {
  NONCLIENTMETRICSW metrics{};
  // The structure grew by iPaddedBorderWidth in version 6 of the system;
  // older systems refuse the longer size, so the shorter one is tried next.
  metrics.cbSize = sizeof(NONCLIENTMETRICSW);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, iPaddedBorderWidth);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0))
      return nullptr;
  }
  // The program is system-DPI aware, so the system already hands the font
  // out at the system DPI: it is the very font the box's template asks for
  // (point size 0x7FFF), and text measured in it has the box's own pixels.
  // Scaling it again would measure every text 1.5 times too large at 144 DPI.
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

std::wstring button_text(int identifier, LANGID language) {
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  std::wstring caption;
  if (user32 != nullptr) {
    const int id = button_string_base + identifier;
    caption = string_in_language(user32, id, language);
    if (caption.empty())
      caption = string_in_language(user32, id, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (caption.empty()) {
      wchar_t buffer[max_caption_chars + 1] = {};
      if (LoadStringW(user32, static_cast<UINT>(id), buffer, max_caption_chars + 1) > 0)
        caption = buffer;
    }
  }
  if (caption.empty()) caption = english_caption(identifier);
  if (caption.size() > max_caption_chars) caption.resize(max_caption_chars);
  return caption;
}

}  // namespace kestrel::ui
