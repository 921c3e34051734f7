#include "ui/message_box.h"

#include <commctrl.h>

#include "ui/core/message_box_layout.h"
#include "ui/core/message_box_template.h"
#include "ui/dark_painters.h"
#include "ui/dpi.h"
#include "ui/theme.h"

namespace kestrel::ui {

namespace {

constexpr const wchar_t* message_box_title = L"Kestrel";
constexpr UINT_PTR timeout_timer = 1;
// The 52 letters whose mean width stands for a proportional font's
// character width.
constexpr const wchar_t* width_sample = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int width_sample_pairs = 26;
constexpr UINT measure_flags =
    DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_EDITCONTROL;

// Everything the dialog procedure needs, kept as the box's window data.
struct BoxState {
  MessageBoxLayout layout;
  MessageBoxParams* params = nullptr;
  UINT type = 0;
  HICON caller_icon = nullptr;
  int close = 0;
  bool plain_ok = false;
  UINT_PTR timer = 0;
};

BoxState* state_of(HWND box) {
  return reinterpret_cast<BoxState*>(GetWindowLongPtrW(box, DWLP_USER));
}

int ask_callback(BoxState& state, HWND box, int event, WPARAM wparam, LPARAM lparam) {
  if (state.params == nullptr || state.params->callback == nullptr) return 0;
  return state.params->callback(box, event, wparam, lparam, state.params->user_data);
}

// The average character width and height of the font selected into `dc`.
void font_metrics(HDC dc, int& average_width, int& height) {
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  average_width = metrics.tmAveCharWidth;
  height = metrics.tmHeight;
  // TMPF_FIXED_PITCH set means a proportional font: tmAveCharWidth is too
  // small for ordinary text there, so the letters are measured instead.
  if ((metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) != 0) {
    SIZE size{};
    if (GetTextExtentPoint32W(dc, width_sample, 2 * width_sample_pairs, &size)) {
      average_width = (size.cx / width_sample_pairs + 1) / 2;
    }
  }
}

MessageBoxMeasure screen_measure(HDC dc) {
  MessageBoxMeasure measure;
  measure.line_width = [dc](std::wstring_view text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  measure.wrapped_size = [dc](std::wstring_view text, int width, int height) {
    std::wstring copy(text);
    RECT rect{0, 0, width, height};
    DrawTextExW(dc, copy.data(), static_cast<int>(copy.size()), &rect, measure_flags, nullptr);
    return PixelSize{static_cast<int>(rect.right - rect.left),
                     static_cast<int>(rect.bottom - rect.top)};
  };
  return measure;
}

MessageBoxMetrics system_metrics(HWND owner, int average_width, int height) {
  MessageBoxMetrics metrics;
  metrics.average_char_width = average_width;
  metrics.char_height = height;
  metrics.frame_width = GetSystemMetrics(SM_CXDLGFRAME);
  metrics.frame_height = GetSystemMetrics(SM_CYDLGFRAME);
  metrics.caption_height = GetSystemMetrics(SM_CYCAPTION);
  metrics.icon_height = GetSystemMetrics(SM_CYICON);
  metrics.caption_button_width = GetSystemMetrics(SM_CXSIZE);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
    metrics.work_area = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right,
                         monitor.rcWork.bottom};
  } else {
    metrics.work_area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return metrics;
}

void on_init(HWND box, BoxState& state) {
  SetWindowLongPtrW(box, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
  theme_window_tree(box);
  // The icon, the text and the link keep the colours this procedure picks.
  // The plain text's identifier is the template's 16-bit 0xFFFF, which the
  // system may keep as 65535 rather than -1, so it is matched on its low word.
  for (HWND control = GetWindow(box, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(control);
    if (id == id_icon || id == id_link_text || (id & 0xFFFF) == (id_plain_text & 0xFFFF))
      SetWindowLongPtrW(control, GWLP_USERDATA, NoThemeTag);
  }
  if ((state.type & mb_topmost) != 0)
    SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  if (state.caller_icon != nullptr) {
    SendDlgItemMessageW(box, id_icon, STM_SETICON, reinterpret_cast<WPARAM>(state.caller_icon), 0);
  }
  const MessageBoxLayout& layout = state.layout;
  HWND default_button = nullptr;
  if (layout.buttons.count > 0) {
    default_button =
        GetDlgItem(box, layout.buttons.ids[static_cast<size_t>(layout.default_button)]);
  }
  if (state.close == 0) DeleteMenu(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
  if (state.plain_ok) {
    // The lone OK answers to Escape and the close box as well.
    const HWND ok = GetDlgItem(box, id_ok);
    if (ok != nullptr) SetWindowLongPtrW(ok, GWLP_ID, id_cancel);
  }
  if (default_button != nullptr) {
    SendMessageW(box, DM_SETDEFID, static_cast<WPARAM>(GetDlgCtrlID(default_button)), 0);
    SetFocus(default_button);
  }
  if (layout.timeout > 0)
    state.timer = SetTimer(box, timeout_timer, static_cast<UINT>(layout.timeout), nullptr);
  ask_callback(state, box, message_box_opened, 0, 0);
  if (layout.has_check_box && state.params != nullptr && state.params->check_state) {
    CheckDlgButton(box, id_check_box, BST_CHECKED);
  }
}

void on_command(HWND box, BoxState& state, int id) {
  const bool exists = GetDlgItem(box, id) != nullptr;
  const bool checked = IsDlgButtonChecked(box, id_check_box) == BST_CHECKED;
  switch (command_action(id, exists)) {
    case CommandAction::ignore: return;
    case CommandAction::check_toggled:
      ask_callback(state, box, message_box_check, checked ? 1 : 0, 0);
      return;
    case CommandAction::end_box:
      if (state.params != nullptr && state.layout.has_check_box)
        state.params->check_state = checked;
      if (ask_callback(state, box, message_box_button, static_cast<WPARAM>(id), 0) == 0)
        EndDialog(box, id);
      return;
  }
}

void on_paint(HWND box, const BoxState& state) {
  PAINTSTRUCT paint{};
  const HDC dc = BeginPaint(box, &paint);
  if (dc == nullptr) return;
  // The band is mapped from dialog units by the box itself, so it meets the
  // button row in the box's own pixels whatever font and DPI the layout was
  // measured with.
  RECT client{};
  GetClientRect(box, &client);
  RECT band{0, 0, 0, band_height_units(state.layout)};
  MapDialogRect(box, &band);
  band.left = 0;
  band.right = client.right;
  const HBRUSH brush = dark_mode_active() ? palette_brush(DarkPalette::control_background)
                                          : GetSysColorBrush(COLOR_WINDOW);
  FillRect(dc, &band, brush);
  EndPaint(box, &paint);
}

INT_PTR on_static_colour(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  if (dark_mode_active()) {
    SetTextColor(dc, DarkPalette::text);
    return reinterpret_cast<INT_PTR>(palette_brush(DarkPalette::control_background));
  }
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
}

}  // namespace

INT_PTR CALLBACK message_box_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    on_init(box, *reinterpret_cast<BoxState*>(lparam));
    return FALSE;  // the focus is set already
  }
  BoxState* state = state_of(box);
  if (state == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND: on_command(box, *state, LOWORD(wparam)); return TRUE;
    case WM_TIMER:
      if (wparam != timeout_timer) return FALSE;
      if (ask_callback(*state, box, message_box_timeout, 0, 0) == 0)
        EndDialog(box, message_box_timed_out);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom == static_cast<UINT_PTR>(id_link_text) &&
          (header->code == NM_CLICK || header->code == NM_RETURN)) {
        ask_callback(*state, box, message_box_link, 0, lparam);
        return TRUE;
      }
      return FALSE;
    }
    case WM_PAINT: on_paint(box, *state); return TRUE;
    case WM_CTLCOLORSTATIC: return on_static_colour(reinterpret_cast<HDC>(wparam));
    case WM_NCDESTROY:
      if (state->timer != 0) KillTimer(box, state->timer);
      state->timer = 0;
      return FALSE;
    default: return FALSE;
  }
}

