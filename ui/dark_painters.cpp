// Painters of single controls in dark mode: group boxes, etched lines, combo
// edit fields, list headers, rebars, tabs and progress bars.
#include "ui/dark_painters.h"

#include <commctrl.h>

#include "ui/core/theme_rules.h"
#include "ui/dark_dialog_colours.h"
#include "ui/dark_link_painter.h"
#include "ui/theme.h"

namespace kestrel::ui {

namespace {

RECT to_rect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
Rect from_rect(const RECT& r) { return Rect{r.left, r.top, r.right, r.bottom}; }

void fill(HDC dc, const Rect& area, Colour colour) {
  if (area.empty()) return;
  const RECT r = to_rect(area);
  FillRect(dc, &r, palette_brush(colour));
}

// Every handler leaves with the control: the subclass is removed on
// WM_NCDESTROY, before the default procedure sees the message.
LRESULT leave(HWND window, UINT message, WPARAM wparam, LPARAM lparam, SUBCLASSPROC self,
              UINT_PTR id) {
  RemoveWindowSubclass(window, self, id);
  return DefSubclassProc(window, message, wparam, lparam);
}

// Selects the control's font into a device context for the lifetime of the
// object.
class ControlFont {
 public:
  ControlFont(HWND control, HDC dc) : dc_(dc) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (font != nullptr) previous_ = SelectObject(dc, font);
  }
  ~ControlFont() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
  }
  ControlFont(const ControlFont&) = delete;
  ControlFont& operator=(const ControlFont&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

// ---- Group box -------------------------------------------------------------

void paint_group_box(HWND box) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(box, &paint);
  {
    ControlFont font(box, dc);
    wchar_t caption[256] = {};
    const int length = GetWindowTextW(box, caption, 256);
    RECT client;
    GetClientRect(box, &client);
    SIZE caption_size{};
    if (length > 0) {
      RECT measured{0, 0, 0, 0};
      DrawTextW(dc, caption, length, &measured, DT_CALCRECT | DT_SINGLELINE);
      caption_size = SIZE{measured.right - measured.left, measured.bottom - measured.top};
    }
    SIZE letter{};
    GetTextExtentPoint32W(dc, L"M", 1, &letter);
    const auto style = static_cast<std::uint32_t>(GetWindowLongPtrW(box, GWL_STYLE));
    const bool centred = (style & button_centre_bits) == button_centre_bits;
    const GroupBoxParts parts =
        group_box_parts(from_rect(client), caption_size.cx, caption_size.cy, letter.cy, centred);

    // The frame is the outer rectangle less its inset interior and the
    // caption's area, filled as one region.
    const Rect& f = parts.frame;
    HRGN frame = CreateRectRgn(f.left, f.top, f.right, f.bottom);
    HRGN interior = CreateRectRgn(f.left + 1, f.top + 1, f.right - 1, f.bottom - 1);
    CombineRgn(frame, frame, interior, RGN_DIFF);
    if (!parts.caption_area.empty()) {
      const Rect& a = parts.caption_area;
      HRGN area = CreateRectRgn(a.left, a.top, a.right, a.bottom);
      CombineRgn(frame, frame, area, RGN_DIFF);
      DeleteObject(area);
    }
    FillRgn(dc, frame, palette_brush(DarkPalette::border));
    DeleteObject(interior);
    DeleteObject(frame);

    if (length > 0) {
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, theme_text_colour());
      RECT text = to_rect(parts.caption_text);
      DrawTextW(dc, caption, length, &text, DT_SINGLELINE | DT_LEFT);
    }
  }
  EndPaint(box, &paint);
}

LRESULT CALLBACK group_box_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                UINT_PTR id, DWORD_PTR) {
  switch (message) {
    case WM_PAINT: paint_group_box(window); return 0;
    case WM_NCDESTROY: return leave(window, message, wparam, lparam, group_box_proc, id);
    default: return DefSubclassProc(window, message, wparam, lparam);
  }
}

// ---- Etched line -----------------------------------------------------------

