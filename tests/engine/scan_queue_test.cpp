// The scan's queue of folders, with and without the helper that lists them
// ahead: every folder and every entry comes out in the order one thread
// alone lists them, also for folders longer than what the helper lists
// ahead, and for empty ones.
#include "engine/scan_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_folder.h"

namespace kestrel::test {
namespace {

// What a walk saw: for each folder in the order taken, its path and its
// entries' names and sizes in listing order.
struct SeenFolder {
  NativeString path;
  std::vector<std::pair<NativeString, uint64_t>> entries;
  bool operator==(const SeenFolder&) const = default;
};

// Walks `root` as the scan does: take the folder queued last, list it whole,
// queue its sub-folders in the order listed.
std::vector<SeenFolder> walk(const NativeString& root, bool list_ahead, size_t* listed_ahead) {
  std::vector<SeenFolder> seen;
  ScanQueue queue(list_ahead);
  std::vector<PendingFolder> sub_folders{PendingFolder{nullptr, root + native_separator, 0}};
  queue.push(sub_folders);
  while (!queue.empty()) {
    const ScanQueue::Taken taken = queue.take();
    SeenFolder folder{taken.folder.path, {}};
    FindEntry entry;
    while (taken.cursor->next(taken.folder.path, entry)) {
      folder.entries.emplace_back(entry.name, entry.is_directory ? 0 : entry.size);
      if (entry.is_directory)
        sub_folders.push_back(
            PendingFolder{nullptr, taken.folder.path + entry.name + native_separator, 0});
    }
    EXPECT_EQ(taken.cursor->last_error(), 0) << taken.folder.path;
    queue.push(sub_folders);
    seen.push_back(std::move(folder));
  }
  if (listed_ahead != nullptr) *listed_ahead = queue.folders_listed_ahead();
  return seen;
}

TEST(ScanQueue, EveryFolderAndEntryComesOutInOneThreadsOrderWithTheHelper) {
  ScratchFolder source("scan-queue");
  // Folders of a few files, nested three deep, an empty one, and folders
  // longer than the helper lists ahead, one of them with sub-folders after
  // that point.
  for (int top = 0; top < 6; ++top) {
    for (int middle = 0; middle < 4; ++middle) {
      const std::string folder = "t" + std::to_string(top) + "/m" + std::to_string(middle);
      for (int file = 0; file < 5; ++file)
        source.file(folder + "/f" + std::to_string(file), 100 * top + 10 * middle + file);
      source.file(folder + "/deep/leaf", 7);
    }
  }
  source.folder("empty");
  const size_t long_folder = ScanQueue::entries_ahead + 300;
  for (size_t file = 0; file < long_folder; ++file) {
    source.file("long/f" + std::to_string(file), file % 97);
    source.file("long2/f" + std::to_string(file), 0);
  }
  source.file("long/zz-sub/after", 3);
  source.file("long/zz-sub2/after", 4);

  const std::vector<SeenFolder> alone = walk(source.path(), false, nullptr);
  size_t listed_ahead = 0;
  const std::vector<SeenFolder> helped = walk(source.path(), true, &listed_ahead);
  EXPECT_GT(listed_ahead, 0u) << "the helper listed no folder ahead";
  // Each folder exactly once, every entry of it.
  // The root, t*, t*/m*, t*/m*/deep, empty, long, long2, long/zz-sub*.
  ASSERT_EQ(alone.size(), 1u + 6u + 24u + 24u + 1u + 2u + 2u);
  size_t entries = 0;
  for (const SeenFolder& folder : alone) entries += folder.entries.size();
  // The root's 9, t*'s 4 each, m*'s 6 each, deep's leaf, the long folders
  // and the two sub-folders of one, their files.
  EXPECT_EQ(entries, 9u + 6u * 4u + 24u * 6u + 24u + 2u * long_folder + 2u + 2u);
  ASSERT_EQ(helped.size(), alone.size());
  for (size_t i = 0; i < alone.size(); ++i) {
    EXPECT_EQ(helped[i].path, alone[i].path);
    EXPECT_EQ(helped[i].entries.size(), alone[i].entries.size()) << alone[i].path;
    EXPECT_TRUE(helped[i] == alone[i]) << "entries differ in " << alone[i].path;
  }
}

TEST(ScanQueue, AMissingFolderFailsWhenItsTurnComes) {
  ScratchFolder source("scan-queue-missing");
  source.file("a/one", 1);
  for (bool list_ahead : {false, true}) {
    ScanQueue queue(list_ahead);
    std::vector<PendingFolder> folders{
        PendingFolder{nullptr, source.at("gone") + native_separator, 0},
        PendingFolder{nullptr, source.at("a") + native_separator, 0}};
    queue.push(folders);
    // The first pushed is taken first.
    ScanQueue::Taken taken = queue.take();
    EXPECT_EQ(taken.folder.path, source.at("gone") + native_separator);
    FindEntry entry;
    EXPECT_FALSE(taken.cursor->next(taken.folder.path, entry));
    EXPECT_NE(taken.cursor->last_error(), 0);
    taken = queue.take();
    ASSERT_TRUE(taken.cursor->next(taken.folder.path, entry));
    EXPECT_EQ(entry.name, NativeString(KESTREL_NATIVE("one")));
    EXPECT_TRUE(queue.empty());
  }
}

}  // namespace
}  // namespace kestrel::test
