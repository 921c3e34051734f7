// The folders the scan has still to list, and a second thread that lists
// them ahead of it.
//
// The scan lists one folder at a time, depth first: the folder it lists
// next is the one queued last. Listing a folder of small files is mostly
// the system's work, one examination per entry, which one thread does one
// call after another. Where the machine has a second processor, a helper
// thread lists the first entries of the folder the scan comes to after its
// next one, while the scan lists that next one itself, so that two folders
// are listed at once; the scan takes the helper's listing when it comes to
// the folder and lists the rest of it itself. The entries, and so the tree and everything it
// reports, come out exactly as one thread alone would list them; a folder that cannot be listed is
// reported by the scan when it comes to it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "disc/source_node.h"
#include "platform/file_system.h"

namespace kestrel {

// A folder whose entries are still to be listed.
struct PendingFolder {
  SourceNode* node;
  NativeString path;  // ends in a separator
  size_t identity;    // the scan's index of the folder's identity
};

// One folder's listing as the scan reads it: the entries listed ahead of it,
// if any, then whatever the finder lists after them. "." and ".." are left
// out.
class FolderCursor {
 public:
  // The next entry in listing order; false at the end, or when the listing
  // failed (last_error says why).
  bool next(const NativeString& path, FindEntry& entry);
  SystemError last_error() const { return finder_.last_error(); }

  // Lists up to `limit` entries ahead, before the scan asks for them.
  void list_ahead(const NativeString& path, size_t limit);
  // The folder's names as a listing of it gave them moments ago: they are
  // examined in that order, and the folder is not listed again. Before the
  // first next(); `names` must outlive the cursor's use. `sorted`: the names
  // are in byte order.
  void use_listing(const std::vector<NativeString>& names, bool sorted) {
    listed_ = &names;
    listed_sorted_ = sorted;
  }
  // Whether the entries come in byte order of their names.
  bool in_name_order() const {
    return listed_ != nullptr && listed_sorted_ && DirectoryFinder::keeps_listed_order;
  }

 private:
  DirectoryFinder finder_;
  const std::vector<NativeString>* listed_ = nullptr;
  bool listed_sorted_ = false;
  std::vector<FindEntry> ahead_;
  size_t taken_ = 0;  // entries of ahead_ handed out
  bool started_ = false;
  bool ended_ = false;  // the finder has reported its end
};

class ScanQueue {
 public:
  // Folders listed ahead and not yet taken, at most; and the entries of
  // each listed ahead (one window of the POSIX listing).
  static constexpr size_t max_folders_ahead = 8;
  static constexpr size_t entries_ahead = 1024;

  // With `list_ahead` a helper thread lists folders ahead of the scan.
  explicit ScanQueue(bool list_ahead);
  ~ScanQueue();
  ScanQueue(const ScanQueue&) = delete;
  ScanQueue& operator=(const ScanQueue&) = delete;

  // Queues sub-folders in the order they are to be listed, the first first.
  void push(std::vector<PendingFolder>& folders);
  bool empty() const;

  // Takes the folder queued last, with its listing: begun by the helper, or
  // not begun. Waits while the helper is listing it. Not when empty().
  struct Taken {
    PendingFolder folder;
    std::unique_ptr<FolderCursor> cursor;
  };
  Taken take();

  // Folders the helper has listed ahead so far.
  size_t folders_listed_ahead() const;

 private:
  enum class Listing : uint8_t { not_begun, ahead_in_progress, ahead_done };
  struct Item {
    PendingFolder folder;
    std::unique_ptr<FolderCursor> cursor;
    Listing listing = Listing::not_begun;
  };

  void run_helper();
  // The item queued last that nobody lists yet, or null; under the lock.
  Item* next_for_helper();

  // Elements stay where they are while others are added or taken at the
  // back, so the helper keeps its item while the scan queues more.
  std::deque<Item> items_;
  size_t listed_ahead_ = 0;  // items ahead_done, not yet taken
  size_t folders_listed_ahead_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool quit_ = false;
  std::thread helper_;
};

}  // namespace kestrel
