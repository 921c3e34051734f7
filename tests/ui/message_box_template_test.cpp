// The in-memory dialog template of the message box, read back field by field
// as the dialog manager reads a DLGTEMPLATE and its DLGITEMTEMPLATEs.
#include "ui/core/message_box_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::ui {
namespace {

struct Reader {
  const std::vector<std::uint8_t>& bytes;
  size_t at = 0;

  std::uint16_t u16() {
    EXPECT_LE(at + 2, bytes.size());
    if (at + 2 > bytes.size()) return 0;
    const auto value = static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    at += 2;
    return value;
  }
  std::uint32_t u32() { return u16() | (static_cast<std::uint32_t>(u16()) << 16); }
  std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
  std::u16string text() {
    std::u16string value;
    for (std::uint16_t c = u16(); c != 0; c = u16()) value.push_back(static_cast<char16_t>(c));
    return value;
  }
  // A class or title: an ordinal (0xFFFF, number) or a string.
  std::u16string name_or_ordinal(std::uint16_t& ordinal) {
    ordinal = 0;
    if (at + 2 <= bytes.size() && bytes[at] == 0xFF && bytes[at + 1] == 0xFF) {
      u16();
      ordinal = u16();
      return {};
    }
    return text();
  }
};

struct Item {
  std::uint32_t style;
  int x, y, width, height;
  std::uint16_t id;
  std::uint16_t class_atom;
  std::u16string class_name;
  std::uint16_t title_ordinal;
  std::u16string title;
};

struct Template {
  std::uint32_t style;
  int count, x, y, width, height;
  std::u16string title;
  std::uint16_t point_size;
  std::u16string face;
  std::vector<Item> items;
};

Template parse(const std::vector<std::uint8_t>& bytes) {
  Reader in{bytes};
  Template t{};
  t.style = in.u32();
  EXPECT_EQ(in.u32(), 0u);
  t.count = in.u16();
  t.x = in.i16();
  t.y = in.i16();
  t.width = in.i16();
  t.height = in.i16();
  EXPECT_EQ(in.u16(), 0);  // menu
  EXPECT_EQ(in.u16(), 0);  // class
  t.title = in.text();
  t.point_size = in.u16();
  t.face = in.text();
  for (int i = 0; i < t.count; ++i) {
    in.at = (in.at + 3) & ~size_t{3};
    Item item{};
    item.style = in.u32();
    EXPECT_EQ(in.u32(), 0u);
    item.x = in.i16();
    item.y = in.i16();
    item.width = in.i16();
    item.height = in.i16();
    item.id = in.u16();
    item.class_name = in.name_or_ordinal(item.class_atom);
    item.title = in.name_or_ordinal(item.title_ordinal);
    EXPECT_EQ(in.u16(), 0);  // no creation data
    t.items.push_back(item);
  }
  EXPECT_EQ(in.at, bytes.size());
  return t;
}

MessageBoxLayout question_layout() {
  MessageBoxLayout layout;
  layout.buttons = message_box_buttons(0x21);
  layout.has_icon = true;
  layout.button_offsets = {115, 60, 5, 0};
  layout.x = 100;
  layout.y = 80;
  layout.width = 200;
  layout.height = 60;
  layout.text_x = 41;
  layout.text_y = 19;
  layout.text_width = 120;
  layout.text_height = 16;
  layout.button_y = 40;
  layout.check_y = 19;
  return layout;
}

TEST(MessageBoxTemplate, OverwriteQuestionWithOkCancelAndQuestionIcon) {
  const MessageBoxLayout layout = question_layout();
  const auto bytes = build_message_box_template(
      layout, 0x21, {L"Kestrel", L"'x' exists", {L"OK", L"Cancel", L""}, {}});
  const Template t = parse(bytes);
  EXPECT_EQ(t.style, 0x80C809C5u);
  EXPECT_EQ(t.count, 4);  // two buttons, icon, text
  EXPECT_EQ(t.x, 100);
  EXPECT_EQ(t.width, 200);
  EXPECT_EQ(t.title, u"Kestrel ");  // odd length padded with a blank
  EXPECT_EQ(t.point_size, 0x7FFF);
  EXPECT_TRUE(t.face.empty());

  const Item& ok = t.items[0];
  EXPECT_EQ(ok.id, 1);
  EXPECT_EQ(ok.class_atom, 0x0080);
  EXPECT_EQ(ok.title, u"OK");
  EXPECT_EQ(ok.style,
            0x40000000u | 0x10000000u | 0x00010000u | 0x00020000u | 0x1u);  // group, default
  EXPECT_EQ(ok.x, 200 - 115);
  EXPECT_EQ(ok.width, 115 - 60 - 5);
  EXPECT_EQ(ok.y, 40);
  EXPECT_EQ(ok.height, 14);
  const Item& cancel = t.items[1];
  EXPECT_EQ(cancel.id, 2);
  EXPECT_EQ(cancel.style, 0x40000000u | 0x10000000u | 0x00010000u);
  EXPECT_EQ(cancel.x + cancel.width, 200 - 10);
  EXPECT_GE(cancel.x, ok.x + ok.width);

  const Item& icon = t.items[2];
  EXPECT_EQ(icon.id, 20);
  EXPECT_EQ(icon.class_atom, 0x0082);
  EXPECT_EQ(icon.title_ordinal, 32514);
  EXPECT_EQ(icon.x, 14);
  EXPECT_EQ(icon.width, 0);
  const Item& text = t.items[3];
  EXPECT_EQ(text.id, 0xFFFF);
  EXPECT_EQ(text.class_atom, 0x0082);
  EXPECT_EQ(text.style & 0x2080u, 0x2080u);  // SS_NOPREFIX | SS_EDITCONTROL
  EXPECT_EQ(text.title, u"'x' exists");
  EXPECT_EQ(text.x, 41);
  EXPECT_EQ(text.y, 19);
}

TEST(MessageBoxTemplate, LinkTextCheckBoxAndNoIcon) {
  MessageBoxLayout layout = question_layout();
  layout.buttons = message_box_buttons(0);
  layout.button_offsets = {60, 5, 0, 0};
  layout.has_icon = false;
  layout.has_link = true;
  layout.has_check_box = true;
  layout.text_x = 7;
  const auto bytes = build_message_box_template(
      layout, 0, {L"Kestrel!", L"See <a>here</a>", {L"OK", L"", L""}, L"Do not ask again"});
  const Template t = parse(bytes);
  EXPECT_EQ(t.title, u"Kestrel!");  // even length: no padding
  ASSERT_EQ(t.count, 3);            // button, link text, check box
  EXPECT_EQ(t.items[1].id, 50);
  EXPECT_EQ(t.items[1].class_name, u"SysLink");
  EXPECT_EQ(t.items[1].title, u"See <a>here</a>");
  EXPECT_EQ(t.items[1].style, 0x40000000u | 0x10000000u | 0x00010000u | 0x0010u);
  EXPECT_EQ(t.items[2].id, 51);
  EXPECT_EQ(t.items[2].class_atom, 0x0080);
  EXPECT_EQ(t.items[2].style & 0xFu, 3u);  // BS_AUTOCHECKBOX
  EXPECT_EQ(t.items[2].y, layout.check_y);
  EXPECT_EQ(t.items[2].height, 10);
  EXPECT_EQ(t.items[2].title, u"Do not ask again");
}

TEST(MessageBoxTemplate, ItemsStartOnFourByteBoundaries) {
  // Titles of every length shift the items; each must still start aligned,
  // which the parser above checks by landing exactly on the end.
  for (const wchar_t* title : {L"K", L"Ke", L"Kes", L"Kest"}) {
    const auto bytes = build_message_box_template(question_layout(), 0x21,
                                                  {title, L"t", {L"OK", L"Cancel", L""}, {}});
    EXPECT_EQ(parse(bytes).count, 4);
  }
}

}  // namespace
}  // namespace kestrel::ui
