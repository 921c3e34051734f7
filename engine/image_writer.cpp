// The ImageWriter's life cycle, its sector emitter interface and the writing
// of the image file.
#include "engine/image_writer.h"

#include <cstring>
#include <new>

#include "udf/udf_volume.h"

namespace kestrel {
namespace {

// Sectors of the buffer a new writer starts with.
constexpr uint32_t initial_buffer_sectors = 4;
// Zero sectors are emitted from one zero-filled buffer in batches of this size.
constexpr uint32_t zero_batch_sectors = 256;

}  // namespace

ImageWriter::ImageWriter(int64_t time) {
  settings.build_time = time;
  // The build timestamp every UDF volume date uses.
  udf::set_build_timestamp(*this);
}

void ImageWriter::describe_source() {
  source_description =
      std::make_shared<const SourceDescription>(kestrel::describe_source(tree.source_folder));
}

ImageWriter::~ImageWriter() {
  // The reader of the files' contents walks the tree: it ends first.
  content_reader_.reset();
  NodeArena::destroy(tree.arena);
}

uint8_t* ImageWriter::get_sector_buffer(uint32_t count) {
  if (count == 0) count = 1;
  if (count > buffer_sectors_) {
    const uint32_t capacity = count < initial_buffer_sectors ? initial_buffer_sectors : count;
    if (!buffer_.allocate(static_cast<size_t>(capacity) * sector_bytes)) {
      buffer_sectors_ = 0;
      report.fail(BuildError::out_of_memory);
      return nullptr;
    }
    buffer_sectors_ = capacity;
  }
  uint8_t* buffer = buffer_.data();
  std::memset(buffer, 0, static_cast<size_t>(count) * sector_bytes);
  return buffer;
}

bool ImageWriter::emit_raw(const uint8_t* buffer, uint64_t count) {
  if (sink_ == nullptr) return false;
  emitted_sectors += count;
  bool ok = !write_failed;
  if (ok && !sink_->write(buffer, static_cast<size_t>(count) * sector_bytes)) {
    ok = false;
    report.fail(BuildError::output_write_failed, {}, sink_->error());
  }
  if (ok && hook_ != nullptr) {
    const auto done = static_cast<uint32_t>(emitted_sectors);
    if (!hook_(done, layout.image_sectors, hook_context_)) {
      ok = false;
      report.fail(BuildError::cancelled);
    }
  }
  // Once a batch has report.failed, the image is incomplete whatever follows.
  if (!ok) write_failed = true;
  return ok;
}

bool ImageWriter::emit_sectors(const uint8_t* buffer, uint32_t count) {
  if (buffer == nullptr) {
    write_failed = true;
    return false;
  }
  return emit_raw(buffer, count);
}

bool ImageWriter::emit_zero_sectors(uint64_t count) {
  while (count > 0) {
    const uint32_t batch =
        count < zero_batch_sectors ? static_cast<uint32_t>(count) : zero_batch_sectors;
    const uint8_t* zeros = get_sector_buffer(batch);
    if (!emit_sectors(zeros, batch)) return false;
    count -= batch;
  }
  return !write_failed;
}

bool ImageWriter::expect_position(uint64_t sector) {
  if (emitted_sectors == sector) return true;
  report.fail(BuildError::layout_mismatch);
  write_failed = true;
  return false;
}

bool ImageWriter::pad_to(uint64_t sector) {
  if (emitted_sectors > sector) return expect_position(sector);
  return emit_zero_sectors(sector - emitted_sectors);
}

void ImageWriter::settle_content_written(uint64_t confirmed) {
  while (!unsettled_content_.empty() && unsettled_content_.front().end_byte <= confirmed) {
    content_bytes_written = unsettled_content_.front().content_bytes;
    unsettled_content_.pop_front();
  }
}

bool ImageWriter::write_image(const NativeString& path, ProgressHook hook, void* context) {
  TemporaryFile output;
  if (!output.create(path)) {
    content_reader_.reset();
    report.fail(BuildError::output_create_failed, path, output.last_error());
    return false;
  }
  FileSectorOutput sink(output.file());
  bool ok = write_sequence(sink, hook, context);
  if (!sink.finish()) {
    report.fail(BuildError::output_write_failed, path, sink.error());
    ok = false;
  }
  image_bytes_written = sink.bytes_written();
  settle_content_written(image_bytes_written);
  unsettled_content_.clear();
  if (ok && emitted_sectors != layout.image_sectors) {
    report.fail(BuildError::layout_mismatch, path);
    ok = false;
  }
  if (ok && !output.commit(existing_target)) {
    report.fail(BuildError::output_rename_failed, path, output.last_error());
    ok = false;
  }
  if (!ok && report.error.error == BuildError::output_write_failed && report.error.path.empty())
    report.error.path = path;
  // A file not committed is removed with `output`.
  return ok;
}

}  // namespace kestrel
