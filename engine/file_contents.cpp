// Copying every file's contents into the data area, each file onto the
// sectors its data_offset gives it.
//
// Reader threads read the files ahead of the writer into a ring of 1 MiB
// batches of the data area, exactly as the files lie in the image: each
// file's last sector padded with zeros, the writer emitting each batch with
// one call. They start with the write sequence, so the files are read while
// the structures in front of the data area are written. For small files the
// system calls per file are most of the work, so two readers share it: every
// file belongs to the reader chosen by the batch where the file begins
// (batches alternate between the readers), and that reader reads all of it,
// so a large file is still read front to back by one thread. Each reader
// walks the tree in the order of the data placement, checks that every file
// begins where the layout put it, reads its own files and passes over the
// others; it tells the writer how far it has come, and a batch is written
// once every reader has passed its end.
//
// Everything the build reports (errors, warnings) is noted in the batch where
// it happened and reported by the writer, in image order, when it reaches
// that batch.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "disc/tree_walk.h"
#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "iso9660/el_torito_records.h"
#include "platform/small_files.h"

namespace kestrel {
namespace {

// Sectors of one batch (1 MiB), and batches in the ring: 8 MiB can be read
// ahead while the structures in front of the data area are written. A
// larger ring reads further ahead, but memory that a process touches for
// the first time is not free: on a virtual machine it can cost 3 ms per MiB,
// more than reading a MiB of small files.
constexpr uint32_t batch_sectors = 512;
constexpr size_t batch_bytes = size_t{batch_sectors} * sector_bytes;
constexpr uint64_t ring_batches = 8;
constexpr unsigned max_readers = 2;

// A place in the data area, in sectors from its start.
using DataSector = uint64_t;

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

  void start(uint64_t for_batch) {
    batch = for_batch;
    content_bytes = 0;
    grown.clear();
    error = BuildError::none;
    error_path.clear();
    system_error = 0;
  }
};

// The folder whose files are being read: opened at its first file, and its
// path made only when one of its files has to be named in a report.
struct SourceFolder {
  SourceFolder(const ImageWriter& tree, const SourceNode& directory)
      : writer(tree), node(directory) {}

  const ImageWriter& writer;
  const SourceNode& node;
  FolderHandle handle;
  bool opened = false;

  NativeString file_path(const SourceNode& file) const {
    return node_path(writer, node) + file.native_name;
  }
};

// One source file being read, and how much of its scanned size is still to
// come. A boot file whose boot information table the layout computed is
// summed again as it is read: the table in the image must describe the bytes
// that follow it.
struct SourceFile {
  SourceFile(SourceFolder& in, const SourceNode& source) : folder(in), node(source) {}

  SourceFolder& folder;
  const SourceNode& node;
  FileHandle file;
  uint64_t bytes_left = 0;
  bool end_seen = false;  // the read that shows where the file ends is done
  uint64_t bytes_read = 0;
  const BootImage* boot = nullptr;
  uint32_t checksum = 0;

  NativeString path() const { return folder.file_path(node); }
};

// Sectors of the data area that a file takes: a dependent-view clip of a
// stereoscopic pair carries the interleaved block of both clips. As in the
// data placement of the layout.
uint64_t block_sectors(const SourceNode& node) {
  if (node.kind == NodeKind::dependent_view_clip && node.base_node != nullptr &&
      node.stereo_pair != nullptr)
    return uint64_t{node.sectors} + node.base_node->sectors;
  return node.sectors;
}

bool has_data_block(const SourceNode& node) {
  return !node.is_directory &&
         (node.kind == NodeKind::plain || node.kind == NodeKind::unpaired_clip ||
          node.kind == NodeKind::dependent_view_clip);
}

}  // namespace

class ContentReader {
 public:
  explicit ContentReader(const ImageWriter& writer)
      : writer_(writer),
        total_sectors_(writer.layout.data_sectors),
        batch_count_(std::max<uint64_t>(1, (total_sectors_ + batch_sectors - 1) / batch_sectors)),
        reader_count_(std::thread::hardware_concurrency() >= 2 ? max_readers : 1) {}
  ~ContentReader() { stop(); }
  ContentReader(const ContentReader&) = delete;
  ContentReader& operator=(const ContentReader&) = delete;

  // Allocates the ring and starts the readers; false when memory is short.
  bool start() {
    if (!storage_.allocate(ring_batches * batch_bytes)) return false;
    for (unsigned reader = 0; reader < reader_count_; ++reader)
      threads_[reader] = std::thread([this, reader] { run(reader); });
    return true;
  }

