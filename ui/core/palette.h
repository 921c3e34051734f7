// The program's colours in light and dark mode, and the rules that pick
// them. Nothing here calls the operating system: the Windows painters pass
// the system colours they read in, so the choices can be tested anywhere.
#pragma once

#include <cstdint>

namespace kestrel::ui {

// A colour as the Windows GDI keeps it: 0x00BBGGRR.
using Colour = std::uint32_t;

constexpr Colour rgb(unsigned red, unsigned green, unsigned blue) {
  return static_cast<Colour>((red & 0xFFu) | ((green & 0xFFu) << 8) | ((blue & 0xFFu) << 16));
}

// The dark palette. For the greys the byte order does not matter; the three
// coloured entries are spelled out as red, green and blue.
struct DarkPalette {
  // Dialog and static backgrounds, inactive tabs, progress frame, lower line
  // of etched lines.
  static constexpr Colour background = 0x202020;
  // Edit, list and tree backgrounds, the tab strip, rebars and the text band
  // of the message box.
  static constexpr Colour control_background = 0x2B2B2B;
  // Group-box frames, upper line of etched lines, the empty part of progress
  // bars, track-bar items.
  static constexpr Colour border = rgb(130, 135, 144);
  static constexpr Colour text = 0xEEEEEE;
  static constexpr Colour disabled_text = 0x666666;
  static constexpr Colour progress_fill = rgb(6, 176, 37);
  static constexpr Colour link_text = rgb(0, 153, 255);
  static constexpr Colour hot_track = 0x3B3B3B;
  // Rich-edit background in light mode (not a dark colour, but part of the
  // same set of fixed choices).
  static constexpr Colour rich_edit_light_background = 0xF9F9F9;
};

// Window user data that keeps a control out of the dialog-level colouring and
// custom drawing: the message box tags its icon, text and link with it so
// that its own colour handler decides for them.
inline constexpr std::intptr_t NoThemeTag = 76;

// The stored theme choice ("Theme" in the settings). Values outside 0 to 2
// can come from a hand-edited settings file; they count as light.
enum class ThemeChoice : int { light = 0, dark = 1, system = 2 };

// Whether the application is dark for a choice: dark for 1, the system's
// preference for 2, light for everything else.
bool wants_dark(ThemeChoice choice, bool system_prefers_dark);

// The system's preference from the "AppsUseLightTheme" value: dark only when
// the value could be read, is 0, and high contrast is off.
bool prefers_dark_from_setting(bool value_read, std::uint32_t apps_use_light_theme,
                               bool high_contrast);

// Colours that the system itself provides in light mode; the painters read
// them with GetSysColor and pass them in.
struct SystemColours {
  Colour window = 0xFFFFFF;       // COLOR_WINDOW
  Colour window_text = 0x000000;  // COLOR_WINDOWTEXT
  Colour button_text = 0x000000;  // COLOR_BTNTEXT
};

// Text colour of everything the program draws itself.
Colour theme_text_colour(bool dark, const SystemColours& system);

// Text colour of a check box or radio button whose text the program draws.
Colour check_text_colour(bool dark, bool disabled, const SystemColours& system);

// Answer of the dialog to a WM_CTLCOLOR* message in dark mode.
enum class ColourRequest { edit, list_box, button, dialog, static_text };
struct ControlColours {
  Colour text;
  Colour text_background;
  Colour brush;
};
ControlColours dark_dialog_colours(ColourRequest request);

// Background and text of list views and tree views.
struct ListColours {
  Colour background;
  Colour text_background;
  Colour text;
};
ListColours list_colours(bool dark, const SystemColours& system);

// Header item text: light text only while the system itself runs dark apps,
// because the header's own background comes from the system theme.
Colour header_text_colour(bool dark_supported, bool apps_dark_effective,
                          const SystemColours& system);

// Character format of a rich-edit control. A transparent control keeps its
// parent's background, so only its text colour is set.
struct RichEditColours {
  Colour text;
  bool set_background;
  Colour background;
};
RichEditColours rich_edit_colours(bool dark, bool transparent, const SystemColours& system);

// Text of a link control in a dark dialog: link parts in the link colour.
Colour dark_link_text_colour(bool link_part);

}  // namespace kestrel::ui
