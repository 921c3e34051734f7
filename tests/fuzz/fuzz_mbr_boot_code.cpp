// Fuzz target: the recognition of hybrid MBR boot code and of the BIOS
// loader it pairs with, on arbitrary bytes: the files come from the source
// folder or from the user.
#include <cstddef>
#include <cstdint>

#include "engine/boot_platforms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::identify_mbr_code(data, size);
  for (const kestrel::MbrCodeKind kind :
       {kestrel::MbrCodeKind::grub, kestrel::MbrCodeKind::isolinux})
    kestrel::pairs_with(kind, data, size, size);
  return 0;
}
