#include "ui/dark_link_painter.h"

#include <string>
#include <string_view>
#include <vector>

#include "ui/dark_painters.h"
#include "ui/theme.h"

namespace kestrel::ui {

namespace {

constexpr int max_link_text = 2048;
constexpr std::wstring_view link_open = L"<a";
constexpr std::wstring_view link_close = L"</a>";

// A piece of the control's text: plain text or the text of one link.
struct TextRun {
  std::wstring text;
  bool link = false;
};

// Splits the control's markup into runs; the attributes of "<a ...>" are
// skipped, an unclosed link runs to the end.
std::vector<TextRun> text_runs(std::wstring_view markup) {
  std::vector<TextRun> runs;
  size_t at = 0;
  while (at < markup.size()) {
    const size_t open = markup.find(link_open, at);
    if (open == std::wstring_view::npos) {
      runs.push_back({std::wstring(markup.substr(at)), false});
      break;
    }
    if (open > at) runs.push_back({std::wstring(markup.substr(at, open - at)), false});
    const size_t text_start = markup.find(L'>', open);
    if (text_start == std::wstring_view::npos) break;
    const size_t close = markup.find(link_close, text_start);
    const size_t text_end = close == std::wstring_view::npos ? markup.size() : close;
    runs.push_back({std::wstring(markup.substr(text_start + 1, text_end - text_start - 1)), true});
    at = close == std::wstring_view::npos ? markup.size() : close + link_close.size();
  }
  return runs;
}

HFONT underlined(HFONT font) {
  LOGFONTW description{};
  if (font == nullptr || GetObjectW(font, sizeof(description), &description) == 0) return nullptr;
  description.lfUnderline = TRUE;
  return CreateFontIndirectW(&description);
}

// Plain text wraps within the control like the control's own text; text
// with links is laid out run after run on one line, links underlined in the
// palette's link colour, with the focus rectangle around them while the
// control has the keyboard focus.
void paint_link_control(HWND control) {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(control, &paint);
  RECT client;
  GetClientRect(control, &client);
  // The dialog answers the background it paints behind its static texts.
  auto background = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(control), WM_CTLCOLORSTATIC,
                                                          reinterpret_cast<WPARAM>(dc),
                                                          reinterpret_cast<LPARAM>(control)));
  if (background == nullptr) background = palette_brush(DarkPalette::background);
  FillRect(dc, &client, background);

  wchar_t markup[max_link_text] = {};
  GetWindowTextW(control, markup, max_link_text);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  const HFONT link_font = underlined(font);
  const HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  const std::vector<TextRun> runs = text_runs(markup);
  if (runs.size() == 1 && !runs.front().link) {
    SetTextColor(dc, theme_text_colour());
    std::wstring text = runs.front().text;
    DrawTextW(dc, text.data(), static_cast<int>(text.size()), &client,
              DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
  } else {
    RECT place = client;
    for (const TextRun& run : runs) {
      std::wstring text = run.text;
      SelectObject(dc, run.link && link_font != nullptr ? link_font : font);
      SetTextColor(dc, run.link ? DarkPalette::link_text : theme_text_colour());
      RECT measured = place;
      DrawTextW(dc, text.data(), static_cast<int>(text.size()), &measured,
                DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
      DrawTextW(dc, text.data(), static_cast<int>(text.size()), &place,
                DT_SINGLELINE | DT_NOPREFIX);
      if (run.link && GetFocus() == control) DrawFocusRect(dc, &measured);
      place.left = measured.right;
    }
  }
  if (previous != nullptr) SelectObject(dc, previous);
  if (link_font != nullptr) DeleteObject(link_font);
  EndPaint(control, &paint);
}

}  // namespace

LRESULT CALLBACK link_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                           DWORD_PTR) {
  switch (message) {
    case WM_PAINT:
      if (is_tagged_no_theme(window)) break;
      paint_link_control(window);
      return 0;
    case WM_ERASEBKGND:
      if (is_tagged_no_theme(window)) break;
      return TRUE;  // WM_PAINT covers everything
    case WM_SETFOCUS:
    case WM_KILLFOCUS: InvalidateRect(window, nullptr, TRUE); break;
    case WM_NCDESTROY: RemoveWindowSubclass(window, link_proc, id); break;
    default: break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace kestrel::ui