LRESULT CALLBACK etched_line_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR id, DWORD_PTR) {
  switch (message) {
    case WM_NCPAINT: {
      // An upper line in the border colour over a lower one in the dialog's
      // background, across the client width.
      HDC dc = GetWindowDC(window);
      RECT client;
      GetClientRect(window, &client);
      const int width = client.right - client.left;
      fill(dc, Rect{0, 0, width, 1}, DarkPalette::border);
      fill(dc, Rect{0, 1, width, 2}, DarkPalette::background);
      ReleaseDC(window, dc);
      return 0;
    }
    case WM_NCDESTROY: return leave(window, message, wparam, lparam, etched_line_proc, id);
    default: return DefSubclassProc(window, message, wparam, lparam);
  }
}

// ---- Combo box edit field --------------------------------------------------

LRESULT CALLBACK combo_colours_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR id, DWORD_PTR) {
  switch (message) {
    case WM_CTLCOLOREDIT: {
      auto dc = reinterpret_cast<HDC>(wparam);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, theme_text_colour());
      return reinterpret_cast<LRESULT>(palette_brush(DarkPalette::control_background));
    }
    case WM_NCDESTROY: return leave(window, message, wparam, lparam, combo_colours_proc, id);
    default: return DefSubclassProc(window, message, wparam, lparam);
  }
}

// ---- List view header ------------------------------------------------------

LRESULT CALLBACK header_colours_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR id, DWORD_PTR) {
  switch (message) {
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (header->code != NM_CUSTOMDRAW || header->hwndFrom != ListView_GetHeader(window)) break;
      auto* draw = reinterpret_cast<NMCUSTOMDRAW*>(lparam);
      if (draw->dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
      if (draw->dwDrawStage == CDDS_ITEMPREPAINT) {
        SetTextColor(draw->hdc, header_text_colour(dark_mode_supported(), apps_dark_effective(),
                                                   current_system_colours()));
        return CDRF_DODEFAULT;
      }
      break;
    }
    case WM_NCDESTROY: return leave(window, message, wparam, lparam, header_colours_proc, id);
    default: break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

// ---- Rebar -----------------------------------------------------------------

LRESULT CALLBACK rebar_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                            DWORD_PTR) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      fill(reinterpret_cast<HDC>(wparam), from_rect(client), DarkPalette::control_background);
      return TRUE;
    }
    case WM_NCDESTROY: return leave(window, message, wparam, lparam, rebar_proc, id);
    default: return DefSubclassProc(window, message, wparam, lparam);
  }
}

// ---- Tab control -----------------------------------------------------------

void paint_tab(HWND tab, HDC dc, const RECT& tab_rect, int index, bool selected,
               HIMAGELIST images) {
  const TabParts parts = tab_parts(from_rect(tab_rect), selected);
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, parts.tab.left, parts.tab.top, parts.tab.right, parts.tab.bottom);
  // The selected tab keeps the strip's colour, so it reads as part of the page.
  if (!selected) fill(dc, parts.tab, DarkPalette::background);
  wchar_t text[256] = {};
  TCITEMW item{};
  item.mask = TCIF_TEXT | TCIF_IMAGE;
  item.pszText = text;
  item.cchTextMax = 256;
  item.iImage = -1;
  TabCtrl_GetItem(tab, index, &item);
  if (images != nullptr && item.iImage >= 0)
    ImageList_Draw(images, item.iImage, dc, parts.image_x, parts.image_y, ILD_TRANSPARENT);
  RECT text_rect = to_rect(parts.text);
  DrawTextW(dc, text, -1, &text_rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  RestoreDC(dc, saved);
}

void paint_tab_control(HWND tab) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(tab, &paint);
  {
    ControlFont font(tab, dc);
    fill(dc, from_rect(paint.rcPaint), DarkPalette::control_background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, theme_text_colour());
    const int count = TabCtrl_GetItemCount(tab);
    const int selected = TabCtrl_GetCurSel(tab);
    HIMAGELIST images = TabCtrl_GetImageList(tab);
    for (int i = 0; i < count; ++i) {
      RECT item;
      if (!TabCtrl_GetItemRect(tab, i, &item)) continue;
      const Rect drawn = tab_parts(from_rect(item), i == selected).tab;
      const RECT drawn_rect = to_rect(drawn);
      RECT overlap;
      if (!IntersectRect(&overlap, &drawn_rect, &paint.rcPaint)) continue;
      paint_tab(tab, dc, item, i, i == selected, images);
    }
  }
  EndPaint(tab, &paint);
}