  // The data area comes as this many batches; the last may be short (and is
  // empty when no file has data).
  uint64_t batch_count() const { return batch_count_; }
  uint32_t sectors_of(uint64_t batch) const {
    return static_cast<uint32_t>(std::min<uint64_t>(
        batch_sectors, total_sectors_ - std::min(total_sectors_, batch * batch_sectors)));
  }

  // Writer side: waits until every reader has passed the end of `batch`.
  void wait_for(uint64_t batch) {
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

  const uint8_t* data_of(uint64_t batch) const { return slot(batch); }

  // Writer side, after wait_for: the notes of every reader on `batch`.
  void collect(uint64_t batch, BatchNotes& into) {
    into.start(batch);
    for (unsigned reader = 0; reader < reader_count_; ++reader) {
      BatchNotes& notes = notes_[batch % ring_batches][reader];
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

  // Writer side: hands the batch's slot back to the readers.
  void release(uint64_t batch) {
    {
      std::lock_guard lock(mutex_);
      released_ = batch + 1;
    }
    changed_.notify_all();
  }

  // Stops the readers (at their next file or batch) and waits for them.
  void stop() {
    stop_requested_.store(true, std::memory_order_relaxed);
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
      if (thread.joinable()) thread.join();
    }
  }

 private:
  // What one reader thread keeps to itself.
  // A small file waiting to be read with the others of its group.
  struct GroupedFile {
    SourceFolder* folder;
    const SourceNode* node;
    DataSector at;
  };

  struct Reader {
    unsigned index = 0;
    DataSector position = 0;  // where the next file of the walk begins
    DataSector told = 0;      // the frontier last told to the writer
    uint64_t free_below = 0;  // batches below this have a free slot
    bool failed = false;
    // Small files that lie wholly in one batch are read in groups, where
    // the platform can (null where it cannot).
    std::unique_ptr<SmallFileReader> small_files;
    GroupedFile group[SmallFileReader::max_files];
    SmallFileRead reads[SmallFileReader::max_files];
    size_t group_size = 0;
  };

  uint8_t* slot(uint64_t batch) const {
    return storage_.data() + (batch % ring_batches) * batch_bytes;
  }

  uint64_t notes_batch(DataSector sector) const {
    return std::min(sector / batch_sectors, batch_count_ - 1);
  }

  // Waits until the slot of `batch` is free of the batch it held before;
  // false once the writer has stopped the readers.
  bool wait_for_slot(Reader& reader, uint64_t batch) {
    if (batch < reader.free_below) return true;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopping_ || batch < released_ + ring_batches; });
    reader.free_below = released_ + ring_batches;
    return !stopping_;
  }

  // The reader's notes on the batch that holds `sector`; null once stopped.
  BatchNotes* notes(Reader& reader, DataSector sector) {
    const uint64_t batch = notes_batch(sector);
    if (!wait_for_slot(reader, batch)) return nullptr;
    BatchNotes& notes = notes_[batch % ring_batches][reader.index];
    if (notes.batch != batch) notes.start(batch);
    return &notes;
  }

  // Tells the writer that everything before `sector` is done, when that
  // completes a batch. A reader notes things only at its position, never
  // before what it has told: the writer may already be at that batch.
  void advance(Reader& reader, DataSector sector) {
    if (sector / batch_sectors == reader.told / batch_sectors && sector < total_sectors_) return;
    {
      std::lock_guard lock(mutex_);
      frontier_[reader.index] = sector;
    }
    reader.told = sector;
    changed_.notify_all();
  }

  void finish(Reader& reader) {
    {
      std::lock_guard lock(mutex_);
      frontier_[reader.index] = total_sectors_;
      finished_[reader.index] = true;
    }
    changed_.notify_all();
  }

  bool stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  // Ends this reader's part with a failure at `sector`, which the writer
  // reports when it reaches that batch.
  void fail(Reader& reader, DataSector sector, BuildError error, const NativeString& path,
            SystemError system_error) {
    reader.failed = true;
    BatchNotes* batch = notes(reader, sector);
    if (batch == nullptr || batch->error != BuildError::none) return;
    batch->error = error;
    batch->error_sector = sector;
    batch->error_path = path;
    batch->system_error = system_error;
  }

