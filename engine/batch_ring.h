// The ring of batches through which file contents pass from the reader
// threads to the writer: 1 MiB batches of the data area, exactly as the files
// lie in the image. A batch is written once every reader has passed its end;
// its slot then serves the batch a ring's length further on. Each reader
// notes in the batch where it happened what the writer is to report (bytes
// read, files that grew, the first failure), so that reports come in image
// order.
//
// The readers share the batches by claiming them in image order: a file
// belongs to the reader that claimed the batch where it begins, so whichever
// reader is free reads the next files. While the writer is busy with the
// structures in front of the data area only the readers that have a
// processor of their own start; on two processors that is one, which fills
// the ring alone on the processor the writer leaves free, and the other
// joins it once the writer reaches the data area.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "disc/build_result.h"
#include "disc/volume_settings.h"
#include "platform/bulk_memory.h"
#include "platform/native_text.h"

namespace kestrel {

// A place in the data area, in sectors from its start.
using DataSector = uint64_t;

// Sectors of one batch (1 MiB), and batches in the ring at most: up to
// 32 MiB of files are read ahead while the structures in front of the data
// area are written, which for small files is about as long as writing those
// structures takes one processor. The ring is no longer than the data area:
// memory a process touches for the first time is not free.
inline constexpr uint32_t batch_sectors = 512;
inline constexpr size_t batch_bytes = size_t{batch_sectors} * sector_bytes;
inline constexpr uint64_t ring_batches = 32;
inline constexpr unsigned max_readers = 2;
// The lane of the writer, which copies the large files itself (a batch at a
// time, before it writes the batch) and notes what happened beside the
// readers' notes.
inline constexpr unsigned writer_lane = max_readers;

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
  // `early_readers` of the readers start at once, the others when the
  // writer reaches the data area (let_all_readers_start).
  BatchRing(DataSector total_sectors, unsigned reader_count, unsigned early_readers);
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
    // The batch this reader claimed last, plus one; 0 before its first.
    uint64_t claimed_end = 0;
  };

  // Waits until the reader may start; false once the writer has stopped the
  // readers.
  bool wait_to_start(const Lane& lane);

  // Whether the file that begins in `batch` is this reader's, as the reader
  // comes to it in image order: yes when the reader has claimed the batch,
  // no when another has; a batch no one has claimed yet is claimed by this
  // reader. Every reader asks about every file, so each file has exactly one
  // owner, and the files that begin in one batch have the same. (A claim
  // may pass over batches that no file begins in: the parts of a large file
  // that began before them.)
  bool owns(Lane& lane, uint64_t batch) {
    if (batch + 1 == lane.claimed_end) return true;
    uint64_t unclaimed = claimed_until_.load(std::memory_order_acquire);
    while (batch >= unclaimed) {
      if (claimed_until_.compare_exchange_weak(unclaimed, batch + 1, std::memory_order_acq_rel)) {
        lane.claimed_end = batch + 1;
        return true;
      }
    }
    return false;
  }

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
    BatchNotes& notes = notes_[batch % slot_count_][lane.index];
    if (notes.batch != batch) notes.start(batch);
    return &notes;
  }
  // Tells the writer that everything before `sector` is done, when that
  // completes a batch. A reader notes things only at its position, never
  // before what it has told: the writer may already be at that batch.
  void advance(Lane& lane, DataSector sector) {
    if (lane.index == writer_lane) return;  // the writer waits for no one
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

  // The writer has come to the data area: every reader may start.
  void let_all_readers_start();
  // Waits until every reader has passed the end of `batch`.
  void wait_for(uint64_t batch);
  const uint8_t* data_of(uint64_t batch) const { return slot(batch); }
  // After wait_for: where the first failure a reader noted in `batch` lies,
  // if one did. The writer copies its own files only up to there.
  std::optional<DataSector> readers_failure(uint64_t batch) const;
  // After wait_for, and once the writer has copied its own part of `batch`:
  // the notes of every reader and of the writer on it, warnings in image
  // order. The notes are moved out: once per batch.
  void collect(uint64_t batch, BatchNotes& into);
  // Hands the batch's slot back to the readers.
  void release(uint64_t batch);
  // Tells the readers to stop at their next file or batch.
  void stop();

 private:
  bool wait_for_free_slot(Lane& lane, uint64_t batch);
  void tell_frontier(Lane& lane, DataSector sector);
  // Batches a waiting thread waits for beyond the one it needs: a full
  // ring waits for a quarter of it to be free, and the writer for as many
  // batches to be read, so that one wake-up serves several batches (a
  // thread woken on another processor costs tens of microseconds on a
  // virtual machine, as much as writing a batch).
  uint64_t batches_per_wake() const { return std::max<uint64_t>(1, slot_count_ / 4); }
  // With the lock held: whether every reader has passed `end`, and is done
  // where `last`.
  bool readers_passed(DataSector end, bool last) const;
  // With the lock held: whether the writer waits and may now go on.
  bool writer_may_go_on() const {
    return writer_waits_for_ != no_wait && readers_passed(writer_waits_for_, writer_waits_last_);
  }
  uint8_t* slot(uint64_t batch) const {
    return storage_.data() + (batch % slot_count_) * batch_bytes;
  }

  const DataSector total_sectors_;
  const uint64_t batch_count_;
  const unsigned reader_count_;
  const unsigned early_readers_;
  const uint64_t slot_count_;  // batches the ring holds
  BulkBuffer storage_;
  // Each reader's notes on the batch in each slot, and the writer's; a reader
  // writes only its own, and the writer reads them once every reader has
  // passed the batch.
  BatchNotes notes_[ring_batches][max_readers + 1];
  std::mutex mutex_;
  std::condition_variable readers_wake_;  // a slot is free, the start, a stop
  std::condition_variable writer_wake_;   // the readers have read far enough
  // Guarded by mutex_: how far each reader has come, whether it is done,
  // the batches the writer is done with, and whether to stop; what the
  // waiting threads wait for, so that only a change they wait for wakes
  // them.
  static constexpr uint64_t no_wait = UINT64_MAX;
  DataSector frontier_[max_readers] = {};
  bool finished_[max_readers] = {};
  uint64_t released_ = 0;
  bool stopping_ = false;
  bool all_readers_start_ = false;
  uint64_t readers_wait_for_release_ = no_wait;  // the least a waiting reader needs
  DataSector writer_waits_for_ = no_wait;
  bool writer_waits_last_ = false;
  std::atomic<bool> stop_requested_{false};
  // Batches below this have been claimed by a reader.
  std::atomic<uint64_t> claimed_until_{0};
};

}  // namespace kestrel
