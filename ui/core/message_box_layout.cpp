#include "ui/core/message_box_layout.h"

#include <algorithm>

namespace kestrel::ui {

namespace {

// Dialog layout constants, in dialog units.
constexpr int default_min_button_width = 50;
constexpr int button_gap = 5;  // between buttons and at the right edge
constexpr int text_x_with_icon = 41;
constexpr int text_x_without_icon = 7;
constexpr int text_margin_extra = 14;  // right of the text, on top of text x
constexpr int text_top = 14;
constexpr int preferred_width = 278;        // first width tried
constexpr int button_area_with_check = 63;  // below the text: check box and buttons
constexpr int button_area = 53;
constexpr int button_row_from_bottom = 20;
constexpr int check_row_from_bottom = 41;
constexpr int band_bottom_gap = 26;        // the band ends this far above the bottom
constexpr int check_box_glyph_extra = 16;  // check glyph and gap, in pixels
constexpr int caption_padding_units = 10;  // around a caption sized to its text

// Pixels to dialog units, rounded up.
int x_pixels_to_units(int pixels, int b) { return (pixels * 4 + b - 1) / b; }
int y_pixels_to_units(int pixels, int c) { return (pixels * 8 + c - 1) / c; }

}  // namespace

int x_units_to_pixels(int units, int average_char_width) {
  return (units * average_char_width + 2) >> 2;
}

int y_units_to_pixels(int units, int char_height) { return (units * char_height + 4) >> 3; }

int band_height_units(const MessageBoxLayout& layout) { return layout.height - band_bottom_gap; }

ButtonSet message_box_buttons(std::uint32_t type) {
  static constexpr std::array<std::array<int, max_buttons>, 7> sets = {{
      {id_ok, 0, 0},                           // MB_OK
      {id_ok, id_cancel, 0},                   // MB_OKCANCEL
      {id_abort, id_retry, id_ignore},         // MB_ABORTRETRYIGNORE
      {id_yes, id_no, id_cancel},              // MB_YESNOCANCEL
      {id_yes, id_no, 0},                      // MB_YESNO
      {id_retry, id_cancel, 0},                // MB_RETRYCANCEL
      {id_cancel, id_try_again, id_continue},  // MB_CANCELTRYCONTINUE
  }};
  ButtonSet set;
  const std::uint32_t index = type & mb_button_set_mask;
  if (index >= sets.size()) return set;
  set.ids = sets[index];
  while (set.count < max_buttons && set.ids[static_cast<size_t>(set.count)] != 0) {
    if (set.ids[static_cast<size_t>(set.count)] == id_cancel) set.has_cancel = true;
    ++set.count;
  }
  return set;
}

int system_icon_for(std::uint32_t type) {
  switch (type & mb_icon_mask) {
    case mb_icon_error:
    case mb_user_icon: return system_icon_error;
    case mb_icon_question: return system_icon_question;
    case mb_icon_warning: return system_icon_warning;
    case mb_icon_information: return system_icon_information;
    default: return 0;
  }
}

int default_button_index(std::uint32_t type, int button_count) {
  const int index = static_cast<int>((type & mb_default_button_mask) >> mb_default_button_shift);
  return index < button_count ? index : 0;
}

int close_value(const ButtonSet& buttons, std::optional<int> close_allowed) {
  if (close_allowed) return *close_allowed;
  if (buttons.count == 1 && buttons.ids[0] == id_ok) return 1;
  if (buttons.has_cancel) return 2;
  return 0;
}

bool is_plain_ok(const ButtonSet& buttons, std::optional<int> close_allowed) {
  return !close_allowed && buttons.count == 1 && buttons.ids[0] == id_ok;
}

CommandAction command_action(int id, bool control_exists) {
  if (id == id_ok || id == id_cancel)
    return control_exists ? CommandAction::end_box : CommandAction::ignore;
  if (id >= id_abort && id <= id_continue) return CommandAction::end_box;
  if (id == id_check_box) return CommandAction::check_toggled;
  return CommandAction::ignore;
}

std::intptr_t message_box_result(bool plain_ok, std::intptr_t dialog_result) {
  if (plain_ok) return dialog_result != 0 ? id_ok : 0;
  return dialog_result;
}

MessageBoxLayout layout_message_box(const MessageBoxContent& content,
                                    const MessageBoxMetrics& metrics,
                                    const MessageBoxMeasure& measure) {
  MessageBoxLayout layout;
  // A font without metrics would divide by zero below; the smallest sizes
  // give a tiny but valid box instead.
  const int b = std::max(metrics.average_char_width, 1);
  const int c = std::max(metrics.char_height, 1);

  layout.buttons = message_box_buttons(content.type);
  layout.timeout = content.timeout_ms > 0 ? content.timeout_ms : -1;
  layout.default_button = default_button_index(content.type, layout.buttons.count);
  layout.has_link = content.text.find(L"<a>") != std::wstring_view::npos;
  layout.has_icon = system_icon_for(content.type) != 0;
  layout.has_check_box = content.check_text.has_value();
  layout.min_button_width =
      content.min_button_width > 0 ? content.min_button_width : default_min_button_width;

  // 1. Frame, caption and icon; the text's left edge and the margin around it.
  const int icon_height = layout.has_icon ? metrics.icon_height : 0;
  layout.text_x = layout.has_icon ? text_x_with_icon : text_x_without_icon;
  const int margin = x_units_to_pixels(layout.text_x + text_margin_extra, b);
  const Rectangle& work = metrics.work_area;

  // 3. Title and check-box widths.
  const int title_width = measure.line_width(content.title) + 2 * metrics.caption_button_width;
  const int check_width = layout.has_check_box ? measure.line_width(*content.check_text) + margin +
                                                     check_box_glyph_extra
                                               : 0;

  // 4. Button offsets from the right edge, from the last button to the first.
  int offset = button_gap;
  layout.button_offsets[static_cast<size_t>(layout.buttons.count)] = offset;
  for (int i = layout.buttons.count - 1; i >= 0; --i) {
    int width = layout.min_button_width;
    if (content.size_buttons_to_text) {
      const int caption_px = measure.line_width(content.captions[static_cast<size_t>(i)]);
      width = std::max(width, (caption_px * 4 + b - 1) / b + caption_padding_units);
    }
    offset += width + button_gap;
    layout.button_offsets[static_cast<size_t>(i)] = offset;
  }
  const int button_band = x_units_to_pixels(layout.button_offsets[0] + button_gap, b);

  // 5. Candidate widths.
  const int work_width = work.width();
  const std::array<int, 4> candidates = {
      x_units_to_pixels(preferred_width, b),
      (5 * work_width + 4) / 8,
      (6 * work_width + 4) / 8,
      (7 * work_width + 4) / 8,
  };

  // 6. The first candidate at which the box fits the work area's height.
  PixelSize text;
  int client_width = 0;
  int client_height = 0;
  const int below_text =
      y_units_to_pixels(layout.has_check_box ? button_area_with_check : button_area, c);
  for (const int candidate : candidates) {
    const int inner = candidate - 2 * metrics.frame_width;
    text = measure.wrapped_size(content.text, inner - margin, work.height());
    const int wanted = std::max({title_width, check_width, text.width + margin});
    client_width = std::max(button_band, std::min(inner, wanted));
    if (client_width - margin != text.width) {
      text = measure.wrapped_size(content.text, client_width - margin, work.height());
    }
    client_height = std::max(text.height, icon_height) + below_text;
    if (metrics.caption_height + 2 * metrics.frame_height + client_height <= work.height()) break;
  }

  // 7. Results in dialog units.
  layout.text_width = x_pixels_to_units(text.width, b);
  layout.text_height = y_pixels_to_units(text.height, c);
  layout.width = x_pixels_to_units(client_width, b);
  layout.height = y_pixels_to_units(client_height, c);
  layout.text_y = text_top;
  if (text.height < icon_height)
    layout.text_y += y_pixels_to_units((icon_height - text.height) / 2, c);
  layout.button_y = layout.height - button_row_from_bottom;
  layout.check_y = layout.height - check_row_from_bottom;

  const int framed_width = client_width + 2 * metrics.frame_width;
  const int framed_height = client_height + metrics.caption_height + 2 * metrics.frame_height;
  layout.x = (work.left + (work_width - framed_width) / 2) * 4 / b;
  layout.y = (work.top + (work.height() - framed_height) / 2) * 8 / c;

  // The band is painted in the box's own client pixels, which are the pixels
  // measured here at any DPI (the program is system-DPI aware), so it is not
  // scaled again.
  layout.band_width_px = client_width;
  layout.band_height_px = y_units_to_pixels(band_height_units(layout), c);
  return layout;
}

}  // namespace kestrel::ui
