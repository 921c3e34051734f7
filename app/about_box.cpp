#include "app/about_box.h"

#include <commctrl.h>

#include <string>

#include "app/application.h"
#include "app/core/about_text.h"
#include "app/core/language_table.h"
#include "app/options_menu.h"
#include "app/resource_ids.h"
#include "ui/theme.h"

namespace kestrel::app {

namespace {

constexpr LONG bold_weight = 700;  // FW_BOLD
// The icon's cell in dialog units; the icon is centred in it.
constexpr RECT icon_cell = {9, 6, 9 + 21, 6 + 20};

// The bold font of the version line, made from the dialog's own font and
// deleted when the box ends.
HFONT bold_font = nullptr;

void make_bold_version_line(HWND box) {
  const auto dialog_font = reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0));
  LOGFONTW font{};
  if (dialog_font == nullptr || GetObjectW(dialog_font, sizeof(font), &font) == 0) return;
  font.lfWeight = bold_weight;
  bold_font = CreateFontIndirectW(&font);
  if (bold_font != nullptr)
    SendDlgItemMessageW(box, IDC_ABOUT_VERSION, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font),
                        FALSE);
}

void on_init(HWND box) {
  make_bold_version_line(box);
  const std::wstring version = program_title(sizeof(void*) == 8) + release_date;
  SetDlgItemTextW(box, IDC_ABOUT_VERSION, version.c_str());
  SetDlgItemTextW(box, IDC_ABOUT_RIGHTS, rights_notice);
  SetDlgItemTextW(box, IDC_ABOUT_HOME_LINK, home_page_link_text(home_page).c_str());
  const std::wstring text(about_box_text(language_text(slot_about_text)));
  SetDlgItemTextW(box, IDC_ABOUT_TEXT, text.c_str());
  SetWindowTextW(box, about_box_title(language_text(slot_menu_about)).c_str());
  // The icon at the system's default icon size (the template's would be
  // stretched to the control).
  const auto icon = static_cast<HICON>(LoadImageW(app_instance(), MAKEINTRESOURCEW(IDI_APP),
                                                  IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  if (icon != nullptr)
    SendDlgItemMessageW(box, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  // A centred icon control keeps its own size, and resource compilers leave
  // the size of an ICON statement out (0 x 0), so the cell is set here.
  RECT cell = icon_cell;
  MapDialogRect(box, &cell);
  SetWindowPos(GetDlgItem(box, IDC_ABOUT_ICON), nullptr, cell.left, cell.top,
               cell.right - cell.left, cell.bottom - cell.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ui::theme_window_tree(box);
}

void delete_bold_font() {
  if (bold_font != nullptr) DeleteObject(bold_font);
  bold_font = nullptr;
}

}  // namespace

INT_PTR CALLBACK about_box_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: on_init(box); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(box, 0);
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      // The home-page link opens the product page, not the address it shows.
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom == IDC_ABOUT_HOME_LINK &&
          (header->code == NM_CLICK || header->code == NM_RETURN)) {
        open_web_page(product_page);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DESTROY:
      // The version line keeps the font until the box is gone.
      delete_bold_font();
      return FALSE;
    default: return FALSE;
  }
}

void show_about_box(HWND owner) {
  DialogBoxParamW(app_instance(), MAKEINTRESOURCEW(IDD_ABOUT), owner, about_box_proc, 0);
}

}  // namespace kestrel::app