  // The folder of a file is opened at its first file, and a file is opened
  // relative to it.
  bool open_folder(Reader& reader, SourceFolder& folder, const SourceNode& file, DataSector at) {
    if (folder.opened) return true;
    folder.opened = true;
    if (folder.handle.open(node_path(writer_, folder.node))) return true;
    fail(reader, at, BuildError::source_open_failed, folder.file_path(file),
         folder.handle.last_error());
    return false;
  }

  bool open(Reader& reader, SourceFile& source, DataSector at) {
    source.bytes_left = source.node.size;
    SourceFolder& folder = source.folder;
    if (!open_folder(reader, folder, source.node, at)) return false;
    if (!source.file.open_to_copy(folder.handle, source.node.native_name, source.node.size)) {
      fail(reader, at, BuildError::source_open_failed, source.path(), source.file.last_error());
      return false;
    }
    return true;
  }

  // A file that has grown since the scan is cut at its scanned size, which
  // the user is told about.
  bool note_grown(Reader& reader, const SourceFile& source, DataSector at) {
    BatchNotes* batch = notes(reader, at);
    if (batch == nullptr) return false;
    batch->grown.emplace_back(at, source.path());
    return true;
  }

  // Reads `wanted` bytes of the file to `destination`, which has `room`
  // bytes. The read that reaches the file's scanned end also shows whether
  // the file goes on beyond it: into the room after the bytes where there
  // is some, else into a byte of its own (an empty file, or one that fills
  // its last sector, whose next byte belongs to another file).
  bool read_into(Reader& reader, SourceFile& source, uint8_t* destination, size_t wanted,
                 size_t room, DataSector at) {
    const bool reaches_end = wanted == source.bytes_left && !source.end_seen;
    size_t got = 0;
    bool grown = false;
    if (reaches_end && room > wanted) {
      got = source.file.read_last(destination, wanted);
      grown = got > wanted;
    } else {
      got = source.file.read(destination, wanted);
      if (reaches_end && got == wanted) {
        uint8_t next = 0;
        grown = source.file.read_last(&next, 0) > 0;
      }
    }
    if (reaches_end) source.end_seen = true;
    return judge_read(reader, source, std::min(got, wanted), wanted, grown,
                      got < wanted ? source.file.last_error() : 0, at);
  }

  // What a read of `wanted` bytes of the file, which brought `got` of them,
  // means for the build. A file that ends early fails it: the image would
  // hold zeros in its place.
  bool judge_read(Reader& reader, SourceFile& source, size_t got, size_t wanted, bool grown,
                  SystemError error, DataSector at) {
    if (grown && !note_grown(reader, source, at)) return false;
    if (got != wanted) {
      fail(reader, at, error != 0 ? BuildError::source_read_failed : BuildError::source_shrunk,
           source.path(), error);
      return false;
    }
    source.bytes_left -= got;
    return true;
  }

  // Reads `sectors` sectors of the file to the data area from `at` on, its
  // last sector padded with zeros; moves `at` past them.
  bool copy_sectors(Reader& reader, SourceFile& source, DataSector& at, uint64_t sectors) {
    while (sectors > 0) {
      // A stop ends a large file at its next batch, not only at its end.
      if (stop_requested_.load(std::memory_order_relaxed)) return false;
      const uint64_t batch = at / batch_sectors;
      if (!wait_for_slot(reader, batch)) return false;
      const auto offset = static_cast<uint32_t>(at % batch_sectors);
      const uint32_t take =
          static_cast<uint32_t>(std::min<uint64_t>(sectors, batch_sectors - offset));
      const size_t take_bytes = size_t{take} * sector_bytes;
      const size_t wanted = static_cast<size_t>(std::min<uint64_t>(source.bytes_left, take_bytes));
      uint8_t* destination = slot(batch) + size_t{offset} * sector_bytes;
      if (!read_into(reader, source, destination, wanted, take_bytes, at)) return false;
      // Only the tail of a file's last sector is padding; the rest was read.
      std::memset(destination + wanted, 0, take_bytes - wanted);
      if (source.boot != nullptr) note_boot_bytes(source, destination, wanted);
      BatchNotes* batch_notes = notes(reader, at);
      if (batch_notes == nullptr) return false;
      batch_notes->content_bytes += wanted;
      at += take;
      sectors -= take;
      advance(reader, at);
    }
    return true;
  }

  // An empty file, whose copy reads nothing, is read once at its end to see
  // whether it has grown.
  bool see_end(Reader& reader, SourceFile& source, DataSector at) {
    if (source.end_seen || source.bytes_left != 0) return true;
    return read_into(reader, source, nullptr, 0, 0, at);
  }

