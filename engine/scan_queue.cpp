#include "engine/scan_queue.h"

#include <system_error>
#include <utility>

namespace kestrel {

bool FolderCursor::next(const NativeString& path, FindEntry& entry) {
  if (taken_ < ahead_.size()) {
    entry = std::move(ahead_[taken_++]);
    return true;
  }
  if (ended_) return false;
  if (!started_) {
    started_ = true;
    if (listed_ != nullptr) return finder_.find_first_listed(path, *listed_, entry);
    return finder_.find_first(path, entry, DotEntries::leave_out);
  }
  return finder_.find_next(entry);
}

void FolderCursor::list_ahead(const NativeString& path, size_t limit) {
  started_ = true;
  FindEntry entry;
  bool found = finder_.find_first(path, entry, DotEntries::leave_out);
  while (found) {
    ahead_.push_back(std::move(entry));
    if (ahead_.size() == limit) return;
    found = finder_.find_next(entry);
  }
  ended_ = true;
}

ScanQueue::ScanQueue(bool list_ahead) {
  if (!list_ahead) return;
  // Without a helper, where the system starts no thread, every folder is
  // listed by the scan as it takes it: slower, and otherwise the same.
  try {
    helper_ = std::thread([this] { run_helper(); });
  } catch (const std::system_error&) {
  }
}

ScanQueue::~ScanQueue() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
}

void ScanQueue::push(std::vector<PendingFolder>& folders) {
  {
    std::lock_guard lock(mutex_);
    // The first to be listed goes last, where take() finds it.
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
      items_.push_back(Item{std::move(*folder), nullptr, Listing::not_begun});
  }
  folders.clear();
  changed_.notify_all();
}

bool ScanQueue::empty() const {
  std::lock_guard lock(mutex_);
  return items_.empty();
}

ScanQueue::Taken ScanQueue::take() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return items_.back().listing != Listing::ahead_in_progress; });
  Item& item = items_.back();
  const bool was_ahead = item.listing == Listing::ahead_done;
  Taken taken{std::move(item.folder), std::move(item.cursor)};
  items_.pop_back();
  if (was_ahead) --listed_ahead_;
  lock.unlock();
  // The helper may list one more now.
  if (was_ahead) changed_.notify_all();
  if (taken.cursor == nullptr) taken.cursor = std::make_unique<FolderCursor>();
  return taken;
}

size_t ScanQueue::folders_listed_ahead() const {
  std::lock_guard lock(mutex_);
  return folders_listed_ahead_;
}

ScanQueue::Item* ScanQueue::next_for_helper() {
  if (listed_ahead_ >= max_folders_ahead) return nullptr;
  // The first folder not begun from the back is the one the scan lists
  // next, itself: the helper takes the one after it, so that the two list
  // side by side instead of the scan waiting for the helper's every folder.
  bool passed_the_scans = false;
  for (auto item = items_.rbegin(); item != items_.rend(); ++item) {
    if (item->listing != Listing::not_begun) continue;
    if (passed_the_scans) return &*item;
    passed_the_scans = true;
  }
  return nullptr;
}

void ScanQueue::run_helper() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Item* item = nullptr;
    changed_.wait(lock, [&] { return quit_ || (item = next_for_helper()) != nullptr; });
    if (quit_) return;
    item->listing = Listing::ahead_in_progress;
    // Nobody else touches an item while it is being listed ahead: the scan
    // waits for it, and the queue changes only at its back.
    lock.unlock();
    auto cursor = std::make_unique<FolderCursor>();
    cursor->list_ahead(item->folder.path, entries_ahead);
    lock.lock();
    item->cursor = std::move(cursor);
    item->listing = Listing::ahead_done;
    ++listed_ahead_;
    ++folders_listed_ahead_;
    changed_.notify_all();
  }
}

}  // namespace kestrel
