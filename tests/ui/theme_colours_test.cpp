// Colour choices of the light and dark themes and the rule that decides
// between them.
#include <gtest/gtest.h>

#include "ui/core/palette.h"

namespace kestrel::ui {
namespace {

constexpr unsigned red_of(Colour c) { return c & 0xFF; }
constexpr unsigned green_of(Colour c) { return (c >> 8) & 0xFF; }
constexpr unsigned blue_of(Colour c) { return (c >> 16) & 0xFF; }

// Distinct light-mode system colours, so a mix-up between them shows.
constexpr SystemColours system_colours{0x00FAFBFC, 0x00010203, 0x00040506};

TEST(ThemePalette, ColouredEntriesAreStoredRedGreenBlueLowToHigh) {
  EXPECT_EQ(DarkPalette::progress_fill, 0x25B006u);
  EXPECT_EQ(red_of(DarkPalette::progress_fill), 6u);
  EXPECT_EQ(green_of(DarkPalette::progress_fill), 176u);
  EXPECT_EQ(blue_of(DarkPalette::progress_fill), 37u);
  EXPECT_EQ(DarkPalette::link_text, 0xFF9900u);
  EXPECT_EQ(red_of(DarkPalette::link_text), 0u);
  EXPECT_EQ(green_of(DarkPalette::link_text), 153u);
  EXPECT_EQ(blue_of(DarkPalette::link_text), 255u);
  EXPECT_EQ(DarkPalette::border, 0x908782u);
  EXPECT_EQ(red_of(DarkPalette::border), 130u);
  EXPECT_EQ(blue_of(DarkPalette::border), 144u);
  EXPECT_EQ(DarkPalette::background, 0x202020u);
  EXPECT_EQ(DarkPalette::control_background, 0x2B2B2Bu);
  EXPECT_EQ(DarkPalette::text, 0xEEEEEEu);
  EXPECT_EQ(DarkPalette::disabled_text, 0x666666u);
  EXPECT_EQ(DarkPalette::hot_track, 0x3B3B3Bu);
  EXPECT_EQ(DarkPalette::rich_edit_light_background, 0xF9F9F9u);
  EXPECT_EQ(NoThemeTag, 76);
}

TEST(ThemeChoiceRule, DarkOnlyWhenChosenOrFollowedSystemIsDark) {
  EXPECT_FALSE(wants_dark(ThemeChoice::light, true));
  EXPECT_TRUE(wants_dark(ThemeChoice::dark, false));
  EXPECT_TRUE(wants_dark(ThemeChoice::system, true));
  EXPECT_FALSE(wants_dark(ThemeChoice::system, false));
  // A hand-edited "Theme" outside 0 to 2 is light whatever the system says.
  EXPECT_FALSE(wants_dark(static_cast<ThemeChoice>(3), true));
  EXPECT_FALSE(wants_dark(static_cast<ThemeChoice>(-1), true));
}

TEST(ThemeChoiceRule, SystemPreferenceNeedsValueZeroAndNoHighContrast) {
  EXPECT_TRUE(prefers_dark_from_setting(true, 0, false));
  EXPECT_FALSE(prefers_dark_from_setting(true, 0, true));  // high contrast wins
  EXPECT_FALSE(prefers_dark_from_setting(true, 1, false));
  EXPECT_FALSE(prefers_dark_from_setting(true, 2, false));   // any non-zero is light
  EXPECT_FALSE(prefers_dark_from_setting(false, 0, false));  // unreadable counts as light
  EXPECT_TRUE(wants_dark(ThemeChoice::system, prefers_dark_from_setting(true, 0, false)));
  EXPECT_FALSE(wants_dark(ThemeChoice::system, prefers_dark_from_setting(true, 0, true)));
}

TEST(ThemeControlColours, DarkDialogAnswersEditsLighterThanEverythingElse) {
  const ControlColours edit = dark_dialog_colours(ColourRequest::edit);
  EXPECT_EQ(edit.text, 0xEEEEEEu);
  EXPECT_EQ(edit.text_background, 0x2B2B2Bu);
  EXPECT_EQ(edit.brush, 0x2B2B2Bu);
  for (ColourRequest request : {ColourRequest::list_box, ColourRequest::button,
                                ColourRequest::dialog, ColourRequest::static_text}) {
    const ControlColours c = dark_dialog_colours(request);
    EXPECT_EQ(c.text, 0xEEEEEEu);
    EXPECT_EQ(c.text_background, 0x202020u);
    EXPECT_EQ(c.brush, 0x202020u);
  }
}

TEST(ThemeControlColours, TextFollowsThemeAndDisabledChecksAreGrey) {
  EXPECT_EQ(theme_text_colour(true, system_colours), 0xEEEEEEu);
  EXPECT_EQ(theme_text_colour(false, system_colours), system_colours.window_text);
  EXPECT_EQ(check_text_colour(true, false, system_colours), 0xEEEEEEu);
  EXPECT_EQ(check_text_colour(true, true, system_colours), 0x666666u);
  EXPECT_EQ(dark_link_text_colour(true), DarkPalette::link_text);
  EXPECT_EQ(dark_link_text_colour(false), 0xEEEEEEu);
}

TEST(ThemeControlColours, ListsAndHeadersPerTheme) {
  const ListColours dark = list_colours(true, system_colours);
  EXPECT_EQ(dark.background, 0x2B2B2Bu);
  EXPECT_EQ(dark.text_background, 0x2B2B2Bu);
  EXPECT_EQ(dark.text, 0xEEEEEEu);
  const ListColours light = list_colours(false, system_colours);
  EXPECT_EQ(light.background, system_colours.window);
  EXPECT_EQ(light.text_background, system_colours.window);
  EXPECT_EQ(light.text, system_colours.window_text);
  // Light header text whenever the system does not itself run dark apps: the
  // header background is the system's, so light text would vanish on it.
  EXPECT_EQ(header_text_colour(true, true, system_colours), 0xEEEEEEu);
  EXPECT_EQ(header_text_colour(true, false, system_colours), system_colours.button_text);
  EXPECT_EQ(header_text_colour(false, true, system_colours), system_colours.button_text);
}

TEST(ThemeControlColours, RichEditKeepsParentBackgroundWhenTransparent) {
  const RichEditColours dark = rich_edit_colours(true, false, system_colours);
  EXPECT_EQ(dark.text, 0xEEEEEEu);
  EXPECT_TRUE(dark.set_background);
  EXPECT_EQ(dark.background, 0x2B2B2Bu);
  const RichEditColours light = rich_edit_colours(false, false, system_colours);
  EXPECT_EQ(light.text, system_colours.window_text);
  EXPECT_EQ(light.background, 0xF9F9F9u);
  const RichEditColours transparent = rich_edit_colours(true, true, system_colours);
  EXPECT_EQ(transparent.text, 0xEEEEEEu);
  EXPECT_FALSE(transparent.set_background);
}

}  // namespace
}  // namespace kestrel::ui