  // Sums a boot file's bytes as they are read (the sum starts at byte 64, past
  // the table) and writes its boot information table into its first sector,
  // which the first read holds whole, before the batch can be written.
  void note_boot_bytes(SourceFile& source, uint8_t* destination, size_t got) {
    source.checksum =
        iso9660::add_boot_checksum(source.checksum, destination, got, source.bytes_read);
    if (source.bytes_read == 0) iso9660::fill_boot_info_table(writer_, *source.boot, destination);
    source.bytes_read += got;
  }

  bool copy_file(Reader& reader, SourceFolder& folder, const SourceNode& node, DataSector at) {
    SourceFile source{folder, node};
    source.boot = writer_.boot.info_table_of(node);
    if (!open(reader, source, at) || !copy_sectors(reader, source, at, node.sectors) ||
        !see_end(reader, source, at))
      return false;
    if (source.boot != nullptr && source.checksum != source.boot->checksum) {
      fail(reader, at, BuildError::source_changed, source.path(), 0);
      return false;
    }
    return true;
  }

  // The interleaved block of a stereoscopic pair: dependent extent 0, base
  // extent 0, dependent extent 1, and so on.
  bool copy_interleaved_clip(Reader& reader, SourceFolder& folder, const SourceNode& node,
                             DataSector at) {
    const SourceNode* base = node.base_node;
    const bluray::StereoPair* pair = node.stereo_pair;
    if (base == nullptr || pair == nullptr) return copy_file(reader, folder, node, at);
    // The extents must fill the block exactly, or other files' sectors
    // would be overwritten or left empty.
    uint64_t extents = 0;
    for (uint32_t sectors : pair->dependent_extents) extents += sectors;
    for (size_t i = 0; i < pair->base_extents.size() && i < pair->dependent_extents.size(); ++i)
      extents += pair->base_extents[i];
    if (extents != block_sectors(node)) {
      fail(reader, at, BuildError::layout_mismatch, {}, 0);
      return false;
    }
    SourceFile dependent_source{folder, node};
    SourceFile base_source{folder, *base};
    if (!open(reader, dependent_source, at) || !open(reader, base_source, at)) return false;
    for (size_t i = 0; i < pair->dependent_extents.size(); ++i) {
      if (!copy_sectors(reader, dependent_source, at, pair->dependent_extents[i])) return false;
      if (i < pair->base_extents.size() &&
          !copy_sectors(reader, base_source, at, pair->base_extents[i]))
        return false;
    }
    return see_end(reader, dependent_source, at) && see_end(reader, base_source, at);
  }

  // Whether a file can be read in a group: a whole file, not empty, within
  // one batch, where the platform can read files in groups, and not a boot
  // file that gets a boot information table.
  bool can_group(const Reader& reader, const SourceNode& node, DataSector at) const {
    return reader.small_files && node.kind != NodeKind::dependent_view_clip && node.sectors > 0 &&
           at % batch_sectors + node.sectors <= batch_sectors &&
           writer_.boot.info_table_of(node) == nullptr;
  }

  // Reads the files of the group with one call into the system and judges
  // each as if it had been read on its own.
  bool read_group(Reader& reader) {
    const size_t count = reader.group_size;
    reader.group_size = 0;
    if (count == 0) return true;
    for (size_t i = 0; i < count; ++i) {
      const GroupedFile& grouped = reader.group[i];
      SmallFileRead& read = reader.reads[i];
      read.folder = &grouped.folder->handle;
      read.name = grouped.node->native_name;
      read.destination = slot(grouped.at / batch_sectors) +
                         size_t{static_cast<uint32_t>(grouped.at % batch_sectors)} * sector_bytes;
      read.size = static_cast<size_t>(grouped.node->size);
      read.room = size_t{grouped.node->sectors} * sector_bytes;
    }
    if (!reader.small_files->read(reader.reads, count)) {
      // The platform could not: the same files, one by one.
      reader.small_files.reset();
      for (size_t i = 0; i < count; ++i) {
        const GroupedFile& grouped = reader.group[i];
        if (!copy_file(reader, *grouped.folder, *grouped.node, grouped.at)) return false;
      }
      return true;
    }
    for (size_t i = 0; i < count; ++i) {
      const GroupedFile& grouped = reader.group[i];
      const SmallFileRead& read = reader.reads[i];
      SourceFile source{*grouped.folder, *grouped.node};
      source.bytes_left = read.size;
      if (read.open_error != 0) {
        fail(reader, grouped.at, BuildError::source_open_failed, source.path(), read.open_error);
        return false;
      }
      if (!judge_read(reader, source, read.got, read.size, read.grown, read.read_error, grouped.at))
        return false;
      std::memset(read.destination + read.size, 0, read.room - read.size);
      BatchNotes* batch_notes = notes(reader, grouped.at);
      if (batch_notes == nullptr) return false;
      batch_notes->content_bytes += read.size;
    }
    return true;
  }

