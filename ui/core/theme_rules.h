// Which system builds carry the dark-mode entry points, how each control
// class is themed, and where the owner-painted controls put their parts.
// Pure functions of their inputs so they can be tested without a screen.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel::ui {

// ---- System builds -------------------------------------------------------

// The build number as reported by the kernel carries flags in its top 4 bits.
std::uint32_t strip_build_flags(std::uint32_t reported_build);

// The undocumented dark-mode entries of the theme library have the meaning the
// program relies on only on these builds of version 10.0: 17763, 18362,
// 18363, and 19041 and later. Builds in between are left light.
bool is_dark_mode_build(std::uint32_t major, std::uint32_t minor, std::uint32_t build);

// From build 18362 on, theme-library ordinal 135 takes a preferred app mode
// (0 default, 2 force dark) instead of a bool.
bool uses_preferred_app_mode(std::uint32_t build);
inline constexpr int preferred_app_mode_default = 0;
inline constexpr int preferred_app_mode_force_dark = 2;

// ---- Control classes -----------------------------------------------------

enum class ControlKind {
  other,
  button,
  edit,
  static_text,
  combo_box,
  combo_box_ex,
  list_view,
  tree_view,
  tab,
  rebar,
  rich_edit,
  status_bar,
  progress,
  list_box,
  link,
};

// The kind of a child control from its window class name, compared exactly
// (rich-edit classes of every version by their common prefix).
ControlKind classify_control_class(std::wstring_view class_name);

// A SetWindowTheme call: `apply` false means the control's style is not
// touched; both names null means back to the default style.
struct VisualStyle {
  bool apply = false;
  const wchar_t* app_name = nullptr;
  const wchar_t* id_list = nullptr;
};
VisualStyle visual_style_for(ControlKind kind, bool dark);
// The header of a list view.
VisualStyle list_header_visual_style(bool dark);
// The combo box inside a ComboBoxEx32.
VisualStyle inner_combo_visual_style();

// Button styles (the low 4 bits of the window style, BS_TYPEMASK).
inline constexpr std::uint32_t button_type_mask = 0x0F;
inline constexpr std::uint32_t button_auto_check_box = 3;   // BS_AUTOCHECKBOX
inline constexpr std::uint32_t button_auto_radio = 9;       // BS_AUTORADIOBUTTON
inline constexpr std::uint32_t button_group_box = 7;        // BS_GROUPBOX
inline constexpr std::uint32_t button_centre_bits = 0x300;  // BS_CENTER
// Static styles (SS_TYPEMASK) and the etched horizontal line.
inline constexpr std::uint32_t static_type_mask = 0x1F;
inline constexpr std::uint32_t static_etched_horizontal = 0x10;  // SS_ETCHEDHORZ

bool is_check_or_radio(std::uint32_t button_style);
bool is_group_box(std::uint32_t button_style);
// Only the horizontal etched line is painted; etched vertical lines and
// frames share bit 0x10 but are not lines across the top of the control.
bool is_etched_horizontal_line(std::uint32_t static_style);

// Tab controls the painter draws: horizontal, without the button style.
inline constexpr std::uint32_t tab_style_buttons = 0x0100;   // TCS_BUTTONS
inline constexpr std::uint32_t tab_style_vertical = 0x0080;  // TCS_VERTICAL
bool tab_painter_applies(std::uint32_t tab_style);

// ---- Geometry of the painted controls ------------------------------------

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// The Windows MulDiv: a × b / c in 64 bits, rounded half away from zero;
// -1 when c is 0 or the result does not fit 32 bits.
int mul_div(int a, int b, int c);

// Progress bar: the frame, the done part and the empty part.
struct ProgressParts {
  Rect outer;  // framed in the dark background
  Rect done;   // progress fill; empty when nothing is done
  Rect rest;   // border colour
};
ProgressParts progress_parts(const Rect& client, int position, int low, int high);

// Check box or radio button: where its text goes inside the item rectangle.
// The text starts after the glyph and a 3-pixel gap at 96 DPI; when it is
// lower than the rectangle it is centred vertically.
Rect check_text_rect(const Rect& item, int glyph_width, int dpi, int text_height);

// Group box: frame, caption area and caption text.
struct GroupBoxParts {
  Rect frame;         // 1-pixel frame in the border colour
  Rect caption_area;  // cut out of the frame; empty without caption
  Rect caption_text;  // the caption is drawn here
};
// caption_width/height: extent of the caption (0 width without caption);
// letter_height: height of "M" in the control's font, used when there is
// no caption.
GroupBoxParts group_box_parts(const Rect& client, int caption_width, int caption_height,
                              int letter_height, bool centred);

// Tab: the rectangle a tab is drawn in (the selected tab is raised), and the
// origins of its image and text.
struct TabParts {
  Rect tab;
  int image_x = 0;
  int image_y = 0;
  Rect text;
};
TabParts tab_parts(const Rect& item, bool selected);

}  // namespace kestrel::ui
