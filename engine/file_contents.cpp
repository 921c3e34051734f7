// Copying every file's contents into the data area, each file onto the
// sectors its data_offset gives it.
//
// Reader threads read the files ahead of the writer into the batch ring
// (batch_ring.h), exactly as the files lie in the image. They start with the
// write sequence, so the files are read while the structures in front of the
// data area are written. For small files the system calls per file are most
// of the work, so two readers share it: every file belongs to the reader
// that claimed the batch where the file begins (each claims the next batch
// when it is done with its last), and that reader copies all of it
// (file_copier.h), so a large file is still read front to back by one
// thread. Each reader walks the tree in the order of the data placement,
// checks that every file begins where the layout put it, copies its own
// files and passes over the others; a batch is written once every reader has
// passed its end.
//
// A file of a batch or more is the writer's own (FileCopier::left_to_writer):
// the readers pass over it, and the writer reads it into its batches just
// before it writes them, so that its bytes are written from the cache of the
// processor that read them.
//
// Everything the build reports (errors, warnings) is noted in the batch where
// it happened and reported by the writer, in image order, when it reaches
// that batch.
#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "disc/tree_walk.h"
#include "engine/batch_ring.h"
#include "engine/file_copier.h"
#include "engine/image_layout.h"
#include "engine/image_writer.h"

namespace kestrel {

// The large files, which the writer copies itself: listed in image order when
// the writer comes to the data area, and read a batch's part at a time into
// a buffer of the writer's own, which stays in its cache, just before that
// part is written.
class WriterCopies {
 public:
  WriterCopies(const ImageWriter& writer, BatchRing& ring)
      : writer_(writer), ring_(ring), copier_(writer, ring, writer_lane) {}

  // Lists the writer's files, in the readers' walk (which is image order),
  // and allocates its buffer where there are any; false when memory is
  // short. No file fills a batch of a data area shorter than one.
  bool list() {
    if (ring_.total_sectors() < batch_sectors) return true;
    walk_directories_depth_first(writer_.tree.root, [&](SourceNode& directory) {
      for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
        if (has_data_block(*child) && copier_.left_to_writer(*child))
          files_.push_back({&directory, child});
      }
      return true;
    });
    return files_.empty() || buffer_.allocate(batch_bytes);
  }

  // Where the writer's own data next begins at or after `at`, before `end`
  // (the end of the batch); `end` where none does.
  DataSector next_own_sector(DataSector at, DataSector end) const {
    if (copier_.copying_writer_file()) return std::max(at, copier_.writer_position());
    if (next_ == files_.size()) return end;
    return std::clamp(DataSector{files_[next_].file->data_offset}, at, end);
  }

  // Reads the writer's own sectors from `at`, where one of its files is, up
  // to `end` or the file's end: returns the sectors, in buffer(), or 0 on a
  // failure, which is noted in the batch.
  uint32_t read_own_sectors(DataSector at, DataSector end) {
    if (!copier_.copying_writer_file()) {
      const Listed& listed = files_[next_++];
      // A file the walk does not find where the layout put it is not
      // copied: the readers report the mismatch.
      if (listed.file->data_offset != at) {
        copier_.fail(at, BuildError::layout_mismatch, {}, 0);
        return 0;
      }
      if (!folder_ || &folder_->node != listed.directory)
        folder_.emplace(writer_, *listed.directory);
      if (!copier_.start_writer_file(*folder_, *listed.file)) return 0;
    }
    return copier_.read_writer_file(buffer_.data(), end);
  }
  const uint8_t* buffer() const { return buffer_.data(); }

 private:
  struct Listed {
    const SourceNode* directory;
    const SourceNode* file;
  };

  const ImageWriter& writer_;
  BatchRing& ring_;
  FileCopier copier_;
  std::vector<Listed> files_;
  size_t next_ = 0;
  std::optional<SourceFolder> folder_;
  BulkBuffer buffer_;
};

class ContentReader {
 public:
  explicit ContentReader(const ImageWriter& writer)
      : writer_(writer),
        ring_(writer.layout.data_sectors, reader_count(), early_reader_count()),
        writer_copies_(writer, ring_) {}
  ~ContentReader() { stop(); }
  ContentReader(const ContentReader&) = delete;
  ContentReader& operator=(const ContentReader&) = delete;

  // Allocates the ring and starts the readers; false when memory is short.
  bool start() {
    if (!ring_.allocate()) return false;
    for (unsigned reader = 0; reader < ring_.reader_count(); ++reader)
      threads_[reader] = std::thread([this, reader] { run(reader); });
    return true;
  }

  BatchRing& ring() { return ring_; }
  WriterCopies& writer_copies() { return writer_copies_; }

