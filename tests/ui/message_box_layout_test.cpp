// Layout and rules of the program's message box, measured with a model font
// in which every character is `b` pixels wide and every line `c` high.
#include "ui/core/message_box_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::ui {
namespace {

constexpr int b = 7;
constexpr int c = 15;

// Word wrapping of the model font: breaks lines at the width, honours '\n'.
struct ModelFont {
  std::vector<int> widths_tried;

  MessageBoxMeasure measure() {
    MessageBoxMeasure m;
    m.line_width = [](std::wstring_view text) { return static_cast<int>(text.size()) * b; };
    m.wrapped_size = [this](std::wstring_view text, int width, int) {
      widths_tried.push_back(width);
      const int per_line = std::max(width / b, 1);
      PixelSize size;
      int lines = 0;
      size_t start = 0;
      while (true) {
        const size_t end = text.find(L'\n', start);
        const int length =
            static_cast<int>((end == std::wstring_view::npos ? text.size() : end) - start);
        const int wrapped = std::max(1, (length + per_line - 1) / per_line);
        lines += wrapped;
        size.width = std::max(size.width, std::min(length, per_line) * b);
        if (end == std::wstring_view::npos) break;
        start = end + 1;
      }
      size.height = lines * c;
      return size;
    };
    return m;
  }
};

MessageBoxMetrics screen(int work_width = 1024, int work_height = 728) {
  MessageBoxMetrics metrics;
  metrics.average_char_width = b;
  metrics.char_height = c;
  metrics.frame_width = 3;
  metrics.frame_height = 3;
  metrics.caption_height = 23;
  metrics.icon_height = 32;
  metrics.caption_button_width = 36;
  metrics.work_area = {0, 0, work_width, work_height};
  return metrics;
}

MessageBoxContent content(std::uint32_t type, std::wstring_view text) {
  MessageBoxContent box;
  box.type = type;
  box.text = text;
  box.title = L"Kestrel";
  return box;
}

// The text's inner width at a candidate box width in pixels: frames and the
// margin of (text x + 14) units come off.
int text_room(int box_pixels, bool icon) {
  return box_pixels - 2 * 3 - x_units_to_pixels(icon ? 55 : 21, b);
}

// Width in units of a box whose wrapped text fills the room of a candidate:
// whole characters of the model font plus the margin, rounded up.
int filled_width(int box_pixels) {
  const int text = text_room(box_pixels, false) / b * b;
  return ((text + x_units_to_pixels(21, b)) * 4 + b - 1) / b;
}

TEST(MessageBoxLayout, UnitConversionsOfTheDialogManager) {
  EXPECT_EQ(x_units_to_pixels(4, 8), 8);
  EXPECT_EQ(x_units_to_pixels(278, 7), 487);  // (1946 + 2) / 4
  EXPECT_EQ(y_units_to_pixels(8, 16), 16);
  EXPECT_EQ(y_units_to_pixels(53, 15), 99);  // (795 + 4) / 8
}

TEST(MessageBoxLayout, ShortTextKeepsTheFirstWidthAndTheBoxNarrow) {
  ModelFont font;
  const MessageBoxLayout layout =
      layout_message_box(content(0, L"Done."), screen(), font.measure());
  ASSERT_FALSE(font.widths_tried.empty());
  EXPECT_EQ(font.widths_tried.front(), text_room(x_units_to_pixels(278, b), false));
  EXPECT_EQ(layout.text_x, 7);
  EXPECT_EQ(layout.text_y, 14);
  // Title "Kestrel" plus two caption buttons is the widest demand.
  const int client = 7 * b + 2 * 36;
  EXPECT_EQ(layout.width, (client * 4 + b - 1) / b);
  EXPECT_EQ(layout.button_y, layout.height - 20);
  EXPECT_EQ(layout.text_height, 8);  // one line of c pixels
  EXPECT_EQ(layout.timeout, -1);
}

TEST(MessageBoxLayout, LongSingleLineWrapsAt278UnitsWhileItFits) {
  ModelFont font;
  const std::wstring line(400, L'x');
  const MessageBoxLayout layout = layout_message_box(content(0, line), screen(), font.measure());
  const int room = text_room(x_units_to_pixels(278, b), false);
  for (const int width : font.widths_tried) EXPECT_EQ(width, room);
  // The box is as wide as the wrapped text at the first candidate.
  EXPECT_EQ(layout.width, filled_width(x_units_to_pixels(278, b)));
  EXPECT_EQ(layout.text_height, ((400 + room / b - 1) / (room / b) * c * 8 + c - 1) / c);
}

TEST(MessageBoxLayout, WidensToFiveSixAndSevenEighthsOnlyWhenTooTall) {
  const int work_width = 1024;
  const std::array<int, 4> boxes = {x_units_to_pixels(278, b), (5 * work_width + 4) / 8,
                                    (6 * work_width + 4) / 8, (7 * work_width + 4) / 8};
  // Text lengths that need 2, 3 and 4 candidates (and more than 4).
  struct Case {
    int characters;
    int expected_candidates;
  };
  for (const Case& test : {Case{3000, 2}, Case{4000, 3}, Case{4600, 4}, Case{20000, 4}}) {
    SCOPED_TRACE(test.characters);
    ModelFont font;
    const std::wstring text(static_cast<size_t>(test.characters), L'y');
    const MessageBoxLayout layout =
        layout_message_box(content(0, text), screen(work_width), font.measure());
    std::vector<int> distinct;
    for (const int width : font.widths_tried) {
      if (distinct.empty() || distinct.back() != width) distinct.push_back(width);
    }
    ASSERT_EQ(distinct.size(), static_cast<size_t>(test.expected_candidates));
    for (size_t i = 0; i < distinct.size(); ++i)
      EXPECT_EQ(distinct[i], text_room(boxes[i], false)) << i;
    const int chosen = boxes[static_cast<size_t>(test.expected_candidates - 1)];
    EXPECT_EQ(layout.width, filled_width(chosen));
  }
}

TEST(MessageBoxLayout, ButtonOffsetsFromTheRightEdge) {
  ModelFont font;
  MessageBoxContent box = content(3, L"Save?");  // Yes, No, Cancel
  const MessageBoxLayout layout = layout_message_box(box, screen(), font.measure());
  ASSERT_EQ(layout.buttons.count, 3);
  EXPECT_EQ(layout.button_offsets[3], 5);
  EXPECT_EQ(layout.button_offsets[2], 60);
  EXPECT_EQ(layout.button_offsets[1], 115);
  EXPECT_EQ(layout.button_offsets[0], 170);
  // The buttons band decides the width of a box with a short text.
  EXPECT_EQ(layout.width, (x_units_to_pixels(175, b) * 4 + b - 1) / b);

  box.size_buttons_to_text = true;
  box.captions = {L"Yes", L"A much longer caption", L"Cancel"};
  box.min_button_width = 40;
  const MessageBoxLayout sized = layout_message_box(box, screen(), font.measure());
  const int long_width = (21 * b * 4 + b - 1) / b + 10;
  EXPECT_EQ(sized.button_offsets[2], 5 + 40 + 5);
  EXPECT_EQ(sized.button_offsets[1], sized.button_offsets[2] + long_width + 5);
  EXPECT_EQ(sized.button_offsets[0], sized.button_offsets[1] + 40 + 5);
}

TEST(MessageBoxLayout, TextCentredOnATallerIcon) {
  ModelFont font;
  const MessageBoxLayout with_icon =
      layout_message_box(content(0x21, L"Replace?"), screen(), font.measure());
  EXPECT_TRUE(with_icon.has_icon);
  EXPECT_EQ(with_icon.text_x, 41);
  // One line of 15 pixels beside a 32-pixel icon: 8 pixels lower, in units.
  EXPECT_EQ(with_icon.text_y, 14 + (8 * 8 + c - 1) / c);
  // The box is as high as the icon plus the button area.
  EXPECT_EQ(with_icon.height, ((32 + y_units_to_pixels(53, c)) * 8 + c - 1) / c);

  // Three lines are taller than the icon: no shift.
  const MessageBoxLayout tall =
      layout_message_box(content(0x21, L"a\nb\nc"), screen(), font.measure());
  EXPECT_EQ(tall.text_y, 14);
}

TEST(MessageBoxLayout, CheckBoxLinkDefaultButtonAndBand) {
  ModelFont font;
  MessageBoxContent box = content(0x0101, L"See <a>the page</a>.");  // OK/Cancel, second default
  box.check_text = std::wstring_view(L"Do not ask again");
  box.timeout_ms = 5000;
  MessageBoxMetrics metrics = screen();
  const MessageBoxLayout layout = layout_message_box(box, metrics, font.measure());
  EXPECT_TRUE(layout.has_link);
  EXPECT_TRUE(layout.has_check_box);
  EXPECT_EQ(layout.default_button, 1);
  EXPECT_EQ(layout.timeout, 5000);
  EXPECT_EQ(layout.check_y, layout.height - 41);
  // The text band spans the client width and ends 26 units above the bottom.
  EXPECT_EQ(layout.band_height_px, y_units_to_pixels(layout.height - 26, c));
  EXPECT_GE(layout.band_width_px * 4 / b, layout.width - 1);

  // A default index beyond the buttons falls back to the first button.
  EXPECT_EQ(layout_message_box(content(0x0300, L"x"), screen(), font.measure()).default_button, 0);
}

TEST(MessageBoxLayout, FontWithoutMetricsStillGivesABox) {
  ModelFont font;
  MessageBoxMetrics metrics = screen();
  metrics.average_char_width = 0;
  metrics.char_height = 0;
  const MessageBoxLayout layout = layout_message_box(content(0, L"x"), metrics, font.measure());
  EXPECT_GT(layout.width, 0);
  EXPECT_GT(layout.height, 0);
}

TEST(MessageBoxRules, ButtonSets) {
  const auto ids = [](std::uint32_t type) {
    const ButtonSet set = message_box_buttons(type);
    return std::vector<int>(set.ids.begin(), set.ids.begin() + set.count);
  };
  EXPECT_EQ(ids(0), (std::vector<int>{1}));
  EXPECT_EQ(ids(1), (std::vector<int>{1, 2}));
  EXPECT_EQ(ids(2), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(ids(3), (std::vector<int>{6, 7, 2}));
  EXPECT_EQ(ids(4), (std::vector<int>{6, 7}));
  EXPECT_EQ(ids(5), (std::vector<int>{4, 2}));
  EXPECT_EQ(ids(6), (std::vector<int>{2, 10, 11}));
  EXPECT_TRUE(ids(7).empty());
  EXPECT_TRUE(ids(15).empty());
  EXPECT_EQ(ids(0x21), (std::vector<int>{1, 2}));  // icon and default bits do not matter
}

TEST(MessageBoxRules, IconsOfTheTypeWord) {
  EXPECT_EQ(system_icon_for(0x10), 32513);
  EXPECT_EQ(system_icon_for(0x80), 32513);
  EXPECT_EQ(system_icon_for(0x21), 32514);
  EXPECT_EQ(system_icon_for(0x30), 32515);
  EXPECT_EQ(system_icon_for(0x40), 32516);
  EXPECT_EQ(system_icon_for(0x01), 0);
}

TEST(MessageBoxRules, CloseRulesAndEscape) {
  // Yes/No: no close command, and Escape (IDCANCEL) finds no such button.
  const ButtonSet yes_no = message_box_buttons(4);
  EXPECT_EQ(close_value(yes_no, std::nullopt), 0);
  EXPECT_FALSE(is_plain_ok(yes_no, std::nullopt));
  EXPECT_EQ(command_action(id_cancel, false), CommandAction::ignore);
  EXPECT_EQ(command_action(id_yes, true), CommandAction::end_box);

  // Plain OK: the button becomes IDCANCEL, so Escape ends the box, and the
  // caller still reads 1.
  const ButtonSet ok = message_box_buttons(0);
  EXPECT_EQ(close_value(ok, std::nullopt), 1);
  EXPECT_TRUE(is_plain_ok(ok, std::nullopt));
  EXPECT_EQ(command_action(id_cancel, true), CommandAction::end_box);
  EXPECT_EQ(message_box_result(true, id_cancel), 1);
  EXPECT_EQ(message_box_result(true, 0), 0);
  // A caller's close choice ends the plain OK case.
  EXPECT_FALSE(is_plain_ok(ok, 0));
  EXPECT_EQ(close_value(ok, 0), 0);

  // OK/Cancel: closing answers Cancel.
  const ButtonSet ok_cancel = message_box_buttons(1);
  EXPECT_EQ(close_value(ok_cancel, std::nullopt), 2);
  EXPECT_EQ(message_box_result(false, id_cancel), id_cancel);
  EXPECT_EQ(message_box_result(false, id_timeout), id_timeout);

  EXPECT_EQ(command_action(0, true), CommandAction::ignore);
  EXPECT_EQ(command_action(id_ok, false), CommandAction::ignore);
  EXPECT_EQ(command_action(id_continue, true), CommandAction::end_box);
  EXPECT_EQ(command_action(8, true), CommandAction::end_box);  // 3 to 11 are accepted as they come
  EXPECT_EQ(command_action(id_check_box, true), CommandAction::check_toggled);
  EXPECT_EQ(command_action(12, true), CommandAction::ignore);
}

}  // namespace
}  // namespace kestrel::ui
