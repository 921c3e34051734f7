// The program's own message box, the parts that need no screen: which
// buttons a type word asks for, when the box may be closed, how a command
// ends it, and the layout of the box in dialog units from font metrics, the
// work area and text measurements handed in by the caller.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::ui {

// ---- The type word (the system's MB_ values) -------------------------------
inline constexpr std::uint32_t mb_button_set_mask = 0x0000000F;
inline constexpr std::uint32_t mb_icon_mask = 0x000000F0;
inline constexpr std::uint32_t mb_icon_error = 0x10;
inline constexpr std::uint32_t mb_icon_question = 0x20;
inline constexpr std::uint32_t mb_icon_warning = 0x30;
inline constexpr std::uint32_t mb_icon_information = 0x40;
inline constexpr std::uint32_t mb_user_icon = 0x80;
inline constexpr std::uint32_t mb_default_button_mask = 0x00000F00;
inline constexpr int mb_default_button_shift = 8;
inline constexpr std::uint32_t mb_topmost = 0x00040000;

// Button identifiers (IDOK .. IDCONTINUE) and the box's own results.
inline constexpr int id_ok = 1;
inline constexpr int id_cancel = 2;
inline constexpr int id_abort = 3;
inline constexpr int id_retry = 4;
inline constexpr int id_ignore = 5;
inline constexpr int id_yes = 6;
inline constexpr int id_no = 7;
inline constexpr int id_try_again = 10;
inline constexpr int id_continue = 11;
inline constexpr int id_timeout = 32000;  // the box ended by its timeout
// Controls of the box besides its buttons.
inline constexpr int id_icon = 20;
inline constexpr int id_link_text = 50;
inline constexpr int id_check_box = 51;
inline constexpr int id_plain_text = -1;

// System icon resources of user32 (IDI_HAND .. IDI_ASTERISK).
inline constexpr int system_icon_error = 32513;
inline constexpr int system_icon_question = 32514;
inline constexpr int system_icon_warning = 32515;
inline constexpr int system_icon_information = 32516;

inline constexpr int max_buttons = 3;

struct ButtonSet {
  std::array<int, max_buttons> ids{};
  int count = 0;
  bool has_cancel = false;
};

// The buttons of the low 4 bits of a type word, left to right.
ButtonSet message_box_buttons(std::uint32_t type);

// The system icon the icon bits choose (0 for none); a caller's icon (0x80)
// falls back to the error icon's ordinal.
int system_icon_for(std::uint32_t type);

// The default button's index: bits 8 to 11, or 0 when that index names no
// button of the set.
int default_button_index(std::uint32_t type, int button_count);

// Whether Escape and the close box may end the box: the caller's choice when
// given; otherwise 1 for a lone OK, 2 with a Cancel button, else 0 (the
// close command is removed and Escape does nothing).
int close_value(const ButtonSet& buttons, std::optional<int> close_allowed);
// A lone OK without a caller's close choice: its OK button takes Cancel's
// identifier so that Escape and the close box end the box too.
bool is_plain_ok(const ButtonSet& buttons, std::optional<int> close_allowed);

// What a WM_COMMAND identifier does to the box.
enum class CommandAction { ignore, end_box, check_toggled };
CommandAction command_action(int id, bool control_exists);

// The caller's result from the dialog's: in the plain OK case 1 for any
// non-zero result.
std::intptr_t message_box_result(bool plain_ok, std::intptr_t dialog_result);

// ---- Layout ----------------------------------------------------------------
struct PixelSize {
  int width = 0;
  int height = 0;
};

struct Rectangle {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

// What the caller measures on the screen, in pixels.
struct MessageBoxMetrics {
  int average_char_width = 0;    // b: of the message font
  int char_height = 0;           // c: tmHeight of the message font
  int frame_width = 0;           // SM_CXDLGFRAME
  int frame_height = 0;          // SM_CYDLGFRAME
  int caption_height = 0;        // SM_CYCAPTION
  int icon_height = 0;           // SM_CYICON
  int caption_button_width = 0;  // SM_CXSIZE
  Rectangle work_area;           // of the owner's monitor
};

struct MessageBoxMeasure {
  // Pixel width of a single line (title, check-box text, button captions).
  std::function<int(std::wstring_view)> line_width;
  // Pixel size of the word-wrapped text within `width` x `height` (as
  // DrawTextExW measures with DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS |
  // DT_NOPREFIX | DT_EDITCONTROL).
  std::function<PixelSize(std::wstring_view, int width, int height)> wrapped_size;
};

struct MessageBoxContent {
  std::uint32_t type = 0;
  std::wstring_view text;
  std::wstring_view title;
  std::array<std::wstring, max_buttons> captions;
  std::optional<std::wstring_view> check_text;
  int min_button_width = 0;  // dialog units; 0 means 50
  bool size_buttons_to_text = false;
  int timeout_ms = 0;  // 0: none
};

// Everything in dialog units unless the name says pixels.
struct MessageBoxLayout {
  ButtonSet buttons;
  int timeout = -1;  // milliseconds, -1 for none
  int default_button = 0;
  bool has_link = false;
  bool has_icon = false;
  bool has_check_box = false;
  int min_button_width = 50;
  // offsets[i]: distance of button i's left edge from the right edge;
  // offsets[count] is the right margin, so button i is
  // offsets[i] - offsets[i + 1] - 5 wide.
  std::array<int, max_buttons + 1> button_offsets{};
  int band_width_px = 0;  // the text band painted on top
  int band_height_px = 0;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int text_x = 0;
  int text_y = 0;
  int text_width = 0;
  int text_height = 0;
  int button_y = 0;
  int check_y = 0;
};

// Lays the box out: tries the widths 278 units, then 5/8, 6/8 and 7/8 of the
// work area, and keeps the first at which the framed box fits the work
// area's height (the last one otherwise).
MessageBoxLayout layout_message_box(const MessageBoxContent& content,
                                    const MessageBoxMetrics& metrics,
                                    const MessageBoxMeasure& measure);

// Height in dialog units of the text band painted on top of the box: down to
// a little above the button row.
int band_height_units(const MessageBoxLayout& layout);

// Dialog units to pixels, as the dialog manager converts them.
int x_units_to_pixels(int units, int average_char_width);
int y_units_to_pixels(int units, int char_height);

}  // namespace kestrel::ui
