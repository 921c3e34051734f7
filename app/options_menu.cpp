#include "app/options_menu.h"

#include <commctrl.h>
#include <shellapi.h>

#include <iterator>
#include <string>

#include "app/about_box.h"
#include "app/core/about_text.h"
#include "app/core/gui_command_line.h"
#include "app/core/language_table.h"
#include "app/resource_ids.h"
#include "app/settings.h"
#include "ui/message_box.h"
#include "ui/theme.h"

namespace kestrel::app {

namespace {

constexpr int web_address_chars = 260;

// The switches of the menu and the setting behind each, with its default.
struct SwitchItem {
  int slot;
  UINT command;
  const wchar_t* key;
  int default_value;
};
constexpr SwitchItem switch_items[] = {
    {slot_menu_multiple_instances, IDM_MULTIPLE_INSTANCES, key_multiple_instances, 1},
    {slot_menu_reveal_when_done, IDM_REVEAL_WHEN_DONE, key_reveal_when_done, 0},
    {slot_menu_close_when_done, IDM_CLOSE_WHEN_DONE, key_close_when_done, 0},
};

// The values the menu showed; commands 3 to 5 write their opposites.
struct MenuReadings {
  int switches[std::size(switch_items)] = {};
};

std::wstring slot_text(int slot) { return std::wstring(language_text(slot)); }

void append_item(HMENU menu, UINT command, const std::wstring& text, bool checked) {
  AppendMenuW(menu, MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED), command, text.c_str());
}

// A sub-menu whose parent item carries the never-acted-on command 14.
void append_sub_menu(HMENU menu, HMENU sub_menu, const std::wstring& text) {
  MENUITEMINFOW item{};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
  item.wID = IDM_SUBMENU;
  item.hSubMenu = sub_menu;
  item.dwTypeData = const_cast<wchar_t*>(text.c_str());
  InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &item);
}

HMENU build_language_menu() {
  const HMENU menu = CreatePopupMenu();
  for (int row = 0; row < language_count; ++row) {
    append_item(menu, static_cast<UINT>(IDM_LANGUAGE_FIRST + row),
                std::wstring(language_row(row).display_name), false);
  }
  CheckMenuRadioItem(menu, IDM_LANGUAGE_FIRST, IDM_LANGUAGE_LAST,
                     static_cast<UINT>(IDM_LANGUAGE_FIRST + current_language()), MF_BYCOMMAND);
  return menu;
}

HMENU build_theme_menu() {
  const HMENU menu = CreatePopupMenu();
  append_item(menu, IDM_THEME_LIGHT, slot_text(slot_theme_light), false);
  append_item(menu, IDM_THEME_DARK, slot_text(slot_theme_dark), false);
  append_item(menu, IDM_THEME_SYSTEM, slot_text(slot_theme_system), false);
  // A stored value outside 0 to 2 marks nothing.
  const int stored = read_setting_int(key_theme, 0);
  if (stored >= 0 && stored <= 2) {
    CheckMenuRadioItem(menu, IDM_THEME_LIGHT, IDM_THEME_SYSTEM,
                       static_cast<UINT>(IDM_THEME_LIGHT + stored), MF_BYCOMMAND);
  }
  return menu;
}

// Screen coordinates packed by GetMessagePos, signed on multi-monitor desktops.
int screen_x(DWORD position) { return static_cast<short>(LOWORD(position)); }
int screen_y(DWORD position) { return static_cast<short>(HIWORD(position)); }