  // One file of the walk: read by this reader when the batch where it
  // begins is this reader's, else passed over. A small file waits in the
  // group; the group is read before the reader tells how far it has come.
  bool visit_file(Reader& reader, SourceFolder& folder, const SourceNode& node) {
    if (stop_requested_.load(std::memory_order_relaxed)) return false;
    const DataSector at = reader.position;
    if (node.data_offset != at) {
      fail(reader, at, BuildError::layout_mismatch, {}, 0);
      return false;
    }
    const bool owned = (at / batch_sectors) % reader_count_ == reader.index;
    if (owned && can_group(reader, node, at)) {
      // A group lies in one batch and holds at most max_files files.
      if (reader.group_size == SmallFileReader::max_files ||
          (reader.group_size > 0 && reader.group[0].at / batch_sectors != at / batch_sectors)) {
        if (!read_group(reader)) return false;
        advance(reader, at);
      }
      if (!wait_for_slot(reader, at / batch_sectors) || !open_folder(reader, folder, node, at))
        return false;
      reader.group[reader.group_size++] = GroupedFile{&folder, &node, at};
      reader.position += node.sectors;
      return true;
    }
    if (!read_group(reader)) return false;
    reader.position += block_sectors(node);
    if (!owned) {
      advance(reader, reader.position);
      return true;
    }
    const bool ok = node.kind == NodeKind::dependent_view_clip
                        ? copy_interleaved_clip(reader, folder, node, at)
                        : copy_file(reader, folder, node, at);
    if (ok) advance(reader, reader.position);
    return ok;
  }

  void run(unsigned index) {
    Reader reader;
    reader.index = index;
    reader.small_files = SmallFileReader::create();
    walk_directories_depth_first(writer_.tree.root, [&](SourceNode& directory) {
      if (stopping()) return false;
      SourceFolder folder{writer_, directory};
      for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
        if (has_data_block(*child) && !visit_file(reader, folder, *child)) return false;
      }
      // The group holds this folder: it is read before the folder closes.
      return read_group(reader);
    });
    // Every sector is accounted for unless a reader failed or was stopped.
    if (!reader.failed && !stopping() && reader.position != total_sectors_)
      fail(reader, reader.position, BuildError::layout_mismatch, {}, 0);
    finish(reader);
  }

  const ImageWriter& writer_;
  const DataSector total_sectors_;
  const uint64_t batch_count_;
  const unsigned reader_count_;
  BulkBuffer storage_;
  // Each reader's notes on the batch in each slot; a reader writes only its
  // own, and the writer reads them once every reader has passed the batch.
  BatchNotes notes_[ring_batches][max_readers];
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_: how far each reader has come, whether it is done,
  // the batches the writer is done with, and whether to stop.
  DataSector frontier_[max_readers] = {};
  bool finished_[max_readers] = {};
  uint64_t released_ = 0;
  bool stopping_ = false;
  // stopping_ as the readers look at it before each file, without the lock.
  std::atomic<bool> stop_requested_{false};
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
  ContentReader& reader = *content_reader_;
  bool ok = true;
  BatchNotes notes;
  for (uint64_t batch = 0; ok && batch < reader.batch_count(); ++batch) {
    reader.wait_for(batch);
    reader.collect(batch, notes);
    if (notes.error != BuildError::none) {
      report.fail(notes.error, notes.error_path, notes.system_error);
      ok = false;
    }
    const uint32_t sectors = reader.sectors_of(batch);
    if (ok && sectors > 0) {
      ok = emit_sectors(reader.data_of(batch), sectors);
      if (ok) content_bytes_copied += notes.content_bytes;
    }
    if (ok) {
      for (auto& [sector, path] : notes.grown)
        report.warn(BuildWarning::source_grew, std::move(path));
    }
    reader.release(batch);
  }
  content_reader_.reset();
  if (!ok) write_failed = true;
  return ok && !write_failed;
}

}  // namespace kestrel
