// A chain of zero-filled blocks from which the source tree takes its nodes
// and names. Nothing is freed one by one; destroying the arena frees
// every block in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace kestrel {

class NodeArena {
 public:
  static constexpr size_t default_block_size = 4096;
  static constexpr size_t minimum_block_size = 1024;
  static constexpr size_t maximum_block_size = 64u * 1024 * 1024;
  // Each block starts with the link to the next block.
  static constexpr size_t block_header_size = 8;

  // Block size 0 becomes the default; sizes are clamped to the limits above.
  // Null when the heap refuses.
  static NodeArena* create(size_t block_size);
  static void destroy(NodeArena* arena);

  // Zero-filled memory aligned to `alignment` (a power of two), or null when
  // the request (with its alignment padding) exceeds what a block offers.
  // When the current block has too little left, a fresh block is chained on
  // and the rest of the old one is abandoned.
  void* allocate(size_t count, size_t alignment = 1);
  void* copy(const void* source, size_t count, size_t alignment = 1);

  // A zero-filled object of a trivially constructible type.
  template <typename T>
  T* make() {
    static_assert(std::is_trivially_default_constructible_v<T> &&
                  std::is_trivially_destructible_v<T>);
    void* memory = allocate(sizeof(T), alignof(T));
    return memory == nullptr ? nullptr : new (memory) T;
  }

  size_t block_size() const { return block_size_; }
  size_t block_count() const { return block_count_; }

 private:
  NodeArena() = default;
  bool add_block();

  uint8_t* first_block_ = nullptr;
  uint8_t* current_block_ = nullptr;
  uint8_t* next_free_ = nullptr;
  size_t bytes_left_ = 0;
  size_t block_size_ = 0;
  size_t block_count_ = 0;
};

}  // namespace kestrel