  // Stops the readers (at their next file or batch) and waits for them.
  void stop() {
    ring_.stop();
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  static unsigned processors() { return std::max(1u, std::thread::hardware_concurrency()); }
  static unsigned reader_count() { return processors() >= 2 ? max_readers : 1; }
  // The readers that start with the structures in front of the data area,
  // which the writer makes on a processor of its own: the others would only
  // take turns with it there.
  static unsigned early_reader_count() { return std::max(1u, processors() - 1); }

  // One file of the walk, which begins at `position`: copied by this reader
  // when the batch where it begins is this reader's, else passed over (and
  // so is a file the writer copies). A small file waits in the group; the
  // group is read before the reader tells how far it has come.
  bool visit_file(FileCopier& copier, DataSector& position, SourceFolder& folder,
                  const SourceNode& node) {
    if (ring_.stop_requested()) return false;
    const DataSector at = position;
    if (node.data_offset != at) {
      copier.fail(at, BuildError::layout_mismatch, {}, 0);
      return false;
    }
    BatchRing::Lane& lane = copier.lane();
    const bool owned = !copier.left_to_writer(node) && ring_.owns(lane, at / batch_sectors);
    if (owned && copier.can_group(node, at)) {
      if (copier.group_ends_before(at)) {
        if (!copier.read_group()) return false;
        ring_.advance(lane, at);
      }
      if (!copier.add_to_group(folder, node, at)) return false;
      position += node.sectors;
      return true;
    }
    if (!copier.read_group()) return false;
    position += data_block_sectors(node);
    if (owned && !copier.copy(folder, node, at)) return false;
    ring_.advance(lane, position);
    return true;
  }

  void run(unsigned index) {
    FileCopier copier(writer_, ring_, index);
    DataSector position = 0;  // where the next file of the walk begins
    if (!ring_.wait_to_start(copier.lane())) {
      ring_.finish(copier.lane());
      return;
    }
    walk_directories_depth_first(writer_.tree.root, [&](SourceNode& directory) {
      if (ring_.stopping()) return false;
      SourceFolder folder{writer_, directory};
      for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
        if (has_data_block(*child) && !visit_file(copier, position, folder, *child)) return false;
      }
      // The group holds this folder: it is read before the folder closes.
      return copier.read_group();
    });
    // Every sector is accounted for unless a reader failed or was stopped.
    if (!copier.failed() && !ring_.stopping() && position != ring_.total_sectors())
      copier.fail(position, BuildError::layout_mismatch, {}, 0);
    ring_.finish(copier.lane());
  }

  const ImageWriter& writer_;
  BatchRing ring_;
  WriterCopies writer_copies_;
  std::thread threads_[max_readers];
};

void ContentReaderStop::operator()(ContentReader* reader) const { delete reader; }

bool ImageWriter::start_reading_contents() {
  content_reader_.reset(new (std::nothrow) ContentReader(*this));
  if (content_reader_ && content_reader_->start()) return true;
  content_reader_.reset();
  report.fail(BuildError::out_of_memory);
  write_failed = true;
  return false;
}

// Writes one batch: the readers' sectors from its slot, the writer's own
// files' sectors as it reads them. Where a reader failed in the batch,
// nothing of it is written, but the writer's files before that place are
// still read: a failure there comes first in image order.
bool ImageWriter::write_batch(uint64_t batch, BatchNotes& notes) {
  BatchRing& ring = content_reader_->ring();
  WriterCopies& own_files = content_reader_->writer_copies();
  ring.wait_for(batch);
  const DataSector start = batch * batch_sectors;
  const std::optional<DataSector> readers_failure = ring.readers_failure(batch);
  const bool readers_failed = readers_failure.has_value();
  const DataSector end =
      std::min(readers_failure.value_or(UINT64_MAX), start + ring.sectors_of(batch));
  bool ok = true;
  for (DataSector at = start; ok && at < end;) {
    const DataSector own = own_files.next_own_sector(at, end);
    if (own > at) {
      ok = readers_failed || emit_sectors(ring.data_of(batch) + (at - start) * sector_bytes,
                                          static_cast<uint32_t>(own - at));
      at = own;
      continue;
    }
    const uint32_t sectors = own_files.read_own_sectors(at, end);
    ok = sectors > 0 && (readers_failed || emit_sectors(own_files.buffer(), sectors));
    at += sectors;
  }
  // The writer's notes join the readers'; the first failure in image order
  // is the one reported.
  ring.collect(batch, notes);
  if (notes.error != BuildError::none) {
    report.fail(notes.error, notes.error_path, notes.system_error);
    return false;
  }
  // Every failure of a file is noted and one of the output fails the build
  // where it happens; anything else is a fault of the layout.
  if (!ok && !write_failed) report.fail(BuildError::layout_mismatch);
  return ok;
}

bool ImageWriter::write_file_contents() {
  if (write_failed) return false;
  if (!content_reader_ && !start_reading_contents()) return false;
  BatchRing& ring = content_reader_->ring();
  ring.let_all_readers_start();
  if (!content_reader_->writer_copies().list()) {
    report.fail(BuildError::out_of_memory);
    content_reader_.reset();
    write_failed = true;
    return false;
  }
  bool ok = true;
  BatchNotes notes;
  for (uint64_t batch = 0; ok && batch < ring.batch_count(); ++batch) {
    const uint64_t start_sector = emitted_sectors;
    ok = write_batch(batch, notes);
    const uint32_t sectors = ring.sectors_of(batch);
    if (sectors > 0 && emitted_sectors == start_sector + sectors) {
      const uint64_t end_byte = emitted_sectors * sector_bytes;
      // Whether its bytes reach the file shows once the output has written
      // past them, which a stop asked for after this batch does not undo.
      unsettled_content_.push_back({end_byte, content_bytes_copied + notes.content_bytes});
      if (ok) content_bytes_copied += notes.content_bytes;
      settle_content_written(sink_ != nullptr ? sink_->bytes_written() : 0);
    }
    if (ok) {
      for (auto& [sector, path] : notes.grown)
        report.warn(BuildWarning::source_grew, std::move(path));
    }
    ring.release(batch);
  }
  content_reader_.reset();
  if (!ok) write_failed = true;
  return ok && !write_failed;
}

}  // namespace kestrel
