// Fuzz target: the Blu-ray index file reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "bluray/index_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::bluray::IndexFile index;
  kestrel::bluray::read_index_file(data, size, index);
  return 0;
}
