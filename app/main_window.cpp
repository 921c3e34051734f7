#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/application.h"
#include "app/core/about_text.h"
#include "app/core/build_report.h"
#include "app/core/language_table.h"
#include "app/core/shell_paths.h"
#include "app/options_menu.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "ui/dark_painters.h"
#include "ui/message_box.h"
#include "ui/theme.h"

namespace kestrel::app {

namespace {

// Controls that follow the busy state, in the order they are switched.
constexpr int input_controls[] = {IDC_SOURCE_CAPTION, IDC_SOURCE, IDC_BROWSE_SOURCE,
                                  IDC_TARGET_CAPTION, IDC_TARGET, IDC_BROWSE_TARGET,
                                  IDC_LABEL_CAPTION,  IDC_LABEL,  IDC_LAYOUT_CAPTION,
                                  IDC_LAYOUT,         IDC_START};

// Mask colour of the button strip (tools/make_images.py paints the images'
// empty pixels in it), so the images sit on the light or dark button face.
constexpr COLORREF button_image_mask = RGB(255, 0, 255);

INT_PTR answer(HWND window, LONG_PTR result) {
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

void set_window_icons(HWND window) {
  HINSTANCE instance = app_instance();
  auto load = [&](int metric_x, int metric_y) {
    return LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, GetSystemMetrics(metric_x),
                      GetSystemMetrics(metric_y), LR_DEFAULTCOLOR);
  };
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(load(SM_CXICON, SM_CYICON)));
  SendMessageW(window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(load(SM_CXSMICON, SM_CYSMICON)));
}

void fill_layout_list(HWND window) {
  HWND list = GetDlgItem(window, IDC_LAYOUT);
  for (int slot = slot_layout_first; slot < slot_layout_first + 4; ++slot) {
    const std::wstring text(language_text(slot));
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SendMessageW(list, CB_SETCURSEL,
               static_cast<WPARAM>(layout_index_from(read_setting_int(key_file_system, 3))), 0);
}

void on_init_dialog(HWND window) {
  MainWindowState& state = main_window_state();
  state.window = window;
  SetWindowTextW(window, main_window_title().c_str());
  SetPropW(window, main_window_property, reinterpret_cast<HANDLE>(1));
  DragAcceptFiles(window, TRUE);
  select_start_language();
  if (read_setting_int(key_topmost, 0) != 0)
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  set_window_icons(window);
  state.images =
      ImageList_LoadImageW(app_instance(), MAKEINTRESOURCEW(IDB_BUTTONS), BUTTON_IMAGE_SIZE, 3,
                           button_image_mask, IMAGE_BITMAP, LR_CREATEDIBSECTION);
  SendDlgItemMessageW(window, IDC_LABEL, EM_SETLIMITTEXT, label_chars, 0);
  fill_layout_list(window);
  apply_language(window);
  parse_command_line(program_arguments(), nullptr);
}

// Browse buttons: the image centred in the button, the disabled image while
// the button is disabled. The frame is drawn by the system before that.
INT_PTR on_button_custom_draw(HWND window, const NMCUSTOMDRAW& draw) {
  if (draw.dwDrawStage == CDDS_PREERASE) return answer(window, CDRF_DODEFAULT);
  if (draw.dwDrawStage != CDDS_PREPAINT) return FALSE;
  int image = draw.hdr.idFrom == IDC_BROWSE_SOURCE ? IMAGE_SOURCE : IMAGE_TARGET;
  if (draw.uItemState & CDIS_DISABLED) image += 2;
  const int x = (draw.rc.left + draw.rc.right - BUTTON_IMAGE_SIZE) / 2;
  const int y = (draw.rc.top + draw.rc.bottom - BUTTON_IMAGE_SIZE) / 2;
  ImageList_Draw(main_window_state().images, image, draw.hdc, x, y, ILD_TRANSPARENT);
  return answer(window, CDRF_SKIPDEFAULT);
}

INT_PTR on_notify(HWND window, const NMHDR& header) {
  if (header.code == NM_CUSTOMDRAW &&
      (header.idFrom == IDC_BROWSE_SOURCE || header.idFrom == IDC_BROWSE_TARGET))
    return on_button_custom_draw(window, reinterpret_cast<const NMCUSTOMDRAW&>(header));
  return FALSE;
}

INT_PTR on_draw_item(const DRAWITEMSTRUCT& item) {
  if (item.CtlID != IDC_OPTIONS) return FALSE;
  // The button sits on the dialog's own background, dark or light.
  const HBRUSH face = ui::dark_mode_active() ? ui::palette_brush(ui::DarkPalette::background)
                                             : GetSysColorBrush(COLOR_3DFACE);
  FillRect(item.hDC, &item.rcItem, face);
  ImageList_Draw(main_window_state().images, IMAGE_OPTIONS, item.hDC, item.rcItem.left,
                 item.rcItem.top, ILD_TRANSPARENT);
  return TRUE;
}

INT_PTR on_command(HWND window, int id) {
  const bool busy = main_window_state().busy;
  switch (id) {
    case IDC_CLOSE:
      stop_running_build();
      EndDialog(window, 0);
      return TRUE;
    case IDC_START:
      if (!busy) start_build_from_window(window);
      return TRUE;
    case IDC_BROWSE_SOURCE:
      if (!busy) browse_source(window);
      return TRUE;
    case IDC_BROWSE_TARGET:
      if (!busy) browse_target(window);
      return TRUE;
    case IDC_OPTIONS: show_options_menu(window); return TRUE;
    default: return FALSE;
  }
}

}  // namespace

std::wstring main_window_title() { return program_title(sizeof(void*) == 8); }

MainWindowState& main_window_state() {
  static MainWindowState state;
  return state;
}

void set_inputs_enabled(HWND window, bool enabled) {
  for (int id : input_controls) EnableWindow(GetDlgItem(window, id), enabled ? TRUE : FALSE);
}

void show_progress(HWND window, int percent) {
  wchar_t text[16] = L"";
  if (percent != 0) wsprintfW(text, L"%d%%", percent);
  SetDlgItemTextW(window, IDC_PERCENT, text);
  SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

std::optional<std::wstring> read_path_edit(HWND window, int id) {
  HWND edit = GetDlgItem(window, id);
  const int length = GetWindowTextLengthW(edit);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), length + 1)));
  if (text.size() >= path_buffer_chars) {
    ui::show_message_box(window, path_too_long_text(text), MB_OK | MB_ICONWARNING);
    return std::nullopt;
  }
  return text;
}

