// A file written under a name of its own beside its target, and put in the
// target's place only once it is complete: a reader of the target sees the
// earlier file or the whole new one, never a part. The name is new to the
// folder, since the file is created exclusively; so two programs writing one
// target never write into each other's file, and a file an earlier crash
// left behind is neither reused nor removed.
#pragma once

#include <cstdint>

#include "platform/file_system.h"
#include "platform/native_text.h"

namespace kestrel {

// What becomes of a file that already has the target's name.
enum class ExistingTarget : uint8_t {
  keep,     // the new file is not put in its place (the user did not agree)
  replace,  // the new file replaces it
};

class TemporaryFile {
 public:
  TemporaryFile() = default;
  // Removes the file when it was not put in the target's place.
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates the file "<target>.<process>-<n>.kestrel-part" for writing, with
  // the first n from a count of this process whose name is free.
  bool create(const NativeString& target);
  FileHandle& file() { return file_; }
  const NativeString& path() const { return path_; }

  // Closes the file and gives it the target's name. With `keep`, a file that
  // has the name by now (another program's) stays, and this fails with the
  // system's "file exists" error (is_file_exists_error). On failure the
  // file is removed.
  bool commit(ExistingTarget existing);
  // Closes and removes the file, if its name still leads to it.
  void discard();

  SystemError last_error() const { return last_error_; }

 private:
  NativeString target_;
  NativeString path_;
  FileHandle file_;
  SystemError last_error_ = 0;
};

// True when `path` has the form of a temporary file of `target` (of any
// process): the scan leaves such files out of an image of a folder that
// holds its own target.
bool is_temporary_file_of(NativeStringView target, NativeStringView path);

}  // namespace kestrel