INT_PTR show_message_box(HWND owner, const std::wstring& text, UINT type,
                         MessageBoxParams* params) {
  MessageBoxParams none;
  MessageBoxParams& extras = params != nullptr ? *params : none;
  BoxState state;
  state.params = &extras;

  // 1. Buttons and their captions.
  const ButtonSet buttons = message_box_buttons(type);
  MessageBoxContent content;
  for (int i = 0; i < buttons.count; ++i) {
    const auto index = static_cast<size_t>(i);
    const wchar_t* given = extras.captions[index];
    content.captions[index] =
        given != nullptr ? std::wstring(given) : button_text(buttons.ids[index], extras.language);
  }

  // 3. The caller's icon replaces the type's.
  if (extras.icon_name != nullptr) {
    state.caller_icon = static_cast<HICON>(LoadImageW(
        extras.icon_module, extras.icon_name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    type = (type & ~static_cast<UINT>(mb_icon_mask)) | mb_user_icon;
  }
  state.type = type;

  // 5. Close rule.
  state.close = close_value(buttons, extras.close_allowed);
  state.plain_ok = is_plain_ok(buttons, extras.close_allowed);

  // 2., 6., 7. Measure with the message font and lay the box out.
  content.type = type;
  content.text = text;
  content.title = message_box_title;
  if (extras.check_text != nullptr) content.check_text = std::wstring_view(extras.check_text);
  content.min_button_width = extras.min_button_width;
  content.size_buttons_to_text = extras.size_buttons_to_text;
  content.timeout_ms = static_cast<int>(extras.timeout_ms);
  const HFONT font = message_font();
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ old_font = font != nullptr ? SelectObject(dc, font) : nullptr;
  int average_width = 0;
  int height = 0;
  font_metrics(dc, average_width, height);
  state.layout =
      layout_message_box(content, system_metrics(owner, average_width, height), screen_measure(dc));
  if (old_font != nullptr) SelectObject(dc, old_font);
  ReleaseDC(nullptr, dc);
  if (font != nullptr) DeleteObject(font);

  if (state.layout.has_link) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
  }

  // 8. Template and modal run; the system icons are ordinals of user32.
  MessageBoxTemplateTexts texts;
  texts.title = message_box_title;
  texts.text = text;
  for (size_t i = 0; i < max_buttons; ++i) texts.captions[i] = content.captions[i];
  if (extras.check_text != nullptr) texts.check_text = extras.check_text;
  const std::vector<std::uint8_t> block = build_message_box_template(state.layout, type, texts);
  const INT_PTR result = DialogBoxIndirectParamW(
      GetModuleHandleW(L"user32.dll"), reinterpret_cast<LPCDLGTEMPLATEW>(block.data()), owner,
      message_box_proc, reinterpret_cast<LPARAM>(&state));
  // 9. The lone OK answers 1 however it was closed.
  return message_box_result(state.plain_ok, result);
}

}  // namespace kestrel::ui