void set_source(HWND window, const std::wstring& source, const std::optional<std::wstring>& target,
                const std::optional<std::wstring>& label) {
  show_progress(window, 0);
  if (!source.empty() && source[0] == L':') return;
  wchar_t full[path_buffer_chars] = {};
  const DWORD length = GetFullPathNameW(source.c_str(), path_buffer_chars, full, nullptr);
  if (length == 0) return;
  if (length >= path_buffer_chars) {
    ui::show_message_box(window, path_too_long_text(source), MB_OK | MB_ICONWARNING);
    return;
  }
  const std::wstring folder = strip_trailing_backslashes(full);
  SetDlgItemTextW(window, IDC_SOURCE, folder.c_str());
  if (target) SetDlgItemTextW(window, IDC_TARGET, target->c_str());
  if (label) SetDlgItemTextW(window, IDC_LABEL, label->c_str());
  if ((!target || !label) && folder.find(L'\\') != std::wstring::npos) {
    const std::wstring name = last_component(folder);
    if (!label) SetDlgItemTextW(window, IDC_LABEL, name.substr(0, label_chars).c_str());
    if (!target) {
      // A default target that does not fit the path buffer is left empty for
      // the user to choose, rather than cut into another file name.
      std::wstring composed = load_output_dir() + name + L".iso";
      if (composed.size() >= path_buffer_chars) composed.clear();
      SetDlgItemTextW(window, IDC_TARGET, composed.c_str());
    }
  }
  HWND start = GetDlgItem(window, IDC_START);
  EnableWindow(start, TRUE);
  SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(start), TRUE);
}

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      on_init_dialog(window);
      ui::theme_window_tree(window);
      return TRUE;
    case WM_COMMAND: return on_command(window, LOWORD(wparam));
    case WM_TIMER:
      if (wparam == IDT_POLL_BUILD) poll_build(window);
      return TRUE;
    case WM_DROPFILES:
      if (!main_window_state().busy) {
        handle_drop(window, reinterpret_cast<HDROP>(wparam));
      } else {
        DragFinish(reinterpret_cast<HDROP>(wparam));
      }
      return TRUE;
    case WM_COPYDATA:
      receive_command_line(window, reinterpret_cast<const COPYDATASTRUCT*>(lparam));
      return answer(window, 0);
    case WM_NOTIFY: return on_notify(window, *reinterpret_cast<const NMHDR*>(lparam));
    case WM_DRAWITEM: return on_draw_item(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
    case WM_SETTINGCHANGE: ui::follow_system_theme(window); return FALSE;
    case WM_ENDSESSION:
      // The session ends, and the process with it once this returns: a
      // running build winds down first, so that its temporary file goes.
      if (wparam) stop_running_build();
      return answer(window, 0);
    case WM_DESTROY: RemovePropW(window, main_window_property); return FALSE;
    default: return FALSE;
  }
}

}  // namespace kestrel::app
