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
  changed_.wait(lock,
                [&] { return stopping_ || all_readers_start_ || lane.index < early_readers_; });
  return !stopping_;
}

void BatchRing::let_all_readers_start() {
  {
    std::lock_guard lock(mutex_);
    all_readers_start_ = true;
  }
  changed_.notify_all();
}

uint32_t BatchRing::sectors_of(uint64_t batch) const {
  return static_cast<uint32_t>(std::min<uint64_t>(
      batch_sectors, total_sectors_ - std::min(total_sectors_, batch * batch_sectors)));
}

bool BatchRing::wait_for_free_slot(Lane& lane, uint64_t batch) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopping_ || batch < released_ + slot_count_; });
  lane.free_below = released_ + slot_count_;
  return !stopping_;
}

void BatchRing::tell_frontier(Lane& lane, DataSector sector) {
  {
    std::lock_guard lock(mutex_);
    frontier_[lane.index] = sector;
  }
  lane.told = sector;
  changed_.notify_all();
}

void BatchRing::finish(const Lane& lane) {
  {
    std::lock_guard lock(mutex_);
    frontier_[lane.index] = total_sectors_;
    finished_[lane.index] = true;
  }
  changed_.notify_all();
}

bool BatchRing::stopping() {
  std::lock_guard lock(mutex_);
  return stopping_;
}

void BatchRing::wait_for(uint64_t batch) {
  const DataSector end = std::min(total_sectors_, (batch + 1) * batch_sectors);
  const bool last = batch + 1 == batch_count_;
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    for (unsigned reader = 0; reader < reader_count_; ++reader) {
      if (frontier_[reader] < end || (last && !finished_[reader])) return false;
    }
    return true;
  });
}

void BatchRing::collect(uint64_t batch, BatchNotes& into) {
  into.start(batch);
  for (unsigned reader = 0; reader < reader_count_; ++reader) {
    BatchNotes& notes = notes_[batch % slot_count_][reader];
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
  {
    std::lock_guard lock(mutex_);
    released_ = batch + 1;
  }
  changed_.notify_all();
}

void BatchRing::stop() {
  stop_requested_.store(true, std::memory_order_relaxed);
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
}

}  // namespace kestrel
