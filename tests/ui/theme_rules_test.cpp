// System builds with the dark-mode entries, the class table of the theming
// walk, and the geometry of the owner-painted controls.
#include <gtest/gtest.h>

#include <cwchar>

#include "ui/core/theme_rules.h"

namespace kestrel::ui {
namespace {

TEST(ThemeBuilds, OnlyListedBuildsOfVersionTenZero) {
  for (std::uint32_t build : {17763u, 18362u, 18363u, 19041u, 19045u, 22000u, 26100u})
    EXPECT_TRUE(is_dark_mode_build(10, 0, build)) << build;
  // Between the accepted builds, before the first, and other versions.
  for (std::uint32_t build : {17134u, 17762u, 17764u, 18361u, 18364u, 19000u, 19040u})
    EXPECT_FALSE(is_dark_mode_build(10, 0, build)) << build;
  EXPECT_FALSE(is_dark_mode_build(6, 3, 19041));
  EXPECT_FALSE(is_dark_mode_build(10, 1, 19041));
  EXPECT_FALSE(is_dark_mode_build(11, 0, 22000));
}

TEST(ThemeBuilds, FlagBitsOfTheReportedBuildAreIgnored) {
  EXPECT_EQ(strip_build_flags(0xF0004A61u), 19041u);
  EXPECT_EQ(strip_build_flags(0x0FFFFFFFu), 0x0FFFFFFFu);
  EXPECT_TRUE(is_dark_mode_build(10, 0, strip_build_flags(0xF0004563u)));  // 17763
}

TEST(ThemeBuilds, PreferredAppModeFrom18362) {
  EXPECT_FALSE(uses_preferred_app_mode(17763));
  EXPECT_FALSE(uses_preferred_app_mode(18361));
  EXPECT_TRUE(uses_preferred_app_mode(18362));
  EXPECT_TRUE(uses_preferred_app_mode(22631));
}

TEST(ThemeClasses, ExactNamesAndTheRichEditPrefix) {
  EXPECT_EQ(classify_control_class(L"Button"), ControlKind::button);
  EXPECT_EQ(classify_control_class(L"Edit"), ControlKind::edit);
  EXPECT_EQ(classify_control_class(L"Static"), ControlKind::static_text);
  EXPECT_EQ(classify_control_class(L"ComboBox"), ControlKind::combo_box);
  EXPECT_EQ(classify_control_class(L"ComboBoxEx32"), ControlKind::combo_box_ex);
  EXPECT_EQ(classify_control_class(L"SysListView32"), ControlKind::list_view);
  EXPECT_EQ(classify_control_class(L"SysTreeView32"), ControlKind::tree_view);
  EXPECT_EQ(classify_control_class(L"SysTabControl32"), ControlKind::tab);
  EXPECT_EQ(classify_control_class(L"TabCtrlEx"), ControlKind::tab);
  EXPECT_EQ(classify_control_class(L"ReBarWindow32"), ControlKind::rebar);
  EXPECT_EQ(classify_control_class(L"RICHEDIT50W"), ControlKind::rich_edit);
  EXPECT_EQ(classify_control_class(L"RICHEDIT"), ControlKind::rich_edit);
  EXPECT_EQ(classify_control_class(L"msctls_statusbar32"), ControlKind::status_bar);
  EXPECT_EQ(classify_control_class(L"msctls_progress32"), ControlKind::progress);
  EXPECT_EQ(classify_control_class(L"ListBox"), ControlKind::list_box);
  EXPECT_EQ(classify_control_class(L"SysLink"), ControlKind::link);
  // Compared exactly: no case folding, no prefixes except rich edit.
  EXPECT_EQ(classify_control_class(L"button"), ControlKind::other);
  EXPECT_EQ(classify_control_class(L"ComboBoxEx"), ControlKind::other);
  EXPECT_EQ(classify_control_class(L"EditX"), ControlKind::other);
  EXPECT_EQ(classify_control_class(L"RichEdit20W"), ControlKind::other);
  EXPECT_EQ(classify_control_class(L"syslink"), ControlKind::other);
  EXPECT_EQ(classify_control_class(L""), ControlKind::other);
}

bool same_name(const wchar_t* a, const wchar_t* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::wcscmp(a, b) == 0;
}

void expect_style(const VisualStyle& style, const wchar_t* app_name, const wchar_t* id_list) {
  EXPECT_TRUE(style.apply);
  EXPECT_TRUE(same_name(style.app_name, app_name));
  EXPECT_TRUE(same_name(style.id_list, id_list));
}

TEST(ThemeClasses, VisualStylePerClassAndTheme) {
  expect_style(visual_style_for(ControlKind::button, true), L"DarkMode_Explorer", nullptr);
  expect_style(visual_style_for(ControlKind::button, false), nullptr, nullptr);
  expect_style(visual_style_for(ControlKind::list_box, true), L"DarkMode_Explorer", nullptr);
  expect_style(visual_style_for(ControlKind::list_box, false), nullptr, nullptr);
  for (bool dark : {false, true}) {
    expect_style(visual_style_for(ControlKind::edit, dark), L"CFD", nullptr);
    expect_style(visual_style_for(ControlKind::combo_box, dark), L"CFD", nullptr);
    expect_style(visual_style_for(ControlKind::combo_box_ex, dark), L"AddressComposited", nullptr);
    expect_style(visual_style_for(ControlKind::rich_edit, dark), L"Explorer", nullptr);
  }
  expect_style(visual_style_for(ControlKind::list_view, true), L"DarkMode_Explorer", nullptr);
  expect_style(visual_style_for(ControlKind::list_view, false), L"Explorer", nullptr);
  expect_style(visual_style_for(ControlKind::tree_view, false), L"Explorer", nullptr);
  expect_style(visual_style_for(ControlKind::status_bar, true), nullptr, L"ExplorerStatusBar");
  expect_style(visual_style_for(ControlKind::status_bar, false), nullptr, nullptr);
  expect_style(list_header_visual_style(true), L"ItemsView", nullptr);
  expect_style(list_header_visual_style(false), nullptr, nullptr);
  // Painted or untouched classes keep whatever style they have.
  for (ControlKind kind : {ControlKind::static_text, ControlKind::tab, ControlKind::rebar,
                           ControlKind::progress, ControlKind::other})
    EXPECT_FALSE(visual_style_for(kind, true).apply);
}

TEST(ThemeClasses, StyleBitsThatSelectPainters) {
  EXPECT_TRUE(is_check_or_radio(0x50010003));   // WS_CHILD|WS_VISIBLE|WS_TABSTOP|BS_AUTOCHECKBOX
  EXPECT_TRUE(is_check_or_radio(0x00000009));   // BS_AUTORADIOBUTTON
  EXPECT_FALSE(is_check_or_radio(0x00000002));  // BS_CHECKBOX is drawn by the system
  EXPECT_FALSE(is_check_or_radio(0x0000000B));  // BS_OWNERDRAW
  EXPECT_TRUE(is_group_box(0x50000307));
  EXPECT_FALSE(is_group_box(0x00000001));
  EXPECT_TRUE(is_etched_horizontal_line(0x50000010));
  EXPECT_FALSE(is_etched_horizontal_line(0x50000011));  // SS_ETCHEDVERT
  EXPECT_FALSE(is_etched_horizontal_line(0x50000012));  // SS_ETCHEDFRAME
  EXPECT_FALSE(is_etched_horizontal_line(0x50000000));
  EXPECT_TRUE(tab_painter_applies(0x54000000));
  EXPECT_FALSE(tab_painter_applies(0x0100));  // TCS_BUTTONS
  EXPECT_FALSE(tab_painter_applies(0x0080));  // TCS_VERTICAL
}

TEST(ThemeGeometry, MulDivRoundsLikeTheSystem) {
  EXPECT_EQ(mul_div(1, 5, 2), 3);     // 2.5 rounds up
  EXPECT_EQ(mul_div(-1, 5, 2), -3);   // and away from zero below
  EXPECT_EQ(mul_div(7, 3, 4), 5);     // 5.25
  EXPECT_EQ(mul_div(3, 144, 96), 5);  // 4.5
  EXPECT_EQ(mul_div(1, 1, 0), -1);
  EXPECT_EQ(mul_div(0x40000000, 8, 1), -1);            // does not fit
  EXPECT_EQ(mul_div(0x40000000, 4, 2), -1);            // 2^31 is one too many
  EXPECT_EQ(mul_div(100000, 100000, 100000), 100000);  // 64-bit product
}

TEST(ThemeGeometry, ProgressDonePartAndFrame) {
  const Rect client{0, 0, 202, 6};
  ProgressParts half = progress_parts(client, 50, 0, 100);
  EXPECT_EQ(half.outer, client);
  EXPECT_EQ(half.done, (Rect{1, 1, 101, 5}));  // MulDiv(50, 201, 100) = 101
  EXPECT_EQ(half.rest, (Rect{101, 1, 201, 5}));
  ProgressParts full = progress_parts(client, 100, 0, 100);
  EXPECT_EQ(full.done, (Rect{1, 1, 201, 5}));
  EXPECT_TRUE(full.rest.empty());
  ProgressParts none = progress_parts(client, 0, 0, 100);
  EXPECT_TRUE(none.done.empty());
  EXPECT_EQ(none.rest, (Rect{1, 1, 201, 5}));
  // Position at or below the low end and an empty range: nothing done.
  EXPECT_TRUE(progress_parts(client, 10, 20, 100).done.empty());
  EXPECT_TRUE(progress_parts(client, 20, 20, 100).done.empty());
  EXPECT_TRUE(progress_parts(client, 50, 50, 50).done.empty());
  EXPECT_TRUE(progress_parts(client, 60, 50, 40).done.empty());
  // Offset range: 30 of 20..120 is a tenth.
  EXPECT_EQ(progress_parts(client, 30, 20, 120).done.right, 20);
  // Beyond the high end the fill stops at the inner edge.
  EXPECT_EQ(progress_parts(client, 500, 0, 100).done.right, 201);
}

TEST(ThemeGeometry, CheckBoxTextAfterGlyphAndCentred) {
  const Rect item{0, 0, 120, 20};
  EXPECT_EQ(check_text_rect(item, 13, 96, 14), (Rect{16, 3, 120, 20}));
  // 150 % scale: glyph 20, gap 3 × 144 / 96 = 4 (truncated); centring truncates.
  EXPECT_EQ(check_text_rect(item, 20, 144, 15), (Rect{24, 2, 120, 20}));
  // Text as high as or higher than the item starts at the top.
  EXPECT_EQ(check_text_rect(item, 13, 96, 20).top, 0);
  EXPECT_EQ(check_text_rect(item, 13, 96, 40).top, 0);
}

TEST(ThemeGeometry, GroupBoxFrameAndCaption) {
  const Rect client{0, 0, 200, 80};
  GroupBoxParts left = group_box_parts(client, 50, 15, 12, false);
  EXPECT_EQ(left.frame, (Rect{0, 7, 200, 80}));
  EXPECT_EQ(left.caption_area, (Rect{7, 0, 61, 15}));
  EXPECT_EQ(left.caption_text, (Rect{9, 0, 59, 15}));
  GroupBoxParts centred = group_box_parts(client, 50, 15, 12, true);
  EXPECT_EQ(centred.caption_area, (Rect{73, 0, 127, 15}));
  EXPECT_EQ(centred.caption_text, (Rect{75, 0, 125, 15}));
  // Without caption the frame top comes from the height of "M".
  GroupBoxParts bare = group_box_parts(client, 0, 0, 13, false);
  EXPECT_EQ(bare.frame.top, 6);
  EXPECT_TRUE(bare.caption_area.empty());
}

TEST(ThemeGeometry, SelectedTabIsRaised) {
  const Rect item{10, 4, 70, 24};
  TabParts plain = tab_parts(item, false);
  EXPECT_EQ(plain.tab, item);
  EXPECT_EQ(plain.image_x, 12);
  EXPECT_EQ(plain.image_y, 6);
  EXPECT_EQ(plain.text, (Rect{18, 4, 70, 24}));
  TabParts selected = tab_parts(item, true);
  EXPECT_EQ(selected.tab, (Rect{10, 2, 70, 24}));
  EXPECT_EQ(selected.image_y, 4);
  EXPECT_EQ(selected.text.top, 2);
}

}  // namespace
}  // namespace kestrel::ui
