// Copying every file's contents into the data area, in the order of the data
// placement, so that each file lands on its data_offset.
//
// A reader thread walks the tree in that order and reads the files ahead of
// the writer into a small ring of 1 MiB batches. Files are packed back to
// back in the batches, each one's last sector padded with zeros, exactly as
// they lie in the image; the writer emits each full batch with one call. So
// reading and writing overlap, every write is 1 MiB whatever the sizes of the
// files, and there is one progress report per batch. Everything the build
// reports (errors, warnings, position checks) is done by the writer, in image
// order, when it reaches the batch concerned.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "disc/tree_walk.h"
#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "iso9660/el_torito_records.h"

namespace kestrel {
namespace {

// Sectors of one batch (1 MiB), and batches in the ring.
constexpr uint32_t batch_sectors = 512;
constexpr size_t batch_bytes = size_t{batch_sectors} * sector_bytes;
constexpr size_t ring_batches = 4;

// A file whose data begins in a batch, and the sector of the batch where it does.
struct FileStart {
  const SourceNode* node;
  uint32_t sector;
};

struct Batch {
  uint8_t* data = nullptr;
  uint32_t sectors = 0;        // filled so far
  uint64_t content_bytes = 0;  // file bytes among them (the rest is padding)
  std::vector<FileStart> starts;
  std::vector<NativeString>
      grown;  // files that have grown since the scan, cut at their scanned size
  // A failure ends the contents: nothing of this batch is written.
  BuildError error = BuildError::none;
  NativeString error_path;
  SystemError system_error = 0;
  bool last = false;

  void clear() {
    sectors = 0;
    content_bytes = 0;
    starts.clear();
    grown.clear();
    error = BuildError::none;
    error_path.clear();
    system_error = 0;
    last = false;
  }
};

// One source file being read, and how much of its scanned size is still to
// come. A boot file whose boot information table the layout computed is
// summed again as it is read: the table in the image must describe the bytes
// that follow it.
struct SourceFile {
  FileHandle file;
  NativeString path;
  uint64_t bytes_left = 0;
  uint64_t bytes_read = 0;
  const BootImage* boot = nullptr;
  uint32_t checksum = 0;
};

class ContentReader {
 public:
  explicit ContentReader(const ImageWriter& writer) : writer_(writer) {}
  ~ContentReader() { stop(); }
  ContentReader(const ContentReader&) = delete;
  ContentReader& operator=(const ContentReader&) = delete;

  // Allocates the ring and starts the thread; false when memory is short.
  bool start() {
    storage_ = allocate_page_aligned(ring_batches * batch_bytes);
    if (!storage_) return false;
    uint8_t* base = page_aligned(storage_.get());
    for (size_t i = 0; i < ring_batches; ++i) ring_[i].data = base + i * batch_bytes;
    thread_ = std::thread([this] { run(); });
    return true;
  }