bool is_topmost(HWND window) {
  return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

HMENU build_options_menu(HWND main_window, MenuReadings& readings) {
  const HMENU menu = CreatePopupMenu();
  append_sub_menu(menu, build_language_menu(), slot_text(slot_menu_language));
  if (ui::dark_mode_supported())
    append_sub_menu(menu, build_theme_menu(), slot_text(slot_menu_theme));
  append_item(menu, IDM_SHELL_VERB, slot_text(slot_menu_shell_verb), is_shell_verb_registered());
  for (size_t i = 0; i < std::size(switch_items); ++i) {
    const SwitchItem& item = switch_items[i];
    readings.switches[i] = read_setting_int(item.key, item.default_value);
    append_item(menu, item.command, slot_text(item.slot), readings.switches[i] != 0);
  }
  append_item(menu, IDM_TOPMOST, slot_text(slot_menu_topmost), is_topmost(main_window));
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  append_item(menu, IDM_TRANSLATION_PAGE, slot_text(slot_menu_translation_page), false);
  append_item(menu, IDM_ISSUES_PAGE, slot_text(slot_menu_issues_page), false);
  append_item(menu, IDM_COMMAND_LINE_HELP, slot_text(slot_menu_command_line), false);
  append_item(menu, IDM_ABOUT, slot_text(slot_menu_about), false);
  return menu;
}

void toggle_topmost(HWND window) {
  const bool make_topmost = !is_topmost(window);
  SetWindowPos(window, make_topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  write_setting_int(key_topmost, make_topmost ? 1 : 0);
}

void choose_language(HWND main_window, int row) {
  set_current_language(row);
  write_setting_int(key_language, language_row(row).langid);
  apply_language(main_window);
}

void carry_out(HWND main_window, UINT command, const MenuReadings& readings) {
  switch (command) {
    case IDM_ABOUT: show_about_box(main_window); return;
    case IDM_SHELL_VERB: set_shell_verb(!is_shell_verb_registered()); return;
    case IDM_MULTIPLE_INSTANCES:
    case IDM_REVEAL_WHEN_DONE:
    case IDM_CLOSE_WHEN_DONE:
      for (size_t i = 0; i < std::size(switch_items); ++i) {
        if (switch_items[i].command == command)
          write_setting_int(switch_items[i].key, 1 - readings.switches[i]);
      }
      return;
    case IDM_TOPMOST: toggle_topmost(main_window); return;
    case IDM_TRANSLATION_PAGE: open_web_page(project_page); return;
    case IDM_ISSUES_PAGE: open_web_page(issues_page); return;
    case IDM_COMMAND_LINE_HELP: ui::show_message_box(main_window, usage_text, MB_OK); return;
    case IDM_THEME_LIGHT:
    case IDM_THEME_DARK:
    case IDM_THEME_SYSTEM:
      ui::apply_theme_choice(main_window, static_cast<ui::ThemeChoice>(command - IDM_THEME_LIGHT),
                             true);
      return;
    default:
      if (command >= IDM_LANGUAGE_FIRST && command <= IDM_LANGUAGE_LAST) {
        choose_language(main_window, static_cast<int>(command) - IDM_LANGUAGE_FIRST);
      }
      return;  // the menu was dismissed
  }
}

}  // namespace

void select_start_language() {
  const int stored = read_setting_int(key_language, 0);
  set_current_language(
      language_row_for(static_cast<std::uint32_t>(stored), GetUserDefaultLangID()));
}

void apply_language(HWND main_window) {
  static constexpr int captions[] = {IDC_SOURCE_CAPTION, IDC_TARGET_CAPTION, IDC_LABEL_CAPTION,
                                     IDC_LAYOUT_CAPTION, IDC_START};
  for (int i = 0; i < static_cast<int>(std::size(captions)); ++i) {
    SetDlgItemTextW(main_window, captions[i], slot_text(slot_source_caption + i).c_str());
  }
  static constexpr int edits[] = {IDC_SOURCE, IDC_TARGET, IDC_LABEL};
  for (int i = 0; i < static_cast<int>(std::size(edits)); ++i) {
    // FALSE: the banner disappears while the edit has the focus.
    const std::wstring cue = slot_text(slot_source_cue + i);
    SendDlgItemMessageW(main_window, edits[i], EM_SETCUEBANNER, FALSE,
                        reinterpret_cast<LPARAM>(cue.c_str()));
  }
}

void show_options_menu(HWND main_window) {
  MenuReadings readings;
  const HMENU menu = build_options_menu(main_window, readings);
  const DWORD position = GetMessagePos();
  const UINT command =
      static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, screen_x(position),
                                       screen_y(position), 0, main_window, nullptr));
  DestroyMenu(menu);
  carry_out(main_window, command, readings);
}

void carry_out_options_command(HWND main_window, UINT command) {
  MenuReadings readings;
  DestroyMenu(build_options_menu(main_window, readings));
  carry_out(main_window, command, readings);
}

void open_web_page(std::string_view address) {
  wchar_t wide[web_address_chars + 1] = {};
  if (!address.empty() &&
      MultiByteToWideChar(CP_ACP, 0, address.data(), static_cast<int>(address.size()), wide,
                          web_address_chars) == 0)
    return;
  const std::wstring target = web_page_target(wide, module_path());
  ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace kestrel::app
