// Fuzz target: the clip information reader, and the extension-data reader
// on whatever extension bytes it finds.
#include <cstddef>
#include <cstdint>

#include "bluray/clip_info_file.h"
#include "bluray/extension_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::bluray::ClipInfoFile clip;
  kestrel::bluray::read_clip_info_file(data, size, clip);
  kestrel::bluray::ExtensionData extension;
  kestrel::bluray::read_extension_data(clip.extension_bytes.data(), clip.extension_bytes.size(),
                                       extension);
  return 0;
}
