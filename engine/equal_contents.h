// Finding the files of one size whose contents are equal, reading no more of
// them than it takes to tell them apart: first a hash of each file's first
// 64 KiB, then, among more than two files that still agree, a hash of the
// whole file, and before any two are taken for equal a comparison of every
// byte, so that a collision of hashes never joins two different files.
#pragma once

#include <memory>
#include <vector>

#include "disc/source_node.h"

namespace kestrel {

class ImageWriter;

struct EqualityCandidate {
  SourceNode* node = nullptr;
  bool may_point_elsewhere = true;  // false: it may only be the copy others point at
};

// A file whose contents equal an earlier one's, which holds the copy.
struct EqualFiles {
  SourceNode* file = nullptr;
  SourceNode* copy = nullptr;
};

class EqualContentFinder {
 public:
  explicit EqualContentFinder(ImageWriter& writer);
  ~EqualContentFinder();
  EqualContentFinder(const EqualContentFinder&) = delete;
  EqualContentFinder& operator=(const EqualContentFinder&) = delete;

  // `files` are of one size, in scan order. Appends to `equal` each file
  // that may point elsewhere and equals an earlier file. A file that cannot
  // be read is equal to none: its copy fails the build later, with the
  // reason. False, with the build failed, when it was cancelled.
  bool find(const std::vector<EqualityCandidate>& files, std::vector<EqualFiles>& equal);

  struct Buffers;

 private:
  ImageWriter& writer_;
  std::unique_ptr<Buffers> buffers_;
};

}  // namespace kestrel
