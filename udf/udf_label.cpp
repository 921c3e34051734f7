// The volume label store. Every volume name of the image (the UDF logical
// volume and file set identifiers, the ISO 9660 volume identifier) derives
// from the 128-byte d-string `volume_label` kept here.
#include <algorithm>
#include <string_view>

#include "udf/udf_tags.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

// The label of a volume whose user gave none. Upper-case letters and an
// underscore only, so it is also a valid ISO 9660 volume identifier.
constexpr std::string_view default_volume_label = "NEW_DISC";

constexpr size_t label_bytes = sizeof(VolumeSettings::volume_label);
// An 8-bit label is cut to 127 characters before it is stored; the d-string
// then keeps 126 of them.
constexpr size_t label_8bit_source_limit = label_bytes - 1;
// Characters from U+0100 on need the 16-bit d-string form (UDF 2.1.1 CS0).
constexpr char16_t first_16bit_character = u'\u0100';

}  // namespace

void set_default_volume_label(DiscImage& image) {
  make_dstring8(image.settings.volume_label, label_bytes,
                reinterpret_cast<const uint8_t*>(default_volume_label.data()),
                default_volume_label.size());
  // The constructor calls this once, at the moment build_time was taken, so
  // the timestamp every UDF volume date copies is made here too.
  make_udf_timestamp(image.settings.build_time, image.settings.build_timestamp);
}

void set_volume_label(DiscImage& image, std::u16string_view text) {
  if (text.empty()) return;
  const bool needs_16bit = std::any_of(text.begin(), text.end(),
                                       [](char16_t unit) { return unit >= first_16bit_character; });
  if (needs_16bit) {
    // make_dstring16 keeps 63 units and never splits a surrogate pair.
    make_dstring16(image.settings.volume_label, label_bytes, text.data(), 2 * text.size());
    return;
  }
  // Every character is below U+0100: its low byte is its Latin-1 code. The
  // text ends at its first U+0000, as a zero-terminated text would.
  uint8_t latin1[label_8bit_source_limit] = {};
  size_t length = 0;
  while (length < text.size() && length < label_8bit_source_limit && text[length] != u'\0') {
    latin1[length] = static_cast<uint8_t>(text[length]);
    ++length;
  }
  if (length == 0) return;
  make_dstring8(image.settings.volume_label, label_bytes, latin1, length);
}

}  // namespace kestrel::udf
