// Copying source files into the batch ring, each onto the sectors the layout
// gave it, its last sector padded with zeros: one reader thread's work. A
// file is read front to back; small files that lie wholly in one batch are
// gathered and read as a group where the platform can read files in groups;
// the two clips of a stereoscopic pair are read into their interleaved block.
// Whatever goes wrong is noted in the batch where it happened.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

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

  // Whether the writer copies the file itself, a batch at a time just
  // before it writes the batch, rather than a reader: a plain file of a
  // batch or more. Its cost is in bytes, not in calls, and bytes are
  // written fastest by the thread that has just read them, from its own
  // cache; handed over from another processor they cost the write about
  // four times as much. A boot file whose copy is patched, and the
  // interleaved block of a stereoscopic pair, stay with the readers.
  bool left_to_writer(const SourceNode& node) const {
    return node.kind != NodeKind::dependent_view_clip && node.sectors >= batch_sectors &&
           !gets_patched_copy(node);
  }
  // The writer's side: opens a file left to it, which begins at its
  // data_offset; false when it cannot be opened.
  bool start_writer_file(SourceFolder& folder, const SourceNode& node);
  // Reads the started file's next sectors, up to `end` (in the same batch)
  // or its own end, into `buffer`: returns the sectors read, 0 on a failure,
  // which is noted in the batch where it happened. The read that reaches
  // the file's end sees whether it ends where it should.
  uint32_t read_writer_file(uint8_t* buffer, DataSector end);
  bool copying_writer_file() const { return writer_file_.has_value(); }
  DataSector writer_position() const { return writer_at_; }

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
  // One source file being read, and how much of its scanned size is still to
  // come. A boot file whose copy the layout patched is summed again as it is
  // read: the boot information table and the patch in the image must describe
  // the bytes around them.
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
  bool read_sectors(SourceFile& source, uint8_t* destination, DataSector at, uint32_t sectors);
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
  // The writer's side: the file it is copying, and where it has come to.
  std::optional<SourceFile> writer_file_;
  DataSector writer_at_ = 0;
  DataSector writer_end_ = 0;
};

}  // namespace kestrel
