// The volume label as UDF records it: the 128-byte d-string of the logical
// volume identifier (ECMA-167 1/7.2.12), from which the shorter d-strings of
// the volume and the file set derive.
#include <algorithm>

#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// An 8-bit label is cut to 127 characters before it is stored; the d-string
// then keeps 126 of them.
constexpr size_t label_8bit_source_limit = label_dstring_bytes - 1;
// Characters from U+0100 on need the 16-bit d-string form (UDF 2.1.1 CS0).
constexpr char16_t first_16bit_character = u'\u0100';

}  // namespace

void set_build_timestamp(DiscImage& image) {
  make_udf_timestamp(image.settings.build_time, image.settings.build_timestamp);
}

void make_label_dstring(const DiscImage& image, uint8_t (&dstring)[label_dstring_bytes]) {
  const std::u16string_view text = image.settings.volume_label;
  const bool needs_16bit = std::any_of(text.begin(), text.end(),
                                       [](char16_t unit) { return unit >= first_16bit_character; });
  if (needs_16bit) {
    // make_dstring16 keeps 63 units and never splits a surrogate pair.
    make_dstring16(dstring, label_dstring_bytes, text.data(), 2 * text.size());
    return;
  }
  // Every character is below U+0100: its low byte is its Latin-1 code.
  uint8_t latin1[label_8bit_source_limit] = {};
  const size_t length = std::min(text.size(), label_8bit_source_limit);
  for (size_t i = 0; i < length; ++i) latin1[i] = static_cast<uint8_t>(text[i]);
  make_dstring8(dstring, label_dstring_bytes, latin1, length);
}

}  // namespace kestrel::udf
