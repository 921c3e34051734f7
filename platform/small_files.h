// Reading many small files with few calls into the system. A build of many
// small files spends most of its time in the open, read and close of each
// file; on a virtual machine the entry into the kernel alone can cost more
// than the work it asks for. Where the platform can queue those calls (on
// Linux, io_uring), a group of files costs one system call instead of three
// per file. Elsewhere, or where the system does not allow it, there is no
// such reader and files are read one by one with FileHandle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/file_system.h"

namespace kestrel {

// One file to read whole into memory, and what became of it.
struct SmallFileRead {
  const FolderHandle* folder = nullptr;
  const NativeChar* name = nullptr;  // zero-terminated, in `folder`
  uint8_t* destination = nullptr;
  size_t size = 0;  // the bytes expected: the file's size when it was listed
  // Bytes at `destination`, at least `size`. Where there are more, the read
  // asks for one byte more, which tells whether the file has grown; where
  // there are not, that byte is read elsewhere.
  size_t room = 0;

  // Results.
  SystemError open_error = 0;  // the file could not be opened
  SystemError read_error = 0;  // reading it failed
  size_t got = 0;              // bytes read to `destination`, at most `size`
  bool grown = false;          // the file goes on past `size`

  uint8_t next_byte = 0;  // where the byte past `size` is read when there is no room
};

class SmallFileReader {
 public:
  // Files in one group at most.
  static constexpr size_t max_files = 32;

  // A reader for the calling thread (one per thread), or null where files
  // are to be read one by one.
  static std::unique_ptr<SmallFileReader> create();

  virtual ~SmallFileReader() = default;

  // Opens, reads and closes up to max_files files and fills in their
  // results. False when the mechanism itself failed: then nothing is known
  // of any of them and the caller reads them one by one.
  virtual bool read(SmallFileRead* files, size_t count) = 0;

 protected:
#ifndef _WIN32
  static int descriptor_of(const FolderHandle& folder) { return folder.descriptor_; }
#endif
};

}  // namespace kestrel
