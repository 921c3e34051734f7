#include "ui/core/palette.h"

namespace kestrel::ui {

bool wants_dark(ThemeChoice choice, bool system_prefers_dark) {
  switch (choice) {
    case ThemeChoice::dark: return true;
    case ThemeChoice::system: return system_prefers_dark;
    case ThemeChoice::light: return false;
  }
  return false;  // an unknown stored value
}

bool prefers_dark_from_setting(bool value_read, std::uint32_t apps_use_light_theme,
                               bool high_contrast) {
  return value_read && apps_use_light_theme == 0 && !high_contrast;
}

Colour theme_text_colour(bool dark, const SystemColours& system) {
  return dark ? DarkPalette::text : system.window_text;
}

Colour check_text_colour(bool dark, bool disabled, const SystemColours& system) {
  if (disabled) return DarkPalette::disabled_text;
  return theme_text_colour(dark, system);
}

ControlColours dark_dialog_colours(ColourRequest request) {
  // Edit fields sit a step lighter than the dialog; everything else that asks
  // shares the dialog's own background so captions and buttons blend in.
  if (request == ColourRequest::edit)
    return {DarkPalette::text, DarkPalette::control_background, DarkPalette::control_background};
  return {DarkPalette::text, DarkPalette::background, DarkPalette::background};
}

ListColours list_colours(bool dark, const SystemColours& system) {
  if (dark)
    return {DarkPalette::control_background, DarkPalette::control_background, DarkPalette::text};
  return {system.window, system.window, system.window_text};
}

Colour header_text_colour(bool dark_supported, bool apps_dark_effective,
                          const SystemColours& system) {
  return dark_supported && apps_dark_effective ? DarkPalette::text : system.button_text;
}

RichEditColours rich_edit_colours(bool dark, bool transparent, const SystemColours& system) {
  RichEditColours colours{};
  colours.text = theme_text_colour(dark, system);
  colours.set_background = !transparent;
  colours.background =
      dark ? DarkPalette::control_background : DarkPalette::rich_edit_light_background;
  return colours;
}

Colour dark_link_text_colour(bool link_part) {
  return link_part ? DarkPalette::link_text : DarkPalette::text;
}

}  // namespace kestrel::ui
