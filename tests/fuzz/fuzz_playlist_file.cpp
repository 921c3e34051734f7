// Fuzz target: the movie playlist reader, and the extension-data reader on
// whatever extension bytes it finds, as the stereoscopic analysis uses them.
#include <cstddef>
#include <cstdint>

#include "bluray/extension_data.h"
#include "bluray/playlist_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::bluray::PlayListFile playlist;
  kestrel::bluray::read_playlist_file(data, size, playlist);
  kestrel::bluray::ExtensionData extension;
  kestrel::bluray::read_extension_data(playlist.extension_bytes.data(),
                                       playlist.extension_bytes.size(), extension);
  return 0;
}
