#include "platform/node_arena.h"

#include <cstdlib>
#include <cstring>

#include "platform/bulk_memory.h"

namespace kestrel {
namespace {

// Blocks are aligned for any node type; the link word keeps that alignment.
constexpr size_t block_alignment = alignof(std::max_align_t);
static_assert(NodeArena::block_header_size % alignof(void*) == 0);

// Large blocks come from bulk memory, whose first touch is cheaper than the
// heap's (platform/bulk_memory.h); small ones from the heap.
constexpr size_t bulk_block_size = 1024 * 1024;

uint8_t* allocate_block(size_t size) {
  if (size >= bulk_block_size) return static_cast<uint8_t*>(allocate_bulk(size));
  return static_cast<uint8_t*>(std::calloc(1, size));
}

void free_block(uint8_t* block, size_t size) {
  if (size >= bulk_block_size) {
    free_bulk(block, size);
  } else {
    std::free(block);
  }
}

}  // namespace

NodeArena* NodeArena::create(size_t block_size) {
  if (block_size == 0) block_size = default_block_size;
  if (block_size < minimum_block_size) block_size = minimum_block_size;
  if (block_size > maximum_block_size) block_size = maximum_block_size;
  auto* arena = new (std::nothrow) NodeArena;
  if (arena == nullptr) return nullptr;
  arena->block_size_ = block_size;
  if (!arena->add_block()) {
    delete arena;
    return nullptr;
  }
  return arena;
}

void NodeArena::destroy(NodeArena* arena) {
  if (arena == nullptr) return;
  uint8_t* block = arena->first_block_;
  while (block != nullptr) {
    uint8_t* next = nullptr;
    std::memcpy(&next, block, sizeof next);
    free_block(block, arena->block_size_);
    block = next;
  }
  delete arena;
}

bool NodeArena::add_block() {
  uint8_t* block = allocate_block(block_size_);
  if (block == nullptr) return false;
  if (current_block_ != nullptr) {
    std::memcpy(current_block_, &block, sizeof block);
  } else {
    first_block_ = block;
  }
  current_block_ = block;
  next_free_ = block + block_header_size;
  bytes_left_ = block_size_ - block_header_size;
  ++block_count_;
  return true;
}

void* NodeArena::allocate(size_t count, size_t alignment) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0 || alignment > block_alignment)
    return nullptr;
  // A fresh block starts aligned, so the largest request any block can serve
  // is its size less the link word.
  if (count > block_size_ - block_header_size) return nullptr;
  auto padding_for = [&](const uint8_t* position) {
    return static_cast<size_t>((alignment - reinterpret_cast<uintptr_t>(position) % alignment) %
                               alignment);
  };
  size_t padding = padding_for(next_free_);
  if (bytes_left_ < padding || bytes_left_ - padding < count) {
    if (!add_block()) return nullptr;
    padding = 0;
  }
  uint8_t* result = next_free_ + padding;
  next_free_ = result + count;
  bytes_left_ -= padding + count;
  return result;
}

void* NodeArena::copy(const void* source, size_t count, size_t alignment) {
  void* memory = allocate(count, alignment);
  if (memory != nullptr && count > 0) std::memcpy(memory, source, count);
  return memory;
}

}  // namespace kestrel
