// The program's own message box: built at run time from an in-memory dialog
// template so it follows the program's light or dark theme, with the usual
// message-box type word (button set, icon, default button, topmost).
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace kestrel::ui {

// Events reported to a MessageBoxCallback.
enum MessageBoxEvent : int {
  message_box_opened = 0,   // result ignored
  message_box_button = 1,   // wParam: the button; non-zero keeps the box open
  message_box_link = 2,     // the link in the text was clicked or activated
  message_box_check = 3,    // wParam: the check box's new state
  message_box_timeout = 5,  // non-zero keeps the box open
};

using MessageBoxCallback = int (*)(HWND box, int event, WPARAM wparam, LPARAM lparam,
                                   void* user_data);

// Optional extras; the program itself passes none.
struct MessageBoxParams {
  HINSTANCE icon_module = nullptr;     // module of the caller's icon
  const wchar_t* icon_name = nullptr;  // the caller's icon; replaces the type's icon
  UINT timeout_ms = 0;                 // 0: no timeout
  LANGID language = 0;                 // of the standard captions; 0 neutral
  int min_button_width = 0;            // dialog units; 0 means 50
  bool size_buttons_to_text = false;
  std::optional<int> close_allowed;          // overrides the close rule of the button set
  std::array<const wchar_t*, 3> captions{};  // caller's captions, left to right
  const wchar_t* check_text = nullptr;       // a check box under the message
  bool check_state = false;                  // in: initial state; out: state at the end
  MessageBoxCallback callback = nullptr;
  void* user_data = nullptr;
};

// Result after a timeout.
inline constexpr INT_PTR message_box_timed_out = 32000;

// Shows the box modally, owned by `owner`, with the title "Kestrel". Returns
// the button that ended it (IDOK .. IDCONTINUE), 1 for a lone OK however it
// was closed, or message_box_timed_out.
INT_PTR show_message_box(HWND owner, const std::wstring& text, UINT type,
                         MessageBoxParams* params = nullptr);

// The box's dialog procedure (exposed for tests that drive the box).
INT_PTR CALLBACK message_box_proc(HWND box, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace kestrel::ui
