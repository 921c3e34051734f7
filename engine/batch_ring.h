// The ring of batches through which file contents pass from the reader
// threads to the writer: 1 MiB batches of the data area, exactly as the files
// lie in the image. A batch is written once every reader has passed its end;
// its slot then serves the batch eight further on. Each reader notes in the
// batch where it happened what the writer is to report (bytes read, files
// that grew, the first failure), so that reports come in image order.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "disc/build_result.h"
#include "disc/volume_settings.h"
#include "platform/bulk_memory.h"
#include "platform/native_text.h"

namespace kestrel {

// A place in the data area, in sectors from its start.
using DataSector = uint64_t;

// Sectors of one batch (1 MiB), and batches in the ring: 8 MiB can be read
// ahead while the structures in front of the data area are written. A
// larger ring reads further ahead, but memory that a process touches for
// the first time is not free: on a virtual machine it can cost 3 ms per MiB,
// more than reading a MiB of small files.
inline constexpr uint32_t batch_sectors = 512;
inline constexpr size_t batch_bytes = size_t{batch_sectors} * sector_bytes;
inline constexpr uint64_t ring_batches = 8;
inline constexpr unsigned max_readers = 2;

// What one reader noted in one batch. `batch` says which batch the notes
// belong to: a ring slot serves batch after batch.
struct BatchNotes {
  uint64_t batch = UINT64_MAX;
  uint64_t content_bytes = 0;  // file bytes read (the rest is padding)
  // Files that have grown since the scan, cut at their scanned size.
  std::vector<std::pair<DataSector, NativeString>> grown;
  // A failure ends the contents: nothing of this batch is written.
  BuildError error = BuildError::none;
  DataSector error_sector = 0;
  NativeString error_path;
  SystemError system_error = 0;

  void start(uint64_t for_batch);
};

class BatchRing {
 public:
  BatchRing(DataSector total_sectors, unsigned reader_count);
  BatchRing(const BatchRing&) = delete;
  BatchRing& operator=(const BatchRing&) = delete;

  // Allocates the ring's memory; false when it is short.
  bool allocate();

  // The data area comes as this many batches; the last may be short (and is
  // empty when no file has data).
  uint64_t batch_count() const { return batch_count_; }
  uint32_t sectors_of(uint64_t batch) const;
  DataSector total_sectors() const { return total_sectors_; }
  unsigned reader_count() const { return reader_count_; }

  // --- Reader side ---

  // What one reader knows of its own progress through the ring.
  struct Lane {
    unsigned index = 0;
    DataSector told = 0;      // the frontier last told to the writer
    uint64_t free_below = 0;  // batches below this have a free slot
  };

  // The bytes of the data area at `sector`, in the slot of its batch.
  uint8_t* at(DataSector sector) const {
    return slot(sector / batch_sectors) +
           size_t{static_cast<uint32_t>(sector % batch_sectors)} * sector_bytes;
  }
  // Waits until the slot of `batch` is free of the batch it held before;
  // false once the writer has stopped the readers. (Called for every file:
  // the common case, a slot known to be free, takes no lock.)
  bool wait_for_slot(Lane& lane, uint64_t batch) {
    return batch < lane.free_below || wait_for_free_slot(lane, batch);
  }
  // The reader's notes on the batch that holds `sector`; null once stopped.
  BatchNotes* notes(Lane& lane, DataSector sector) {
    const uint64_t batch = std::min(sector / batch_sectors, batch_count_ - 1);
    if (!wait_for_slot(lane, batch)) return nullptr;
    BatchNotes& notes = notes_[batch % ring_batches][lane.index];
    if (notes.batch != batch) notes.start(batch);
    return &notes;
  }
  // Tells the writer that everything before `sector` is done, when that
  // completes a batch. A reader notes things only at its position, never
  // before what it has told: the writer may already be at that batch.
  void advance(Lane& lane, DataSector sector) {
    if (sector / batch_sectors == lane.told / batch_sectors && sector < total_sectors_) return;
    tell_frontier(lane, sector);
  }
  // The reader is done: everything up to the end is accounted for.
  void finish(const Lane& lane);
  bool stopping();
  // Whether to stop, as the readers look at it before each file or batch,
  // without the lock.
  bool stop_requested() const { return stop_requested_.load(std::memory_order_relaxed); }

  // --- Writer side ---

  // Waits until every reader has passed the end of `batch`.
  void wait_for(uint64_t batch);
  const uint8_t* data_of(uint64_t batch) const { return slot(batch); }
  // After wait_for: the notes of every reader on `batch`, warnings in image
  // order.
  void collect(uint64_t batch, BatchNotes& into);
  // Hands the batch's slot back to the readers.
  void release(uint64_t batch);
  // Tells the readers to stop at their next file or batch.
  void stop();

 private:
  bool wait_for_free_slot(Lane& lane, uint64_t batch);
  void tell_frontier(Lane& lane, DataSector sector);
  uint8_t* slot(uint64_t batch) const {
    return storage_.data() + (batch % ring_batches) * batch_bytes;
  }

  const DataSector total_sectors_;
  const uint64_t batch_count_;
  const unsigned reader_count_;
  BulkBuffer storage_;
  // Each reader's notes on the batch in each slot; a reader writes only its
  // own, and the writer reads them once every reader has passed the batch.
  BatchNotes notes_[ring_batches][max_readers];
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_: how far each reader has come, whether it is done,
  // the batches the writer is done with, and whether to stop.
  DataSector frontier_[max_readers] = {};
  bool finished_[max_readers] = {};
  uint64_t released_ = 0;
  bool stopping_ = false;
  std::atomic<bool> stop_requested_{false};
};

}  // namespace kestrel
