// Windows: bulk memory from VirtualAlloc, which hands out zero-filled pages
// at 64 KiB boundaries.
#include <windows.h>

#include "platform/bulk_memory.h"

namespace kestrel {

void* allocate_bulk(size_t bytes) {
  return VirtualAlloc(nullptr, bytes == 0 ? 1 : bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void free_bulk(void* memory, size_t) {
  if (memory != nullptr) VirtualFree(memory, 0, MEM_RELEASE);
}

}  // namespace kestrel
