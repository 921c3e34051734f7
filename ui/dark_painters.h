// The handlers that recolour and paint controls in dark mode. Each is a
// window subclass with identifier 16 on one control (or on the dialog), so
// that theme_window_tree can remove every one of them when the program turns
// light again and the system draws the controls as before.
#pragma once

#include <windows.h>

#include "ui/core/palette.h"

namespace kestrel::ui {

inline constexpr UINT_PTR theme_subclass_id = 16;

enum class Painter {
  dialog_colours,  // on a dialog: WM_CTLCOLOR*, custom draw of check boxes,
                   // toolbars and track bars, link colours
  group_box,       // group-box frame and caption
  etched_line,     // etched horizontal line
  combo_colours,   // edit field of a combo box
  header_colours,  // on a list view: text of its header items
  rebar,           // rebar background
  tab,             // tab strip and tabs
  progress,        // progress bar frame, done part and rest
  link,            // text and links of a link control
};

// Removes the painter from the window, then attaches it again when `attach`.
void set_painter(HWND window, Painter painter, bool attach);
// Whether the painter is attached to the window.
bool has_painter(HWND window, Painter painter);

// Brushes of the dark palette, made on first use and kept until the process
// ends: background, control background, border and progress fill.
HBRUSH palette_brush(Colour colour);

// The system's light colours as the portable colour rules take them.
SystemColours current_system_colours();

// Whether a control carries NoThemeTag and must keep its dialog's own colours.
bool is_tagged_no_theme(HWND control);

}  // namespace kestrel::ui
