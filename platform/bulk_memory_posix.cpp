// POSIX: bulk memory from anonymous mappings, with 2 MiB pages advised on
// Linux for blocks of 2 MiB and more (rounded up to whole large pages).
#include <sys/mman.h>

#include "platform/bulk_memory.h"

namespace kestrel {
namespace {

constexpr size_t huge_page_bytes = 2u * 1024 * 1024;
// From this size on a block is rounded up to whole large pages. A smaller
// block keeps small pages: a large page would touch more memory than the
// block needs, and first touches are what costs.
constexpr size_t huge_page_threshold = huge_page_bytes;

size_t round_up(size_t value, size_t unit) { return (value + unit - 1) / unit * unit; }

void* map(size_t bytes) {
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return memory == MAP_FAILED ? nullptr : memory;
}

}  // namespace

void* allocate_bulk(size_t bytes) {
  if (bytes == 0) bytes = 1;
#ifdef MADV_HUGEPAGE
  if (bytes >= huge_page_threshold) {
    // A large page needs a 2 MiB-aligned address: map one page more and
    // give back what lies before and after the aligned block.
    const size_t length = round_up(bytes, huge_page_bytes);
    auto* mapped = static_cast<uint8_t*>(map(length + huge_page_bytes));
    if (mapped == nullptr) return nullptr;
    const auto address = reinterpret_cast<uintptr_t>(mapped);
    uint8_t* aligned = mapped + (huge_page_bytes - address % huge_page_bytes) % huge_page_bytes;
    if (aligned > mapped) munmap(mapped, static_cast<size_t>(aligned - mapped));
    uint8_t* end = aligned + length;
    if (end < mapped + length + huge_page_bytes)
      munmap(end, static_cast<size_t>(mapped + length + huge_page_bytes - end));
    // Only advice: where large pages are not to be had, small ones serve.
    madvise(aligned, length, MADV_HUGEPAGE);
    return aligned;
  }
#endif
  return map(bytes);
}

void free_bulk(void* memory, size_t bytes) {
  if (memory == nullptr) return;
  if (bytes == 0) bytes = 1;
#ifdef MADV_HUGEPAGE
  if (bytes >= huge_page_threshold) bytes = round_up(bytes, huge_page_bytes);
#endif
  munmap(memory, bytes);
}

}  // namespace kestrel
