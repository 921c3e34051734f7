// Copying every file's contents into the data area, in the order of the data
// placement, so that each file lands on its data_offset.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "engine/tree_walk.h"

namespace kestrel {
namespace {

// File contents are read and emitted in batches of this many sectors (1 MiB).
constexpr uint32_t copy_batch_sectors = 512;

// Reads one source file in batches and tracks how much of its scanned size
// is still to come.
struct SourceReader {
  FileHandle file;
  NativeString path;
  uint64_t bytes_left = 0;  // of the size found by the scan
};

}  // namespace

// Emits `sectors` sectors of the file, the last one padded with zeros. A file
// that ends early fails the build: the image would hold zeros in its place.
static bool copy_sectors(ImageWriter& writer, SourceReader& source, uint64_t sectors, uint8_t* buffer) {
  while (sectors > 0) {
    const uint32_t batch = static_cast<uint32_t>(std::min<uint64_t>(sectors, copy_batch_sectors));
    const size_t batch_bytes = static_cast<size_t>(batch) * sector_bytes;
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(source.bytes_left, batch_bytes));
    const size_t got = source.file.read(buffer, wanted);
    if (got != wanted) {
      if (source.file.last_error() != 0) {
        writer.fail(BuildError::source_read_failed, source.path, source.file.last_error());
      } else {
        writer.fail(BuildError::source_shrunk, source.path);
      }
      writer.write_failed = true;
      return false;
    }
    source.bytes_left -= got;
    std::memset(buffer + got, 0, batch_bytes - got);
    if (!writer.emit_sectors(buffer, batch)) return false;
    writer.content_bytes_copied += got;
    sectors -= batch;
  }
  return true;
}

static bool open_source(ImageWriter& writer, SourceReader& source, const NativeString& path, uint64_t size) {
  source.path = path;
  source.bytes_left = size;
  if (!source.file.open(path, file_mode_read)) {
    writer.fail(BuildError::source_open_failed, path, source.file.last_error());
    writer.write_failed = true;
    return false;
  }
  return true;
}

// After a file's scanned size has been copied: a file that grew since the
// scan was cut at that size, which the user is told about.
static void note_growth(ImageWriter& writer, SourceReader& source) {
  uint8_t probe = 0;
  if (source.file.read(&probe, 1) == 1) writer.warn(BuildWarning::source_grew, source.path);
}

bool ImageWriter::copy_file(const NativeString& path, const SourceNode& node) {
  SourceReader source;
  if (!open_source(*this, source, path, node.size)) return false;
  if (!copy_sectors(*this, source, node.sectors, copy_buffer_.get())) return false;
  note_growth(*this, source);
  return true;
}

bool ImageWriter::copy_interleaved_clip(const NativeString& folder, const SourceNode& node) {
  const SourceNode* base = node.base_node;
  const StereoPair* pair = node.stereo_pair;
  if (base == nullptr || pair == nullptr) return copy_file(folder + node.native_name, node);
  SourceReader dependent_source, base_source;
  if (!open_source(*this, dependent_source, folder + node.native_name, node.size)) return false;
  if (!open_source(*this, base_source, folder + base->native_name, base->size)) return false;
  // The block holds dependent extent 0, base extent 0, dependent extent 1, ...
  for (size_t i = 0; i < pair->dependent_extents.size(); ++i) {
    if (!copy_sectors(*this, dependent_source, pair->dependent_extents[i], copy_buffer_.get())) return false;
    if (i < pair->base_extents.size() &&
        !copy_sectors(*this, base_source, pair->base_extents[i], copy_buffer_.get())) {
      return false;
    }
  }
  note_growth(*this, dependent_source);
  note_growth(*this, base_source);
  return true;
}

bool ImageWriter::write_file_contents() {
  copy_buffer_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(copy_batch_sectors) * sector_bytes]);
  if (!copy_buffer_) {
    fail(BuildError::out_of_memory);
    write_failed = true;
    return false;
  }
  const bool ok = walk_directories_depth_first(root, ChildOrder::primary, [&](SourceNode& directory) {
    if (write_failed) return false;
    const NativeString folder = node_path(*this, directory);
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
      if (write_failed) return false;
      if (child->is_directory) continue;
      switch (child->kind) {
        case NodeKind::plain:
        case NodeKind::unpaired_clip:
          if (!expect_position(file_data_sector(*child))) return false;
          if (!copy_file(folder + child->native_name, *child)) return false;
          break;
        case NodeKind::dependent_view_clip:
          if (!expect_position(file_data_sector(*child))) return false;
          if (!copy_interleaved_clip(folder, *child)) return false;
          break;
        case NodeKind::base_view_clip:
        case NodeKind::stereo_virtual_file:
          break;
      }
    }
    return !write_failed;
  });
  copy_buffer_.reset();
  return ok && !write_failed;
}

}  // namespace kestrel
