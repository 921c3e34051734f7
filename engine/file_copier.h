// Copying source files into the batch ring, each onto the sectors the layout
// gave it, its last sector padded with zeros: one reader thread's work. A
// file is read front to back; small files that lie wholly in one batch are
// gathered and read as a group where the platform can read files in groups;
// the two clips of a stereoscopic pair are read into their interleaved block.
// Whatever goes wrong is noted in the batch where it happened.
#pragma once

#include <cstdint>
#include <memory>

#include "disc/boot_catalog.h"
#include "disc/source_node.h"
#include "engine/batch_ring.h"
#include "platform/file_system.h"
#include "platform/small_files.h"

namespace kestrel {

class ImageWriter;

// The folder whose files are being read: opened at its first file, and its
// path made only when one of its files has to be named in a report.
struct SourceFolder {
  SourceFolder(const ImageWriter& tree, const SourceNode& directory)
      : writer(tree), node(directory) {}

  const ImageWriter& writer;
  const SourceNode& node;
  FolderHandle handle;
  bool opened = false;

  NativeString file_path(const SourceNode& file) const;
};

class FileCopier {
 public:
  FileCopier(const ImageWriter& writer, BatchRing& ring, unsigned index);
  FileCopier(const FileCopier&) = delete;
  FileCopier& operator=(const FileCopier&) = delete;

  BatchRing::Lane& lane() { return lane_; }
  bool failed() const { return failed_; }

  // Ends this reader's part with a failure at `sector`, which the writer
  // reports when it reaches that batch.
  void fail(DataSector sector, BuildError error, const NativeString& path,
            SystemError system_error);

  // Copies the file's data to the ring from `at` on: a plain file, or the
  // interleaved block of both clips of a stereoscopic pair.
  bool copy(SourceFolder& folder, const SourceNode& node, DataSector at);

  // Whether the file can wait in the group: a whole file, not empty, within
  // one batch, where the platform reads files in groups, and not a boot
  // file whose copy is patched.
  bool can_group(const SourceNode& node, DataSector at) const {
    return small_files_ && node.kind != NodeKind::dependent_view_clip && node.sectors > 0 &&
           at % batch_sectors + node.sectors <= batch_sectors && !gets_patched_copy(node);
  }
  // Whether the file at `at` must wait for the group to be read first: the
  // group is full, or it lies in another batch.
  bool group_ends_before(DataSector at) const {
    return group_size_ == SmallFileReader::max_files ||
           (group_size_ > 0 && group_[0].at / batch_sectors != at / batch_sectors);
  }
  // Adds the file to the group; false when the build has stopped or the
  // folder cannot be opened.
  bool add_to_group(SourceFolder& folder, const SourceNode& node, DataSector at);
  // Reads the group with one call into the system and judges each file as
  // if it had been read on its own; nothing to do for an empty group, which
  // most files of the walk meet.
  bool read_group() { return group_size_ == 0 || read_grouped_files(); }

 private:
  struct SourceFile;
  struct GroupedFile {
    SourceFolder* folder;
    const SourceNode* node;
    DataSector at;
  };

  bool gets_patched_copy(const SourceNode& node) const {
    return boot_.patched_copy_of(node) != nullptr;
  }
  bool read_grouped_files();
  bool open_folder(SourceFolder& folder, const SourceNode& file, DataSector at) {
    return folder.opened || open_new_folder(folder, file, at);
  }
  bool open_new_folder(SourceFolder& folder, const SourceNode& file, DataSector at);
  bool open(SourceFile& source, DataSector at);
  bool note_grown(const SourceFile& source, DataSector at);
  bool read_into(SourceFile& source, uint8_t* destination, size_t wanted, size_t room,
                 DataSector at);
  bool judge_read(SourceFile& source, size_t got, size_t wanted, bool grown, SystemError error,
                  DataSector at);
  bool copy_sectors(SourceFile& source, DataSector& at, uint64_t sectors);
  bool see_end(SourceFile& source, DataSector at);
  void note_boot_bytes(SourceFile& source, uint8_t* destination, size_t got);
  bool copy_file(SourceFolder& folder, const SourceNode& node, DataSector at);
  bool copy_interleaved_clip(SourceFolder& folder, const SourceNode& node, DataSector at);

  const ImageWriter& writer_;
  const BootCatalog& boot_;
  BatchRing& ring_;
  BatchRing::Lane lane_;
  bool failed_ = false;
  // Small files that lie wholly in one batch are read in groups, where the
  // platform can (null where it cannot).
  std::unique_ptr<SmallFileReader> small_files_;
  GroupedFile group_[SmallFileReader::max_files];
  SmallFileRead reads_[SmallFileReader::max_files];
  size_t group_size_ = 0;
};

}  // namespace kestrel
