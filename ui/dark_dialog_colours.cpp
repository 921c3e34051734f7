#include "ui/dark_dialog_colours.h"

#include <cwchar>

#include "ui/core/theme_rules.h"
#include "ui/dark_painters.h"
#include "ui/dpi.h"
#include "ui/theme.h"

namespace kestrel::ui {

namespace {

// ---- Class of the control that sent a notification ------------------------

bool has_class(HWND window, const wchar_t* name) {
  wchar_t class_name[32] = {};
  return GetClassNameW(window, class_name, 32) != 0 && std::wcscmp(class_name, name) == 0;
}

// ---- Check-box and radio-button text ---------------------------------------

void draw_check_text(const NMCUSTOMDRAW& draw, std::uint32_t type) {
  HWND button = draw.hdr.hwndFrom;
  const int glyph =
      check_glyph_size(button, type == button_auto_radio ? glyph_part_radio : glyph_part_check).cx;
  const auto dpi = static_cast<int>(window_dpi(button));
  wchar_t text[512] = {};
  GetWindowTextW(button, text, 512);

  HDC dc = draw.hdc;
  auto font = reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
  // No word wrapping, but line breaks in the text still start new lines.
  UINT format = DT_LEFT | DT_TOP;
  if ((draw.uItemState & CDIS_SHOWKEYBOARDCUES) == 0) format |= DT_HIDEPREFIX;
  const Rect item{draw.rc.left, draw.rc.top, draw.rc.right, draw.rc.bottom};
  const Rect unshifted = check_text_rect(item, glyph, dpi, item.height());
  RECT measured{unshifted.left, unshifted.top, unshifted.right, unshifted.bottom};
  DrawTextW(dc, text, -1, &measured, format | DT_CALCRECT);
  const Rect placed = check_text_rect(item, glyph, dpi, measured.bottom - measured.top);
  RECT target{placed.left, placed.top, placed.right, placed.bottom};
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, check_text_colour(dark_mode_active(), IsWindowEnabled(button) == FALSE,
                                     current_system_colours()));
  DrawTextW(dc, text, -1, &target, format);
  if (previous != nullptr) SelectObject(dc, previous);
}

// ---- Custom draw from controls of the dialog ------------------------------

// Returns true with the answer when the notification was handled.
bool custom_draw(const NMHDR& header, LRESULT& answer) {
  if (has_class(header.hwndFrom, L"Button")) {
    const auto& draw = reinterpret_cast<const NMCUSTOMDRAW&>(header);
    const auto style = static_cast<std::uint32_t>(GetWindowLongPtrW(header.hwndFrom, GWL_STYLE));
    if (draw.dwDrawStage != CDDS_PREPAINT || !is_check_or_radio(style)) return false;
    // The glyph is drawn before this stage; skipping the default drawing
    // leaves out only the system's dark-on-dark text.
    draw_check_text(draw, style & button_type_mask);
    answer = CDRF_SKIPDEFAULT;
    return true;
  }
  if (has_class(header.hwndFrom, L"ToolbarWindow32")) {
    auto& draw = const_cast<NMTBCUSTOMDRAW&>(reinterpret_cast<const NMTBCUSTOMDRAW&>(header));
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) {
      answer = CDRF_NOTIFYITEMDRAW;
      return true;
    }
    if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
      draw.clrText = DarkPalette::text;
      draw.clrHighlightHotTrack = DarkPalette::hot_track;
      answer = TBCDRF_USECDCOLORS | TBCDRF_HILITEHOTTRACK;
      return true;
    }
    return false;
  }
  if (has_class(header.hwndFrom, L"msctls_trackbar32")) {
    const auto& draw = reinterpret_cast<const NMCUSTOMDRAW&>(header);
    if (draw.dwDrawStage == CDDS_PREPAINT || draw.dwDrawStage == CDDS_PREERASE) {
      answer = CDRF_NOTIFYITEMDRAW;
      return true;
    }
    if (draw.dwDrawStage == CDDS_ITEMPREPAINT) {
      FillRect(draw.hdc, &draw.rc, palette_brush(DarkPalette::border));
      answer = CDRF_SKIPDEFAULT;
      return true;
    }
  }
  return false;
}

LRESULT answer_colours(WPARAM wparam, ColourRequest request) {
  const ControlColours colours = dark_dialog_colours(request);
  auto dc = reinterpret_cast<HDC>(wparam);
  SetTextColor(dc, colours.text);
  SetBkColor(dc, colours.text_background);
  return reinterpret_cast<LRESULT>(palette_brush(colours.brush));
}

bool colour_request_of(UINT message, ColourRequest& request) {
  switch (message) {
    case WM_CTLCOLOREDIT: request = ColourRequest::edit; return true;
    case WM_CTLCOLORLISTBOX: request = ColourRequest::list_box; return true;
    case WM_CTLCOLORBTN: request = ColourRequest::button; return true;
    case WM_CTLCOLORDLG: request = ColourRequest::dialog; return true;
    case WM_CTLCOLORSTATIC: request = ColourRequest::static_text; return true;
    default: return false;
  }
}

}  // namespace

LRESULT CALLBACK dialog_colours_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR id, DWORD_PTR) {
  ColourRequest request{};
  if (colour_request_of(message, request)) {
    // A tagged control gets the colours its dialog procedure gives it.
    if (!is_tagged_no_theme(reinterpret_cast<HWND>(lparam))) return answer_colours(wparam, request);
    return DefSubclassProc(window, message, wparam, lparam);
  }
  if (message == WM_NOTIFY) {
    const auto& header = *reinterpret_cast<const NMHDR*>(lparam);
    if (!is_tagged_no_theme(header.hwndFrom)) {
      LRESULT answer = 0;
      if (header.code == NM_CUSTOMDRAW && custom_draw(header, answer)) return answer;
      if (header.code == NM_CUSTOMTEXT && has_class(header.hwndFrom, L"SysLink")) {
        const auto& text = reinterpret_cast<const NMCUSTOMTEXT&>(header);
        SetTextColor(text.hDC, dark_link_text_colour(text.fLink != FALSE));
        return 0;
      }
    }
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(window, dialog_colours_proc, id);
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace kestrel::ui
