// Fuzz target: the extension-data reader (with the sub-path and
// sub-play-item readers it calls) on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "bluray/extension_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::bluray::ExtensionData extension;
  kestrel::bluray::read_extension_data(data, size, extension);
  return 0;
}
