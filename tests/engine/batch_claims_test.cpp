// The readers share the data area by claiming its batches in image order:
// whatever their pace, every file has exactly one reader, and a reader that
// runs alone reads everything it comes to. The readers that do not start
// early wait until the writer lets them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "engine/batch_ring.h"

namespace kestrel::test {
namespace {

// The batch each file begins in, in image order: several small files to a
// batch, and now and then a file that runs on over the next batches, in
// which no file begins.
std::vector<uint64_t> file_batches(uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint64_t> batches;
  uint64_t batch = 0;
  for (int i = 0; i < 4000; ++i) {
    batches.push_back(batch);
    switch (random() % 8) {
      case 0: batch += 1 + random() % 5; break;  // a large file
      case 1: ++batch; break;
      default: break;  // the next file begins in the same batch
    }
  }
  return batches;
}

DataSector sectors_of(const std::vector<uint64_t>& batches) {
  return (batches.back() + 1) * batch_sectors;
}

// Two readers that take turns as `schedule` says (true: the first takes a
// step), each asking about every file in image order.
std::vector<int> owners_taking_turns(const std::vector<uint64_t>& batches,
                                     const std::vector<bool>& schedule) {
  BatchRing ring(sectors_of(batches), 2, 2);
  BatchRing::Lane lanes[2];
  lanes[1].index = 1;
  size_t next[2] = {0, 0};
  std::vector<int> owners(batches.size(), 0);
  const auto step = [&](int reader) {
    if (next[reader] == batches.size()) return;
    const size_t file = next[reader]++;
    if (ring.owns(lanes[reader], batches[file])) owners[file] += reader + 1;
  };
  for (const bool first : schedule) step(first ? 0 : 1);
  for (size_t i = 0; i < batches.size(); ++i) {
    step(0);
    step(1);
  }
  return owners;
}

TEST(BatchClaims, EveryFileHasOneReaderWhicheverReaderIsAhead) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    const std::vector<uint64_t> batches = file_batches(seed);
    std::mt19937 random(seed * 7919);
    std::vector<bool> schedule(batches.size() * 2);
    // Runs of steps by one reader, of any length, as threads get the
    // processor.
    for (size_t i = 0; i < schedule.size();) {
      const bool first = random() % 2 == 0;
      for (size_t run = 1 + random() % 300; run > 0 && i < schedule.size(); --run)
        schedule[i++] = first;
    }
    const std::vector<int> owners = owners_taking_turns(batches, schedule);
    for (size_t file = 0; file < owners.size(); ++file) {
      ASSERT_TRUE(owners[file] == 1 || owners[file] == 2) << "seed " << seed << ", file " << file;
      // The files of one batch are one reader's: a group reads them at once.
      if (file > 0 && batches[file] == batches[file - 1]) {
        ASSERT_EQ(owners[file], owners[file - 1]) << "seed " << seed << ", file " << file;
      }
    }
  }
}

TEST(BatchClaims, AReaderAheadOfTheOtherReadsWhatItComesTo) {
  const std::vector<uint64_t> batches = file_batches(3);
  // The first reader alone reads the first half, then the second catches up
  // and passes it; from there the second reads everything.
  std::vector<bool> schedule(batches.size() / 2, true);
  schedule.resize(batches.size() * 3 / 2, false);
  const std::vector<int> owners = owners_taking_turns(batches, schedule);
  // The rest of the batch the first reader had come to is still its own.
  const uint64_t first_readers_last = batches[batches.size() / 2 - 1];
  for (size_t file = 0; file < batches.size(); ++file) {
    const int expected = batches[file] <= first_readers_last ? 1 : 2;
    ASSERT_EQ(owners[file], expected) << file;
  }
}

TEST(BatchClaims, ThreadsClaimingAtOnceShareEveryFileOnce) {
  const std::vector<uint64_t> batches = file_batches(11);
  BatchRing ring(sectors_of(batches), 2, 2);
  std::vector<std::atomic<int>> owners(batches.size());
  const auto walk = [&](unsigned reader) {
    BatchRing::Lane lane;
    lane.index = reader;
    for (size_t file = 0; file < batches.size(); ++file) {
      if (ring.owns(lane, batches[file])) owners[file].fetch_add(1);
    }
  };
  std::thread second(walk, 1u);
  walk(0);
  second.join();
  for (size_t file = 0; file < batches.size(); ++file) ASSERT_EQ(owners[file].load(), 1) << file;
}

// A reader that does not start early waits for the writer, or for a stop.
TEST(BatchClaims, TheLateReaderWaitsUntilTheWriterLetsItStart) {
  for (const bool stop : {false, true}) {
    BatchRing ring(4 * batch_sectors, 2, 1);
    BatchRing::Lane early, late;
    late.index = 1;
    EXPECT_TRUE(ring.wait_to_start(early));
    std::atomic<int> started{-1};
    std::thread reader([&] { started = ring.wait_to_start(late) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(started.load(), -1) << "the late reader started before the writer let it";
    if (stop) {
      ring.stop();
    } else {
      ring.let_all_readers_start();
    }
    reader.join();
    EXPECT_EQ(started.load(), stop ? 0 : 1);
  }
}

}  // namespace
}  // namespace kestrel::test
