// The in-memory dialog template of the program's message box: a DLGTEMPLATE
// (the classic form, not DLGTEMPLATEEX) with its items, written into one
// zero-filled block whose size is counted first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ui/core/message_box_layout.h"

namespace kestrel::ui {

// Window and control styles of the template (the system's values).
inline constexpr std::uint32_t message_box_dialog_style =
    0x80C809C5;  // WS_POPUP | WS_CAPTION |
                 // WS_SYSMENU | DS_CENTER | DS_NOIDLEMSG | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK |
                 // DS_ABSALIGN
inline constexpr std::uint32_t style_child = 0x40000000;         // WS_CHILD
inline constexpr std::uint32_t style_visible = 0x10000000;       // WS_VISIBLE
inline constexpr std::uint32_t style_group = 0x00020000;         // WS_GROUP
inline constexpr std::uint32_t style_tab_stop = 0x00010000;      // WS_TABSTOP
inline constexpr std::uint32_t style_default_push = 0x00000001;  // BS_DEFPUSHBUTTON
inline constexpr std::uint32_t style_auto_check = 0x00000003;    // BS_AUTOCHECKBOX
inline constexpr std::uint32_t style_icon = 0x00000003;          // SS_ICON
inline constexpr std::uint32_t style_no_prefix = 0x00000080;     // SS_NOPREFIX
inline constexpr std::uint32_t style_edit_control = 0x00002000;  // SS_EDITCONTROL
inline constexpr std::uint32_t style_custom_link_text = 0x0010;  // LWS_USECUSTOMTEXT
// Predefined window classes of a dialog item, by atom.
inline constexpr std::uint16_t class_button = 0x0080;
inline constexpr std::uint16_t class_static = 0x0082;
// Point size that asks for the system's message-box font.
inline constexpr std::uint16_t message_box_font_size = 0x7FFF;
inline constexpr int button_height = 14;
inline constexpr int check_box_height = 10;
inline constexpr int icon_position = 14;

struct MessageBoxTemplateTexts {
  std::wstring_view title;
  std::wstring_view text;
  std::array<std::wstring_view, max_buttons> captions;
  std::wstring_view check_text;  // used when the layout has a check box
};

// The whole template, ready for DialogBoxIndirectParamW. The block is
// allocated by operator new and so aligned far beyond the 4 bytes each item
// needs.
std::vector<std::uint8_t> build_message_box_template(const MessageBoxLayout& layout,
                                                     std::uint32_t type,
                                                     const MessageBoxTemplateTexts& texts);

}  // namespace kestrel::ui
