#include "engine/file_copier.h"

#include <algorithm>
#include <cstring>

#include "engine/image_layout.h"
#include "engine/image_writer.h"
#include "iso9660/el_torito_records.h"

namespace kestrel {

NativeString SourceFolder::file_path(const SourceNode& file) const {
  return node_path(writer, node) + file.native_name;
}

FileCopier::FileCopier(const ImageWriter& writer, BatchRing& ring, unsigned index)
    : writer_(writer), boot_(writer.boot), ring_(ring), small_files_(SmallFileReader::create()) {
  lane_.index = index;
}

void FileCopier::fail(DataSector sector, BuildError error, const NativeString& path,
                      SystemError system_error) {
  failed_ = true;
  BatchNotes* batch = ring_.notes(lane_, sector);
  if (batch == nullptr || batch->error != BuildError::none) return;
  batch->error = error;
  batch->error_sector = sector;
  batch->error_path = path;
  batch->system_error = system_error;
}

// The folder of a file is opened at its first file, and a file is opened
// relative to it.
bool FileCopier::open_new_folder(SourceFolder& folder, const SourceNode& file, DataSector at) {
  folder.opened = true;
  if (folder.handle.open(node_path(writer_, folder.node))) return true;
  fail(at, BuildError::source_open_failed, folder.file_path(file), folder.handle.last_error());
  return false;
}

bool FileCopier::open(SourceFile& source, DataSector at) {
  source.bytes_left = source.node.size;
  SourceFolder& folder = source.folder;
  if (!open_folder(folder, source.node, at)) return false;
  if (!source.file.open_to_copy(folder.handle, source.node.native_name, source.node.size)) {
    fail(at, BuildError::source_open_failed, source.path(), source.file.last_error());
    return false;
  }
  // Only a file that may have holes is asked for them: a dense file costs
  // no call more than its reads.
  if (source.node.may_have_holes) source.file.skip_holes();
  return true;
}

// A file that has grown since the scan is cut at its scanned size, which
// the user is told about.
bool FileCopier::note_grown(const SourceFile& source, DataSector at) {
  BatchNotes* batch = ring_.notes(lane_, at);
  if (batch == nullptr) return false;
  batch->grown.emplace_back(at, source.path());
  return true;
}

// Reads `wanted` bytes of the file to `destination`, which has `room`
// bytes. The read that reaches the file's scanned end also shows whether
// the file goes on beyond it: into the room after the bytes where there
// is some, else into a byte of its own (an empty file, or one that fills
// its last sector, whose next byte belongs to another file).
bool FileCopier::read_into(SourceFile& source, uint8_t* destination, size_t wanted, size_t room,
                           DataSector at) {
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
  return judge_read(source, std::min(got, wanted), wanted, grown,
                    got < wanted ? source.file.last_error() : 0, at);
}

// What a read of `wanted` bytes of the file, which brought `got` of them,
// means for the build. A file that ends early fails it: the image would
// hold zeros in its place.
bool FileCopier::judge_read(SourceFile& source, size_t got, size_t wanted, bool grown,
                            SystemError error, DataSector at) {
  if (grown && !note_grown(source, at)) return false;
  if (got != wanted) {
    fail(at, error != 0 ? BuildError::source_read_failed : BuildError::source_shrunk, source.path(),
         error);
    return false;
  }
  source.bytes_left -= got;
  return true;
}

// Reads `sectors` sectors of the file to the data area from `at` on, its
// last sector padded with zeros; moves `at` past them.
bool FileCopier::copy_sectors(SourceFile& source, DataSector& at, uint64_t sectors) {
  while (sectors > 0) {
    // A stop ends a large file at its next batch, not only at its end.
    if (ring_.stop_requested()) return false;
    const uint64_t batch = at / batch_sectors;
    if (!ring_.wait_for_slot(lane_, batch)) return false;
    const auto offset = static_cast<uint32_t>(at % batch_sectors);
    const uint32_t take =
        static_cast<uint32_t>(std::min<uint64_t>(sectors, batch_sectors - offset));
    if (!read_sectors(source, ring_.at(at), at, take)) return false;
    at += take;
    sectors -= take;
    ring_.advance(lane_, at);
  }
  return true;
}

// Reads the file's next `sectors` sectors, which lie at `at` in one batch,
// to `destination`: what is left of the file, the tail of its last sector
// padded with zeros.
bool FileCopier::read_sectors(SourceFile& source, uint8_t* destination, DataSector at,
                              uint32_t sectors) {
  const size_t bytes = size_t{sectors} * sector_bytes;
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(source.bytes_left, bytes));
  if (!read_into(source, destination, wanted, bytes, at)) return false;
  // Only the tail of a file's last sector is padding; the rest was read.
  std::memset(destination + wanted, 0, bytes - wanted);
  if (source.boot != nullptr) note_boot_bytes(source, destination, wanted);
  BatchNotes* batch_notes = ring_.notes(lane_, at);
  if (batch_notes == nullptr) return false;
  batch_notes->content_bytes += wanted;
  return true;
}

// An empty file, whose copy reads nothing, is read once at its end to see
// whether it has grown.
bool FileCopier::see_end(SourceFile& source, DataSector at) {
  if (source.end_seen || source.bytes_left != 0) return true;
  return read_into(source, nullptr, 0, 0, at);
}

