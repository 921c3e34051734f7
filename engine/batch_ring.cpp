#include "engine/batch_ring.h"

#include <algorithm>

namespace kestrel {

void BatchNotes::start(uint64_t for_batch) {
  batch = for_batch;
  content_bytes = 0;
  grown.clear();
  error = BuildError::none;
  error_path.clear();
  system_error = 0;
}

BatchRing::BatchRing(DataSector total_sectors, unsigned reader_count, unsigned early_readers)
    : total_sectors_(total_sectors),
      batch_count_(std::max<uint64_t>(1, (total_sectors + batch_sectors - 1) / batch_sectors)),
      reader_count_(std::clamp(reader_count, 1u, max_readers)),
      early_readers_(std::clamp(early_readers, 1u, reader_count_)),
      slot_count_(std::min(batch_count_, ring_batches)) {}

bool BatchRing::allocate() {
  return storage_.allocate(static_cast<size_t>(slot_count_) * batch_bytes);
}

bool BatchRing::wait_to_start(const Lane& lane) {
  std::unique_lock lock(mutex_);
  readers_wake_.wait(
      lock, [&] { return stopping_ || all_readers_start_ || lane.index < early_readers_; });
  return !stopping_;
}

void BatchRing::let_all_readers_start() {
  {
    std::lock_guard lock(mutex_);
    all_readers_start_ = true;
  }
  readers_wake_.notify_all();
}

uint32_t BatchRing::sectors_of(uint64_t batch) const {
  return static_cast<uint32_t>(std::min<uint64_t>(
      batch_sectors, total_sectors_ - std::min(total_sectors_, batch * batch_sectors)));
}

bool BatchRing::wait_for_free_slot(Lane& lane, uint64_t batch) {
  std::unique_lock lock(mutex_);
  if (batch >= released_ + slot_count_) {
    // The ring is full: wait until this batch and the next few have slots
    // (which the writer's last release always gives: batch + per_wake - 1
    // lies below batch_count_ + slot_count_).
    const uint64_t needed = batch + batches_per_wake() - slot_count_;
    while (!stopping_ && released_ < needed) {
      readers_wait_for_release_ = std::min(readers_wait_for_release_, needed);
      readers_wake_.wait(lock);
    }
  }
  lane.free_below = released_ + slot_count_;
  return !stopping_;
}

void BatchRing::tell_frontier(Lane& lane, DataSector sector) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    frontier_[lane.index] = sector;
    wake = writer_may_go_on();
  }
  lane.told = sector;
  if (wake) writer_wake_.notify_one();
}

void BatchRing::finish(const Lane& lane) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    frontier_[lane.index] = total_sectors_;
    finished_[lane.index] = true;
    wake = writer_may_go_on();
  }
  if (wake) writer_wake_.notify_one();
}

bool BatchRing::stopping() {
  std::lock_guard lock(mutex_);
  return stopping_;
}

bool BatchRing::readers_passed(DataSector end, bool last) const {
  for (unsigned reader = 0; reader < reader_count_; ++reader) {
    if (frontier_[reader] < end || (last && !finished_[reader])) return false;
  }
  return true;
}

void BatchRing::wait_for(uint64_t batch) {
  const DataSector end = std::min(total_sectors_, (batch + 1) * batch_sectors);
  const bool last = batch + 1 == batch_count_;
  std::unique_lock lock(mutex_);
  if (readers_passed(end, last)) return;
  // Once it has to wait, the writer waits for the next few batches too, or
  // for the end of the data area.
  const uint64_t until_batch = std::min(batch_count_ - 1, batch + batches_per_wake() - 1);
  writer_waits_for_ = std::min(total_sectors_, (until_batch + 1) * batch_sectors);
  writer_waits_last_ = until_batch + 1 == batch_count_;
  writer_wake_.wait(
      lock, [&] { return stopping_ || readers_passed(writer_waits_for_, writer_waits_last_); });
  writer_waits_for_ = no_wait;
}

std::optional<DataSector> BatchRing::readers_failure(uint64_t batch) const {
  std::optional<DataSector> first;
  for (unsigned lane = 0; lane < reader_count_; ++lane) {
    const BatchNotes& notes = notes_[batch % slot_count_][lane];
    if (notes.batch == batch && notes.error != BuildError::none)
      first = std::min(first.value_or(notes.error_sector), notes.error_sector);
  }
  return first;
}

void BatchRing::collect(uint64_t batch, BatchNotes& into) {
  into.start(batch);
  for (unsigned lane = 0; lane <= writer_lane; ++lane) {
    if (lane >= reader_count_ && lane != writer_lane) continue;
    BatchNotes& notes = notes_[batch % slot_count_][lane];
    if (notes.batch != batch) continue;
    into.content_bytes += notes.content_bytes;
    into.grown.insert(into.grown.end(), std::make_move_iterator(notes.grown.begin()),
                      std::make_move_iterator(notes.grown.end()));
    if (notes.error != BuildError::none &&
        (into.error == BuildError::none || notes.error_sector < into.error_sector)) {
      into.error = notes.error;
      into.error_sector = notes.error_sector;
      into.error_path = notes.error_path;
      into.system_error = notes.system_error;
    }
  }
  // Warnings in image order, whichever reader noted them.
  std::stable_sort(into.grown.begin(), into.grown.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

void BatchRing::release(uint64_t batch) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    released_ = batch + 1;
    if (released_ >= readers_wait_for_release_) {
      readers_wait_for_release_ = no_wait;
      wake = true;
    }
  }
  if (wake) readers_wake_.notify_all();
}

void BatchRing::stop() {
  stop_requested_.store(true, std::memory_order_relaxed);
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  readers_wake_.notify_all();
  writer_wake_.notify_all();
}

}  // namespace kestrel
