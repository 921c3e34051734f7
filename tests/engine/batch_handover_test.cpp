// Readers fill the ring's slots and the writer empties them, each waking the
// other only now and then: a full ring wakes its readers once several slots
// are free, and a writer that had to wait goes on once several batches are
// done. Whatever the size of the data area (a ring of one slot, of a few, or
// full size) and whoever is ahead, no one waits forever, the writer sees
// each batch only once every sector of it has been written, and no reader
// writes into a slot the writer has not handed back.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "engine/batch_ring.h"

namespace kestrel::test {
namespace {

struct File {
  DataSector at = 0;
  uint32_t sectors = 0;
  uint8_t stamp = 0;
};

// Files that fill `batches` batches: mostly a few sectors each, now and then
// one that runs over several batches, and some that the writer copies (the
// readers pass over them).
std::vector<File> files_filling(uint64_t batches, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<File> files;
  const DataSector total = batches * batch_sectors - random() % batch_sectors;
  for (DataSector at = 0; at < total;) {
    const uint64_t wanted =
        random() % 10 == 0 ? batch_sectors + random() % (3 * batch_sectors) : 1 + random() % 40;
    const auto sectors = static_cast<uint32_t>(std::min<DataSector>(wanted, total - at));
    files.push_back({at, sectors, static_cast<uint8_t>(1 + files.size() % 255)});
    at += sectors;
  }
  return files;
}

bool left_to_writer(const File& file) {
  return file.sectors >= batch_sectors && file.stamp % 2 == 0;
}

// One reader's walk, as the content readers make it: a file is copied by the
// reader that owns the batch where it begins, sector by sector into the slot
// of each batch it covers, telling the writer how far it has come.
void read_files(BatchRing& ring, unsigned index, const std::vector<File>& files) {
  BatchRing::Lane lane;
  lane.index = index;
  if (!ring.wait_to_start(lane)) return ring.finish(lane);
  for (const File& file : files) {
    const DataSector end = file.at + file.sectors;
    if (!left_to_writer(file) && ring.owns(lane, file.at / batch_sectors)) {
      for (DataSector at = file.at; at < end; ++at) {
        if (ring.notes(lane, at) == nullptr) return ring.finish(lane);
        *ring.at(at) = file.stamp;
        ring.advance(lane, at + 1);
      }
    }
    ring.advance(lane, end);
  }
  ring.finish(lane);
}

// The writer's side: checks each batch's sectors as the readers left them,
// fills its own files' sectors in, and hands the slot back. Returns the
// sectors it found wrong.
uint64_t write_batches(BatchRing& ring, const std::vector<File>& files) {
  std::vector<uint8_t> expected(ring.total_sectors());
  for (const File& file : files) {
    for (DataSector at = file.at; at < file.at + file.sectors; ++at)
      expected[at] = left_to_writer(file) ? 0 : file.stamp;
  }
  ring.let_all_readers_start();
  uint64_t wrong = 0;
  BatchNotes notes;
  for (uint64_t batch = 0; batch < ring.batch_count(); ++batch) {
    ring.wait_for(batch);
    const DataSector start = batch * batch_sectors;
    for (uint32_t sector = 0; sector < ring.sectors_of(batch); ++sector) {
      const uint8_t* bytes = ring.data_of(batch) + size_t{sector} * sector_bytes;
      if (expected[start + sector] != 0 && *bytes != expected[start + sector]) ++wrong;
    }
    ring.collect(batch, notes);
    // Scribble over the slot as the writer's own copies may not: a reader
    // that wrote early would have its stamp overwritten.
    for (uint32_t sector = 0; sector < ring.sectors_of(batch); ++sector)
      *ring.at(start + sector) = 0;
    ring.release(batch);
  }
  return wrong;
}

TEST(BatchHandover, EveryBatchIsWholeWhenTheWriterTakesItWhateverTheRingSize) {
  // A ring of one slot, of a few (where each wake-up is for one batch), of
  // several batches to a wake-up, full size, and a data area much longer
  // than the ring.
  for (const uint64_t batches : {1u, 2u, 3u, 7u, 8u, 9u, 31u, 32u, 33u, 200u}) {
    for (unsigned readers = 1; readers <= max_readers; ++readers) {
      const std::vector<File> files =
          files_filling(batches, static_cast<uint32_t>(batches * 3 + readers));
      const DataSector total = files.back().at + files.back().sectors;
      BatchRing ring(total, readers, 1);
      ASSERT_TRUE(ring.allocate());
      std::vector<std::thread> threads;
      for (unsigned index = 0; index < readers; ++index)
        threads.emplace_back(read_files, std::ref(ring), index, std::cref(files));
      EXPECT_EQ(write_batches(ring, files), 0u) << batches << " batches, " << readers << " readers";
      for (std::thread& thread : threads) thread.join();
    }
  }
}

}  // namespace
}  // namespace kestrel::test
