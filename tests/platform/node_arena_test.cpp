#include "platform/node_arena.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kestrel {
namespace {

struct ArenaDeleter {
  void operator()(NodeArena* arena) const { NodeArena::destroy(arena); }
};
using ArenaPtr = std::unique_ptr<NodeArena, ArenaDeleter>;

TEST(NodeArena, ClampsBlockSizes) {
  EXPECT_EQ(ArenaPtr(NodeArena::create(0))->block_size(), 4096u);
  EXPECT_EQ(ArenaPtr(NodeArena::create(100))->block_size(), 1024u);
  EXPECT_EQ(ArenaPtr(NodeArena::create(8192))->block_size(), 8192u);
  EXPECT_EQ(ArenaPtr(NodeArena::create(1u << 30))->block_size(), 64u * 1024 * 1024);
}

TEST(NodeArena, ServesRequestsUpToTheBlockLessItsLink) {
  ArenaPtr arena(NodeArena::create(100));
  EXPECT_EQ(arena->allocate(1017), nullptr);
  void* small = arena->allocate(10);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(arena->block_count(), 1u);
  // 1016 bytes no longer fit behind the first request: a fresh block serves them.
  auto* big = static_cast<uint8_t*>(arena->allocate(1016));
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(arena->block_count(), 2u);
  for (int i = 0; i < 1016; ++i) ASSERT_EQ(big[i], 0);
}

TEST(NodeArena, AlignsObjectsAndZeroFillsThem) {
  struct Record {
    uint64_t a;
    void* b;
  };
  ArenaPtr arena(NodeArena::create(1024));
  ASSERT_NE(arena->allocate(3), nullptr);
  for (int i = 0; i < 200; ++i) {
    Record* record = arena->make<Record>();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % alignof(Record), 0u);
    EXPECT_EQ(record->a, 0u);
    EXPECT_EQ(record->b, nullptr);
    record->a = ~0ull;
    ASSERT_NE(arena->allocate(1), nullptr);
  }
}

}  // namespace
}  // namespace kestrel
