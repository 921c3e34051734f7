#include "disc/volume_settings.h"

namespace kestrel {

void set_volume_label(VolumeSettings& settings, std::u16string_view text) {
  // The text ends at its first U+0000, as a zero-terminated text would.
  const size_t end = text.find(u'\0');
  if (end != std::u16string_view::npos) text = text.substr(0, end);
  if (!text.empty()) settings.volume_label = std::u16string(text);
}

}  // namespace kestrel