LRESULT CALLBACK tab_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                          DWORD_PTR) {
  const auto style = static_cast<std::uint32_t>(GetWindowLongPtrW(window, GWL_STYLE));
  switch (message) {
    case WM_PAINT:
      if (!tab_painter_applies(style)) break;
      paint_tab_control(window);
      return 0;
    case WM_ERASEBKGND:
      if (!tab_painter_applies(style)) break;
      return TRUE;  // WM_PAINT covers everything
    case WM_NCDESTROY: return leave(window, message, wparam, lparam, tab_proc, id);
    default: break;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

// ---- Progress bar ----------------------------------------------------------

void paint_progress(HWND bar) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(bar, &paint);
  RECT client;
  GetClientRect(bar, &client);
  PBRANGE range{};
  SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  const int position = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
  const ProgressParts parts = progress_parts(from_rect(client), position, range.iLow, range.iHigh);
  fill(dc, parts.done, DarkPalette::progress_fill);
  fill(dc, parts.rest, DarkPalette::border);
  const RECT outer = to_rect(parts.outer);
  FrameRect(dc, &outer, palette_brush(DarkPalette::background));
  EndPaint(bar, &paint);
}

LRESULT CALLBACK progress_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                               DWORD_PTR) {
  switch (message) {
    case WM_PAINT: paint_progress(window); return 0;
    case WM_NCDESTROY: return leave(window, message, wparam, lparam, progress_proc, id);
    default: return DefSubclassProc(window, message, wparam, lparam);
  }
}

SUBCLASSPROC procedure_of(Painter painter) {
  switch (painter) {
    case Painter::dialog_colours: return dialog_colours_proc;
    case Painter::group_box: return group_box_proc;
    case Painter::etched_line: return etched_line_proc;
    case Painter::combo_colours: return combo_colours_proc;
    case Painter::header_colours: return header_colours_proc;
    case Painter::rebar: return rebar_proc;
    case Painter::tab: return tab_proc;
    case Painter::progress: return progress_proc;
    case Painter::link: return link_proc;
  }
  return nullptr;
}

}  // namespace

void set_painter(HWND window, Painter painter, bool attach) {
  SUBCLASSPROC procedure = procedure_of(painter);
  RemoveWindowSubclass(window, procedure, theme_subclass_id);
  if (attach) SetWindowSubclass(window, procedure, theme_subclass_id, 0);
}

bool has_painter(HWND window, Painter painter) {
  // GetWindowSubclass is missing from some import libraries of the common
  // controls, so it is looked up by name.
  using GetSubclass = BOOL(WINAPI*)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR*);
  static const auto get_subclass = reinterpret_cast<GetSubclass>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "GetWindowSubclass")));
  DWORD_PTR data = 0;
  return get_subclass != nullptr &&
         get_subclass(window, procedure_of(painter), theme_subclass_id, &data) != FALSE;
}

HBRUSH palette_brush(Colour colour) {
  // The program uses four brush colours; a few spare places cost nothing.
  struct Entry {
    Colour colour;
    HBRUSH brush;
  };
  static Entry brushes[8] = {};
  static int used = 0;
  // A brush handed out in a colour message can be deleted by a control that
  // takes it for its own (some link-control implementations do); a handle
  // that no longer names a brush is made again.
  for (int i = 0; i < used; ++i) {
    if (brushes[i].colour != colour) continue;
    if (GetObjectType(brushes[i].brush) != OBJ_BRUSH) brushes[i].brush = CreateSolidBrush(colour);
    return brushes[i].brush;
  }
  HBRUSH brush = CreateSolidBrush(colour);
  if (used < 8) brushes[used++] = Entry{colour, brush};
  return brush;
}

SystemColours current_system_colours() {
  SystemColours colours;
  colours.window = GetSysColor(COLOR_WINDOW);
  colours.window_text = GetSysColor(COLOR_WINDOWTEXT);
  colours.button_text = GetSysColor(COLOR_BTNTEXT);
  return colours;
}

bool is_tagged_no_theme(HWND control) {
  return control != nullptr && GetWindowLongPtrW(control, GWLP_USERDATA) == NoThemeTag;
}

}  // namespace kestrel::ui