  // Writer side: the next batch in image order, waiting for the reader.
  Batch& next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return published_ > released_; });
    return ring_[released_ % ring_batches];
  }

  // Writer side: hands the batch from next() back to the reader.
  void release() {
    {
      std::lock_guard lock(mutex_);
      ++released_;
    }
    changed_.notify_all();
  }

  // Stops the reader (at its next file or batch) and waits for it.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

 private:
  // Reader side: the batch being filled, waiting for a free one; null once
  // the writer has stopped the reader.
  Batch* filling() {
    if (filling_ != nullptr) return filling_;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return stopping_ || published_ - released_ < ring_batches; });
    if (stopping_) return nullptr;
    filling_ = &ring_[published_ % ring_batches];
    filling_->clear();
    return filling_;
  }

  void publish() {
    {
      std::lock_guard lock(mutex_);
      ++published_;
    }
    filling_ = nullptr;
    changed_.notify_all();
  }

  // Ends the contents with a failure, which the writer reports.
  void fail(BuildError error, const NativeString& path, SystemError system_error) {
    Batch* batch = filling();
    if (batch == nullptr) return;
    batch->error = error;
    batch->error_path = path;
    batch->system_error = system_error;
    batch->last = true;
    publish();
    failed_ = true;
  }

  // Opens a file to copy `size` bytes of it, its size at the scan. A file
  // that has grown since is cut at that size, which the user is told about.
  bool open(SourceFile& source, const NativeString& path, uint64_t size) {
    source.path = path;
    source.bytes_left = size;
    uint64_t size_now = 0;
    if (!source.file.open_to_copy(path, size_now)) {
      fail(BuildError::source_open_failed, path, source.file.last_error());
      return false;
    }
    if (size_now <= size) return true;
    Batch* batch = filling();
    if (batch == nullptr) return false;
    batch->grown.push_back(path);
    return true;
  }

  // Reads `sectors` sectors of the file into the batches, the last one
  // padded with zeros. A file that ends early fails the build: the image
  // would hold zeros in its place.
  bool copy_sectors(SourceFile& source, uint64_t sectors) {
    while (sectors > 0) {
      Batch* batch = filling();
      if (batch == nullptr) return false;
      const uint32_t take =
          static_cast<uint32_t>(std::min<uint64_t>(sectors, batch_sectors - batch->sectors));
      const size_t take_bytes = size_t{take} * sector_bytes;
      const size_t wanted = static_cast<size_t>(std::min<uint64_t>(source.bytes_left, take_bytes));
      uint8_t* destination = batch->data + size_t{batch->sectors} * sector_bytes;
      const size_t got = source.file.read(destination, wanted);
      if (got != wanted) {
        const SystemError error = source.file.last_error();
        fail(error != 0 ? BuildError::source_read_failed : BuildError::source_shrunk, source.path,
             error);
        return false;
      }
      // Only the tail of a file's last sector is padding; the rest was read.
      std::memset(destination + got, 0, take_bytes - got);
      if (source.boot != nullptr)
        source.checksum =
            iso9660::add_boot_checksum(source.checksum, destination, got, source.bytes_read);
      source.bytes_read += got;
      source.bytes_left -= got;
      batch->sectors += take;
      batch->content_bytes += got;
      sectors -= take;
      if (batch->sectors == batch_sectors) publish();
    }
    return true;
  }

  bool note_start(const SourceNode& node) {
    Batch* batch = filling();
    if (batch == nullptr) return false;
    batch->starts.push_back(FileStart{&node, batch->sectors});
    return true;
  }

  bool copy_file(const NativeString& path, const SourceNode& node) {
    if (!note_start(node)) return false;
    SourceFile source;
    source.boot = writer_.boot.info_table_of(node);
    if (!open(source, path, node.size) || !copy_sectors(source, node.sectors)) return false;
    if (source.boot != nullptr && source.checksum != source.boot->checksum) {
      fail(BuildError::source_changed, path, 0);
      return false;
    }
    return true;
  }

  // The interleaved block of a stereoscopic pair: dependent extent 0, base
  // extent 0, dependent extent 1, and so on.
  bool copy_interleaved_clip(const NativeString& folder, const SourceNode& node) {
    const SourceNode* base = node.base_node;
    const bluray::StereoPair* pair = node.stereo_pair;
    if (base == nullptr || pair == nullptr) return copy_file(folder + node.native_name, node);
    if (!note_start(node)) return false;
    SourceFile dependent_source, base_source;
    if (!open(dependent_source, folder + node.native_name, node.size)) return false;
    if (!open(base_source, folder + base->native_name, base->size)) return false;
    for (size_t i = 0; i < pair->dependent_extents.size(); ++i) {
      if (!copy_sectors(dependent_source, pair->dependent_extents[i])) return false;
      if (i < pair->base_extents.size() && !copy_sectors(base_source, pair->base_extents[i]))
        return false;
    }
    return true;
  }

  bool stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
  }

  void run() {
    walk_directories_depth_first(writer_.tree.root, ChildOrder::primary,
                                 [&](SourceNode& directory) {
                                   if (failed_ || stopping()) return false;
                                   const NativeString folder = node_path(writer_, directory);
                                   for (const SourceNode* child = directory.first_child;
                                        child != nullptr; child = child->next) {
                                     if (child->is_directory) continue;
                                     switch (child->kind) {
                                       case NodeKind::plain:
                                       case NodeKind::unpaired_clip:
                                         if (!copy_file(folder + child->native_name, *child))
                                           return false;
                                         break;
                                       case NodeKind::dependent_view_clip:
                                         if (!copy_interleaved_clip(folder, *child)) return false;
                                         break;
                                       case NodeKind::base_view_clip:
                                       case NodeKind::stereo_virtual_file: break;
                                     }
                                   }
                                   return true;
                                 });
    if (failed_) return;
    // The last batch, however full, ends the contents.
    Batch* batch = filling();
    if (batch == nullptr) return;
    batch->last = true;
    publish();
  }

  const ImageWriter& writer_;
  std::unique_ptr<uint8_t[]> storage_;
  Batch ring_[ring_batches];
  Batch* filling_ = nullptr;  // reader thread only
  bool failed_ = false;       // reader thread only
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t published_ = 0;  // batches handed to the writer
  size_t released_ = 0;   // batches the writer is done with
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace

bool ImageWriter::write_file_contents() {
  if (write_failed) return false;
  ContentReader reader(*this);
  if (!reader.start()) {
    report.fail(BuildError::out_of_memory);
    write_failed = true;
    return false;
  }
  bool ok = true;
  for (bool last = false; ok && !last;) {
    Batch& batch = reader.next();
    last = batch.last;
    // Every file must begin on the sector the layout gave it.
    for (const FileStart& start : batch.starts) {
      if (layout.file_data_sector(*start.node) != emitted_sectors + start.sector) {
        report.fail(BuildError::layout_mismatch);
        ok = false;
        break;
      }
    }
    if (ok && batch.error != BuildError::none) {
      report.fail(batch.error, batch.error_path, batch.system_error);
      ok = false;
    }
    if (ok && batch.sectors > 0) {
      // A loader's copy in the image carries its boot information table.
      for (const FileStart& start : batch.starts) {
        if (const BootImage* boot_image = boot.info_table_of(*start.node))
          iso9660::fill_boot_info_table(*this, *boot_image,
                                        batch.data + size_t{start.sector} * sector_bytes);
      }
      ok = emit_sectors(batch.data, batch.sectors);
      if (ok) content_bytes_copied += batch.content_bytes;
    }
    if (ok) {
      for (NativeString& path : batch.grown)
        report.warn(BuildWarning::source_grew, std::move(path));
    }
    reader.release();
  }
  reader.stop();
  if (!ok) write_failed = true;
  return ok && !write_failed;
}

}  // namespace kestrel
