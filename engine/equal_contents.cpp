#include "engine/equal_contents.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "engine/image_writer.h"

namespace kestrel {
namespace {

// Files of one size are first told apart by their first 64 KiB: most files
// that differ differ there, and a file of at most this size is then read
// only once more, for the comparison.
constexpr size_t head_bytes = 64 * 1024;
// Whole files are hashed and compared in pieces of this size.
constexpr size_t piece_bytes = 1024 * 1024;

// A 64-bit hash of a file's bytes, fed piece by piece (the same pieces for
// files of one size). It only sorts files into classes; equality is decided
// by comparing the bytes.
class ContentHash {
 public:
  void add(const uint8_t* bytes, size_t count) {
    size_t i = 0;
    for (; count - i >= sizeof(uint64_t); i += sizeof(uint64_t)) {
      uint64_t word = 0;
      std::memcpy(&word, bytes + i, sizeof word);
      mix(word);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes + i, count - i);
    mix(tail ^ (uint64_t{count - i} << 56));
  }
  uint64_t value() const { return hash_; }

 private:
  void mix(uint64_t word) {
    constexpr uint64_t multiplier = 0x9E3779B97F4A7C15;  // 2^64 divided by the golden ratio
    hash_ = (hash_ ^ word) * multiplier;
    hash_ ^= hash_ >> 29;
  }
  uint64_t hash_ = 0;
};

enum class Reading : uint8_t { done, unreadable, cancelled };

// One source file opened to read its contents from the start.
class OpenedFile {
 public:
  bool open(const ImageWriter& writer, const SourceNode& node) {
    if (!file_.open(node_file_path(writer, node), file_mode_read)) return false;
    if (node.may_have_holes) file_.skip_holes();
    return true;
  }
  // Reads exactly `count` bytes; false when the file ends early or a read fails.
  bool read(uint8_t* into, size_t count) { return file_.read(into, count) == count; }

