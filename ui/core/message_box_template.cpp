#include "ui/core/message_box_template.h"

#include <string>

namespace kestrel::ui {

namespace {

constexpr std::uint16_t ordinal_marker = 0xFFFF;  // a class or title given as a number
constexpr std::uint16_t item_id_plain_text = 0xFFFF;
constexpr std::wstring_view link_class = L"SysLink";

// Writes the template in little-endian words; with no buffer it only counts,
// so the block's size comes from the very rules that fill it.
class TemplateWriter {
 public:
  explicit TemplateWriter(std::uint8_t* buffer) : buffer_(buffer) {}

  size_t size() const { return position_; }

  void u16(std::uint16_t value) {
    put(static_cast<std::uint8_t>(value & 0xFF));
    put(static_cast<std::uint8_t>(value >> 8));
  }
  void i16(int value) { u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(value))); }
  void u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value & 0xFFFF));
    u16(static_cast<std::uint16_t>(value >> 16));
  }
  // A NUL-terminated UTF-16 string.
  void text(std::wstring_view value) {
    for (const wchar_t c : value) {
      const auto code = static_cast<std::uint32_t>(c);
      if (code > 0xFFFF) {  // only where wchar_t holds UTF-32
        const std::uint32_t v = code - 0x10000;
        u16(static_cast<std::uint16_t>(0xD800 + (v >> 10)));
        u16(static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
      } else {
        u16(static_cast<std::uint16_t>(code));
      }
    }
    u16(0);
  }
  void align4() {
    while (position_ % 4 != 0) put(0);
  }

 private:
  void put(std::uint8_t byte) {
    if (buffer_ != nullptr) buffer_[position_] = byte;
    ++position_;
  }

  std::uint8_t* buffer_;
  size_t position_ = 0;
};

// DLGITEMTEMPLATE: style, extended style, x, y, cx, cy, id; then the class,
// the title and the size of the creation data.
void item_header(TemplateWriter& out, std::uint32_t style, int x, int y, int width, int height,
                 std::uint16_t id) {
  out.align4();
  out.u32(style);
  out.u32(0);
  out.i16(x);
  out.i16(y);
  out.i16(width);
  out.i16(height);
  out.u16(id);
}

void write_template(TemplateWriter& out, const MessageBoxLayout& layout, std::uint32_t type,
                    const MessageBoxTemplateTexts& texts) {
  const int icon = system_icon_for(type);
  const int count = layout.buttons.count;
  int items = count + 2;
  if (icon == 0) items -= 1;
  if (layout.has_check_box) items += 1;

  // DLGTEMPLATE.
  out.u32(message_box_dialog_style);
  out.u32(0);
  out.u16(static_cast<std::uint16_t>(items));
  out.i16(layout.x);
  out.i16(layout.y);
  out.i16(layout.width);
  out.i16(layout.height);
  out.u16(0);  // no menu
  out.u16(0);  // the default dialog class
  // The title, padded with one blank when its length is odd.
  std::wstring title(texts.title);
  if (title.size() % 2 != 0) title.push_back(L' ');
  out.text(title);
  out.u16(message_box_font_size);
  out.text(L"");  // no face name

  for (int i = 0; i < count; ++i) {
    const auto index = static_cast<size_t>(i);
    std::uint32_t style = style_child | style_visible | style_tab_stop;
    if (i == 0) style |= style_group;
    if (i == layout.default_button) style |= style_default_push;
    const int offset = layout.button_offsets[index];
    const int width = offset - layout.button_offsets[index + 1] - 5;
    item_header(out, style, layout.width - offset, layout.button_y, width, button_height,
                static_cast<std::uint16_t>(layout.buttons.ids[index]));
    out.u16(ordinal_marker);
    out.u16(class_button);
    out.text(texts.captions[index]);
    out.u16(0);
  }

  if (icon != 0) {
    item_header(out, style_child | style_visible | style_group | style_icon, icon_position,
                icon_position, 0, 0, static_cast<std::uint16_t>(id_icon));
    out.u16(ordinal_marker);
    out.u16(class_static);
    out.u16(ordinal_marker);
    out.u16(static_cast<std::uint16_t>(icon));
    out.u16(0);
  }

  if (layout.has_link) {
    item_header(out, style_child | style_visible | style_tab_stop | style_custom_link_text,
                layout.text_x, layout.text_y, layout.text_width, layout.text_height,
                static_cast<std::uint16_t>(id_link_text));
    out.text(link_class);
  } else {
    item_header(
        out, style_child | style_visible | style_group | style_no_prefix | style_edit_control,
        layout.text_x, layout.text_y, layout.text_width, layout.text_height, item_id_plain_text);
    out.u16(ordinal_marker);
    out.u16(class_static);
  }
  out.text(texts.text);
  out.u16(0);

  if (layout.has_check_box) {
    item_header(out, style_child | style_visible | style_tab_stop | style_auto_check, layout.text_x,
                layout.check_y, layout.text_width, check_box_height,
                static_cast<std::uint16_t>(id_check_box));
    out.u16(ordinal_marker);
    out.u16(class_button);
    out.text(texts.check_text);
    out.u16(0);
  }
}

}  // namespace

std::vector<std::uint8_t> build_message_box_template(const MessageBoxLayout& layout,
                                                     std::uint32_t type,
                                                     const MessageBoxTemplateTexts& texts) {
  TemplateWriter counter(nullptr);
  write_template(counter, layout, type, texts);
  std::vector<std::uint8_t> block(counter.size(), 0);
  TemplateWriter writer(block.data());
  write_template(writer, layout, type, texts);
  return block;
}

}  // namespace kestrel::ui