// Sums a boot file's bytes as they are read (the sum starts at byte 64, past
// the table), writes its boot information table into its first sector,
// which the first read holds whole, and its patch wherever it falls,
// before the batch can be written.
void FileCopier::note_boot_bytes(SourceFile& source, uint8_t* destination, size_t got) {
  const BootImage& boot = *source.boot;
  source.checksum =
      iso9660::add_boot_checksum(source.checksum, destination, got, source.bytes_read);
  if (source.bytes_read == 0 && boot.file.info_table)
    iso9660::fill_boot_info_table(writer_, boot, destination);
  if (boot.patch.present) {
    for (size_t i = 0; i < sizeof boot.patch.bytes; ++i) {
      const uint64_t at = uint64_t{boot.patch.offset} + i;
      if (at >= source.bytes_read && at - source.bytes_read < got)
        destination[at - source.bytes_read] = boot.patch.bytes[i];
    }
  }
  source.bytes_read += got;
}

bool FileCopier::copy(SourceFolder& folder, const SourceNode& node, DataSector at) {
  return node.kind == NodeKind::dependent_view_clip ? copy_interleaved_clip(folder, node, at)
                                                    : copy_file(folder, node, at);
}

bool FileCopier::copy_file(SourceFolder& folder, const SourceNode& node, DataSector at) {
  SourceFile source{folder, node};
  source.boot = boot_.patched_copy_of(node);
  if (!open(source, at) || !copy_sectors(source, at, node.sectors) || !see_end(source, at))
    return false;
  if (source.boot != nullptr && source.checksum != source.boot->checksum) {
    fail(at, BuildError::source_changed, source.path(), 0);
    return false;
  }
  return true;
}

// The interleaved block of a stereoscopic pair: dependent extent 0, base
// extent 0, dependent extent 1, and so on.
bool FileCopier::copy_interleaved_clip(SourceFolder& folder, const SourceNode& node,
                                       DataSector at) {
  const SourceNode* base = node.base_node;
  const bluray::StereoPair* pair = node.stereo_pair;
  if (base == nullptr || pair == nullptr) return copy_file(folder, node, at);
  // The extents must fill the block exactly, or other files' sectors
  // would be overwritten or left empty.
  uint64_t extents = 0;
  for (uint32_t sectors : pair->dependent_extents) extents += sectors;
  for (size_t i = 0; i < pair->base_extents.size() && i < pair->dependent_extents.size(); ++i)
    extents += pair->base_extents[i];
  if (extents != data_block_sectors(node)) {
    fail(at, BuildError::layout_mismatch, {}, 0);
    return false;
  }
  SourceFile dependent_source{folder, node};
  SourceFile base_source{folder, *base};
  if (!open(dependent_source, at) || !open(base_source, at)) return false;
  for (size_t i = 0; i < pair->dependent_extents.size(); ++i) {
    if (!copy_sectors(dependent_source, at, pair->dependent_extents[i])) return false;
    if (i < pair->base_extents.size() && !copy_sectors(base_source, at, pair->base_extents[i]))
      return false;
  }
  return see_end(dependent_source, at) && see_end(base_source, at);
}

bool FileCopier::start_writer_file(SourceFolder& folder, const SourceNode& node) {
  writer_file_.emplace(folder, node);
  writer_at_ = node.data_offset;
  writer_end_ = DataSector{node.data_offset} + node.sectors;
  if (open(*writer_file_, writer_at_)) return true;
  writer_file_.reset();
  return false;
}

uint32_t FileCopier::read_writer_file(uint8_t* buffer, DataSector end) {
  const auto sectors = static_cast<uint32_t>(
      std::min<uint64_t>(std::min(end, writer_end_) - writer_at_, batch_sectors));
  if (sectors == 0 || !read_sectors(*writer_file_, buffer, writer_at_, sectors)) {
    writer_file_.reset();
    return 0;
  }
  writer_at_ += sectors;
  if (writer_at_ == writer_end_) writer_file_.reset();  // its last read saw where it ends
  return sectors;
}

bool FileCopier::add_to_group(SourceFolder& folder, const SourceNode& node, DataSector at) {
  if (!ring_.wait_for_slot(lane_, at / batch_sectors) || !open_folder(folder, node, at))
    return false;
  group_[group_size_++] = GroupedFile{&folder, &node, at};
  return true;
}

bool FileCopier::read_grouped_files() {
  const size_t count = group_size_;
  group_size_ = 0;
  for (size_t i = 0; i < count; ++i) {
    const GroupedFile& grouped = group_[i];
    SmallFileRead& read = reads_[i];
    read.folder = &grouped.folder->handle;
    read.name = grouped.node->native_name;
    read.destination = ring_.at(grouped.at);
    read.size = static_cast<size_t>(grouped.node->size);
    read.room = size_t{grouped.node->sectors} * sector_bytes;
  }
  if (!small_files_->read(reads_, count)) {
    // The platform could not: the same files, one by one.
    small_files_.reset();
    for (size_t i = 0; i < count; ++i) {
      const GroupedFile& grouped = group_[i];
      if (!copy_file(*grouped.folder, *grouped.node, grouped.at)) return false;
    }
    return true;
  }
  for (size_t i = 0; i < count; ++i) {
    const GroupedFile& grouped = group_[i];
    const SmallFileRead& read = reads_[i];
    SourceFile source{*grouped.folder, *grouped.node};
    source.bytes_left = read.size;
    if (read.open_error != 0) {
      fail(grouped.at, BuildError::source_open_failed, source.path(), read.open_error);
      return false;
    }
    if (!judge_read(source, read.got, read.size, read.grown, read.read_error, grouped.at))
      return false;
    std::memset(read.destination + read.size, 0, read.room - read.size);
    BatchNotes* batch_notes = ring_.notes(lane_, grouped.at);
    if (batch_notes == nullptr) return false;
    batch_notes->content_bytes += read.size;
  }
  return true;
}

}  // namespace kestrel