 private:
  FileHandle file_;
};

}  // namespace

// The two pieces a comparison reads into, taken once for every size.
struct EqualContentFinder::Buffers {
  std::unique_ptr<uint8_t[]> first{new (std::nothrow) uint8_t[piece_bytes]};
  std::unique_ptr<uint8_t[]> second{new (std::nothrow) uint8_t[piece_bytes]};
  bool allocated() const { return first && second; }
};

namespace {

using Buffers = EqualContentFinder::Buffers;

// Hashes the first `bytes` bytes of the file.
Reading hash_file(ImageWriter& writer, const SourceNode& node, uint64_t bytes, Buffers& buffers,
                  uint64_t& hash) {
  OpenedFile file;
  if (!file.open(writer, node)) return Reading::unreadable;
  ContentHash content;
  for (uint64_t done = 0; done < bytes;) {
    if (writer.cancel_seen()) return Reading::cancelled;
    const auto count = static_cast<size_t>(std::min<uint64_t>(piece_bytes, bytes - done));
    if (!file.read(buffers.first.get(), count)) return Reading::unreadable;
    content.add(buffers.first.get(), count);
    done += count;
  }
  hash = content.value();
  return Reading::done;
}

// Compares two files of one size byte for byte, up to the first difference.
Reading compare_files(ImageWriter& writer, const SourceNode& a, const SourceNode& b,
                      Buffers& buffers, bool& equal) {
  OpenedFile first;
  OpenedFile second;
  if (!first.open(writer, a) || !second.open(writer, b)) return Reading::unreadable;
  equal = false;
  for (uint64_t done = 0; done < a.size;) {
    if (writer.cancel_seen()) return Reading::cancelled;
    const auto count = static_cast<size_t>(std::min<uint64_t>(piece_bytes, a.size - done));
    if (!first.read(buffers.first.get(), count) || !second.read(buffers.second.get(), count))
      return Reading::unreadable;
    if (std::memcmp(buffers.first.get(), buffers.second.get(), count) != 0) return Reading::done;
    done += count;
  }
  equal = true;
  return Reading::done;
}

struct Hashed {
  EqualityCandidate candidate;
  uint64_t hash = 0;
  size_t order = 0;  // place in scan order
};

// Sorts the files into runs of equal hashes, each run in scan order.
void sort_by_hash(std::vector<Hashed>& files) {
  std::sort(files.begin(), files.end(), [](const Hashed& a, const Hashed& b) {
    return a.hash != b.hash ? a.hash < b.hash : a.order < b.order;
  });
}

// Hashes every file of the list over its first `bytes`; files that cannot be
// read leave the list.
Reading hash_all(ImageWriter& writer, std::vector<Hashed>& files, uint64_t bytes,
                 Buffers& buffers) {
  std::vector<Hashed> readable;
  for (Hashed& file : files) {
    const Reading reading = hash_file(writer, *file.candidate.node, bytes, buffers, file.hash);
    if (reading == Reading::cancelled) return reading;
    if (reading == Reading::done) readable.push_back(file);
  }
  files = std::move(readable);
  sort_by_hash(files);
  return Reading::done;
}

// Within files that agree so far, in scan order: the copy is the first file
// that must keep its own (it serves the others best), else the first; every
// other one that may point elsewhere and is byte for byte equal to it points
// at it; the rest are gone through again the same way.
Reading join_equal_run(ImageWriter& writer, std::vector<Hashed> run, Buffers& buffers,
                       std::vector<EqualFiles>& equal) {
  while (run.size() > 1) {
    const auto fixed = std::find_if(run.begin(), run.end(), [](const Hashed& file) {
      return !file.candidate.may_point_elsewhere;
    });
    if (fixed != run.end()) std::rotate(run.begin(), fixed, fixed + 1);
    const Hashed copy = run.front();
    std::vector<Hashed> rest;
    for (size_t i = 1; i < run.size(); ++i) {
      bool same = false;
      if (run[i].candidate.may_point_elsewhere) {
        const Reading reading =
            compare_files(writer, *copy.candidate.node, *run[i].candidate.node, buffers, same);
        if (reading == Reading::cancelled) return reading;
      }
      if (same) {
        equal.push_back(EqualFiles{run[i].candidate.node, copy.candidate.node});
      } else {
        rest.push_back(run[i]);
      }
    }
    run = std::move(rest);
  }
  return Reading::done;
}

// Calls `visit(first, last)` for each run of two or more equal hashes.
template <typename Visit>
Reading for_each_agreeing_run(std::vector<Hashed>& files, Visit&& visit) {
  for (size_t first = 0; first < files.size();) {
    size_t last = first + 1;
    while (last < files.size() && files[last].hash == files[first].hash) ++last;
    if (last - first > 1) {
      const Reading reading = visit(first, last);
      if (reading != Reading::done) return reading;
    }
    first = last;
  }
  return Reading::done;
}

}  // namespace

EqualContentFinder::EqualContentFinder(ImageWriter& writer)
    : writer_(writer), buffers_(new (std::nothrow) Buffers) {}

EqualContentFinder::~EqualContentFinder() = default;

bool EqualContentFinder::find(const std::vector<EqualityCandidate>& files,
                              std::vector<EqualFiles>& equal) {
  if (files.size() < 2) return true;
  // Without the memory to compare, nothing is shared and nothing is lost.
  if (!buffers_ || !buffers_->allocated()) return true;
  ImageWriter& writer = writer_;
  Buffers& buffers = *buffers_;
  const uint64_t size = files.front().node->size;
  std::vector<Hashed> hashed;
  for (size_t i = 0; i < files.size(); ++i) hashed.push_back(Hashed{files[i], 0, i});

  Reading reading = hash_all(writer, hashed, std::min<uint64_t>(size, head_bytes), buffers);
  if (reading == Reading::done) {
    reading = for_each_agreeing_run(hashed, [&](size_t first, size_t last) {
      std::vector<Hashed> run(hashed.begin() + static_cast<ptrdiff_t>(first),
                              hashed.begin() + static_cast<ptrdiff_t>(last));
      // Two files are compared at once; more are hashed whole first, so that
      // each is read once more instead of once per other file.
      if (size <= head_bytes || run.size() == 2) return join_equal_run(writer, run, buffers, equal);
      const Reading whole = hash_all(writer, run, size, buffers);
      if (whole != Reading::done) return whole;
      return for_each_agreeing_run(run, [&](size_t from, size_t to) {
        return join_equal_run(writer,
                              std::vector<Hashed>(run.begin() + static_cast<ptrdiff_t>(from),
                                                  run.begin() + static_cast<ptrdiff_t>(to)),
                              buffers, equal);
      });
    });
  }
  if (reading == Reading::cancelled) {
    writer.report.fail(BuildError::cancelled);
    return false;
  }
  return true;
}

}  // namespace kestrel
