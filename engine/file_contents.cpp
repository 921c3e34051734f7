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
// Everything the build reports (errors, warnings) is noted in the batch where
// it happened and reported by the writer, in image order, when it reaches
// that batch.
#include <algorithm>
#include <thread>

#include "disc/tree_walk.h"
#include "engine/batch_ring.h"
#include "engine/file_copier.h"
#include "engine/image_layout.h"
#include "engine/image_writer.h"

namespace kestrel {

class ContentReader {
 public:
  explicit ContentReader(const ImageWriter& writer)
      : writer_(writer), ring_(writer.layout.data_sectors, reader_count(), early_reader_count()) {}
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
  // when the batch where it begins is this reader's, else passed over. A
  // small file waits in the group; the group is read before the reader
  // tells how far it has come.
  bool visit_file(FileCopier& copier, DataSector& position, SourceFolder& folder,
                  const SourceNode& node) {
    if (ring_.stop_requested()) return false;
    const DataSector at = position;
    if (node.data_offset != at) {
      copier.fail(at, BuildError::layout_mismatch, {}, 0);
      return false;
    }
    BatchRing::Lane& lane = copier.lane();
    const bool owned = ring_.owns(lane, at / batch_sectors);
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

bool ImageWriter::write_file_contents() {
  if (write_failed) return false;
  if (!content_reader_ && !start_reading_contents()) return false;
  BatchRing& ring = content_reader_->ring();
  ring.let_all_readers_start();
  bool ok = true;
  BatchNotes notes;
  for (uint64_t batch = 0; ok && batch < ring.batch_count(); ++batch) {
    ring.wait_for(batch);
    ring.collect(batch, notes);
    if (notes.error != BuildError::none) {
      report.fail(notes.error, notes.error_path, notes.system_error);
      ok = false;
    }
    const uint32_t sectors = ring.sectors_of(batch);
    if (ok && sectors > 0) {
      const uint64_t end_byte = (emitted_sectors + sectors) * sector_bytes;
      ok = emit_sectors(ring.data_of(batch), sectors);
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
