#include "ui/core/theme_rules.h"

#include <algorithm>
#include <cstdint>

namespace kestrel::ui {

namespace {

constexpr std::uint32_t build_flag_bits = 0xF0000000u;
constexpr std::uint32_t build_1809 = 17763;
constexpr std::uint32_t build_1903 = 18362;
constexpr std::uint32_t build_1909 = 18363;
constexpr std::uint32_t build_2004 = 19041;

constexpr wchar_t rich_edit_prefix[] = L"RICHEDIT";

}  // namespace

std::uint32_t strip_build_flags(std::uint32_t reported_build) {
  return reported_build & ~build_flag_bits;
}

bool is_dark_mode_build(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  if (major != 10 || minor != 0) return false;
  return build == build_1809 || build == build_1903 || build == build_1909 || build >= build_2004;
}

bool uses_preferred_app_mode(std::uint32_t build) { return build >= build_1903; }

ControlKind classify_control_class(std::wstring_view name) {
  struct Entry {
    std::wstring_view name;
    ControlKind kind;
  };
  static constexpr Entry table[] = {
      {L"Button", ControlKind::button},
      {L"Edit", ControlKind::edit},
      {L"Static", ControlKind::static_text},
      {L"ComboBox", ControlKind::combo_box},
      {L"ComboBoxEx32", ControlKind::combo_box_ex},
      {L"SysListView32", ControlKind::list_view},
      {L"SysTreeView32", ControlKind::tree_view},
      {L"SysTabControl32", ControlKind::tab},
      {L"TabCtrlEx", ControlKind::tab},
      {L"ReBarWindow32", ControlKind::rebar},
      {L"msctls_statusbar32", ControlKind::status_bar},
      {L"msctls_progress32", ControlKind::progress},
      {L"ListBox", ControlKind::list_box},
      {L"SysLink", ControlKind::link},
  };
  for (const Entry& entry : table)
    if (name == entry.name) return entry.kind;
  if (name.starts_with(rich_edit_prefix)) return ControlKind::rich_edit;
  return ControlKind::other;
}

VisualStyle visual_style_for(ControlKind kind, bool dark) {
  const VisualStyle default_style{true, nullptr, nullptr};
  switch (kind) {
    case ControlKind::button:
    case ControlKind::list_box:
      return dark ? VisualStyle{true, L"DarkMode_Explorer", nullptr} : default_style;
    case ControlKind::edit:
    case ControlKind::combo_box:
      // The common file dialog's style follows the window's dark-mode flag.
      return {true, L"CFD", nullptr};
    case ControlKind::combo_box_ex: return {true, L"AddressComposited", nullptr};
    case ControlKind::list_view:
    case ControlKind::tree_view: return {true, dark ? L"DarkMode_Explorer" : L"Explorer", nullptr};
    case ControlKind::rich_edit: return {true, L"Explorer", nullptr};
    case ControlKind::status_bar:
      return dark ? VisualStyle{true, nullptr, L"ExplorerStatusBar"} : default_style;
    case ControlKind::static_text:
    case ControlKind::tab:
    case ControlKind::rebar:
    case ControlKind::progress:
    case ControlKind::link:
    case ControlKind::other: break;
  }
  return {};
}

VisualStyle list_header_visual_style(bool dark) {
  return dark ? VisualStyle{true, L"ItemsView", nullptr} : VisualStyle{true, nullptr, nullptr};
}

VisualStyle inner_combo_visual_style() { return {true, L"CFD", nullptr}; }

bool is_check_or_radio(std::uint32_t button_style) {
  const std::uint32_t type = button_style & button_type_mask;
  return type == button_auto_check_box || type == button_auto_radio;
}

bool is_group_box(std::uint32_t button_style) {
  return (button_style & button_type_mask) == button_group_box;
}

bool is_etched_horizontal_line(std::uint32_t static_style) {
  return (static_style & static_type_mask) == static_etched_horizontal;
}

bool tab_painter_applies(std::uint32_t tab_style) {
  return (tab_style & (tab_style_buttons | tab_style_vertical)) == 0;
}

int mul_div(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = (c < 0 ? -static_cast<std::int64_t>(c) : c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const std::int64_t magnitude = (product < 0 ? -product : product);
  const std::int64_t divisor = c < 0 ? -static_cast<std::int64_t>(c) : c;
  const std::int64_t quotient = (magnitude + half) / divisor;
  if (quotient > INT32_MAX) return -1;
  return static_cast<int>(negative ? -quotient : quotient);
}

ProgressParts progress_parts(const Rect& client, int position, int low, int high) {
  ProgressParts parts;
  parts.outer = client;
  const Rect inner{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
  int done_right = inner.left;
  // A control whose range is empty or reversed shows nothing done rather than
  // letting the division go wrong.
  if (position > low && high > low) {
    done_right = mul_div(position - low, inner.right, high - low);
    done_right = std::clamp(done_right, inner.left, std::max(inner.left, inner.right));
  }
  parts.done = {inner.left, inner.top, done_right, inner.bottom};
  parts.rest = {done_right, inner.top, inner.right, inner.bottom};
  return parts;
}

Rect check_text_rect(const Rect& item, int glyph_width, int dpi, int text_height) {
  Rect text = item;
  text.left += glyph_width + 3 * dpi / 96;
  if (text_height < item.height()) {
    const int shift = (item.height() - text_height) / 2;
    text.top += shift;
  }
  return text;
}

GroupBoxParts group_box_parts(const Rect& client, int caption_width, int caption_height,
                              int letter_height, bool centred) {
  constexpr int caption_indent = 7;   // left edge of the caption area
  constexpr int caption_padding = 2;  // each side of the caption text
  GroupBoxParts parts;
  const bool has_caption = caption_width > 0;
  parts.frame = client;
  parts.frame.top += (has_caption ? caption_height : letter_height) / 2;
  if (!has_caption) return parts;
  const int area_width = caption_width + 2 * caption_padding;
  const int area_left =
      centred ? client.left + (client.width() - area_width) / 2 : client.left + caption_indent;
  parts.caption_area = {area_left, client.top, area_left + area_width, client.top + caption_height};
  parts.caption_text = {area_left + caption_padding, client.top,
                        area_left + area_width - caption_padding, client.top + caption_height};
  return parts;
}

TabParts tab_parts(const Rect& item, bool selected) {
  constexpr int raise = 2;
  constexpr int image_offset = 2;
  constexpr int text_indent = 8;
  TabParts parts;
  parts.tab = item;
  if (selected) parts.tab.top -= raise;
  parts.image_x = parts.tab.left + image_offset;
  parts.image_y = parts.tab.top + image_offset;
  parts.text = parts.tab;
  parts.text.left += text_indent;
  return parts;
}

}  // namespace kestrel::ui
