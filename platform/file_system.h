// The file and directory layer. The engine reaches the file system only
// through these operations; file_system_posix.cpp and file_system_win32.cpp
// implement them for the two platforms with the same observable results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/native_text.h"

namespace kestrel {

// An operating-system error number (errno on POSIX, GetLastError on Windows);
// 0 when there was none.
using SystemError = int;

// A sentence describing a system error, for the front ends.
std::string describe_system_error(SystemError error);

// Open modes, combined as bits.
enum FileMode : unsigned {
  file_mode_read = 1,
  file_mode_write = 2,
  file_mode_create_always = 4,  // replace an existing file; else open only an existing one
  // Create a new file, and fail (with the system's "file exists" error) when
  // anything, a link included, already has the name.
  file_mode_create_new = 8,
};

// A folder held open so that the files in it can be opened by their names
// alone: the system then looks up one name, not every folder of the path.
class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle();
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  // `path` ends in a separator. `name` is zero-terminated.
  bool open(const NativeString& path);
  void close();
  SystemError last_error() const { return last_error_; }

 private:
  friend class FileHandle;
  friend class SmallFileReader;
#ifdef _WIN32
  NativeString path_;  // files are opened by their whole path
#else
  int descriptor_ = -1;
#endif
  SystemError last_error_ = 0;
};

// An open file. Other processes may read a file while it is open here, but
// not write it.
class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool open(const NativeString& path, unsigned mode);
  // Opens the file `name` in `folder` to read its contents once, front to
  // back, with as few system calls as the platform allows. `listed_size` is
  // its size when it was listed: large files are announced to the system as
  // read sequentially. Whether the file has changed since shows when its
  // last bytes are read (read_last).
  bool open_to_copy(const FolderHandle& folder, const NativeChar* name, uint64_t listed_size);
  // Reads until `count` bytes are read, the end of the file is reached or a
  // call fails; returns the bytes read. `last_error()` tells a failure from
  // the end of the file.
  size_t read(void* buffer, size_t count);
  // Reads what should be the last `count` bytes of the file into `buffer`,
  // which has room for one byte more, and so tells whether the file ends
  // there: returns `count` when it does, `count` + 1 when the file goes on
  // (it has grown), fewer when it ends early or a call fails. A file that
  // ends where expected takes one call, not a second one that reads nothing.
  size_t read_last(void* buffer, size_t count);
  // For a file opened with open_to_copy that may have holes (its listing
  // showed less space allocated than its size): from here on read() and
  // read_last() hand out the file's holes as zeros without reading them,
  // reading only its data extents, at a few calls per extent. A file system
  // that cannot tell its holes has one extent of data, read as it is.
  void skip_holes();
  // Writes all `count` bytes, returns the bytes written (short on failure).
  size_t write(const void* buffer, size_t count);
  // 64-bit size; 0 if the query fails.
  uint64_t size();
  void close();
  bool is_open() const;
  SystemError last_error() const { return last_error_; }
  // True when `path` names the very file that is open here (not another
  // one put under its name since). Where the platform keeps others from
  // renaming or deleting a file while it is open (Windows), that holds for
  // the name it was opened by.
  bool is_file_at(const NativeString& path) const;

 private:
  // Where a file read with skip_holes() stands: the next byte to hand out,
  // the data extent at or after it, and the end of the file as last seen.
  struct HoleCursor {
    bool active = false;
    uint64_t position = 0;
    uint64_t data_start = 0;
    uint64_t data_end = 0;
    uint64_t file_end = 0;
  };
  size_t read_skipping_holes(uint8_t* buffer, size_t count);
  size_t read_last_skipping_holes(uint8_t* buffer, size_t count);
  bool next_extent();
  // The data extent at or after `offset`: false when the file has no data
  // from there on. Where the system cannot tell, all of it is data.
  bool locate_data(uint64_t offset, uint64_t& start, uint64_t& end);
  // Reads up to `count` bytes at `offset` without moving through the file;
  // fewer at its end or on a failure.
  size_t read_at(uint64_t offset, uint8_t* buffer, size_t count);

  HoleCursor holes_;
#ifdef _WIN32
  void* handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
  // Reads until at least `least` bytes are read, asking for up to `most`,
  // with at least one call; stops at the end of the file or a failure.
  size_t read_at_least(void* buffer, size_t least, size_t most);

  int descriptor_ = -1;
#endif
  SystemError last_error_ = 0;
};

// One directory entry as the finder reports it.
struct FindEntry {
  uint64_t size = 0;
  int64_t created = 0;  // seconds since 1970-01-01 00:00:00 UTC
  int64_t accessed = 0;
  int64_t modified = 0;
  bool is_directory = false;
  // A file that someone may execute (POSIX permission bits); never on
  // Windows, whose files have no such bits.
  bool executable = false;
  // Neither a regular file nor a directory (a FIFO, socket or device node):
  // such entries carry no file data for an image.
  bool is_special = false;
  // The entry could not be examined (a dangling link, a file that vanished
  // between listing and examining); `error` holds the reason.
  bool unreadable = false;
  // The entry is a link whose target does not exist (or a chain of links
  // that loops): there is nothing to put into an image.
  bool broken_link = false;
  SystemError error = 0;
  // A regular file with less space allocated than its size, or marked
  // sparse: it may have holes, which are not worth reading.
  bool may_have_holes = false;
  // Identity of the object, where the platform has one (device and inode on
  // POSIX); used to notice a folder link that leads back into its own tree,
  // and files that are hard links of one another.
  uint64_t device = 0;
  uint64_t inode = 0;
  // Names (hard links) the file has; 0 where the listing does not tell
  // (Windows), so that query_file_identity must be asked.
  uint32_t link_count = 0;
  NativeString name;  // the entry's name, without any path
};

// Whether a listing reports "." and ".." or leaves them out, so that a scan
// that has no use for them does not pay for examining them (two of the
// entries of every folder).
enum class DotEntries : uint8_t { report, leave_out };

// One directory enumeration in progress. "." and ".." are reported like any
// other entry where the platform reports them, unless they are left out.
class DirectoryFinder {
 public:
  DirectoryFinder() = default;
  ~DirectoryFinder();
  DirectoryFinder(const DirectoryFinder&) = delete;
  DirectoryFinder& operator=(const DirectoryFinder&) = delete;

  // False at once for an empty path; a trailing separator is optional.
  bool find_first(const NativeString& directory, FindEntry& entry,
                  DotEntries dots = DotEntries::report);
  bool find_next(FindEntry& entry);
  // As find_first with "." and ".." left out, but the entries are `names`,
  // what a listing of `directory` gave moments ago, in that order: where
  // each entry takes a call of its own to examine (POSIX), the folder is not
  // listed a second time; where the listing brings the facts with the names
  // (Windows), it is listed again. `names` must outlive the enumeration.
  bool find_first_listed(const NativeString& directory, const std::vector<NativeString>& names,
                         FindEntry& entry);
  // Whether find_first_listed gives the entries in the order of `names`.
#ifdef _WIN32
  static constexpr bool keeps_listed_order = false;
#else
  static constexpr bool keeps_listed_order = true;
#endif
  void close();
  // Why the last find_first or find_next failed; 0 at the plain end of a directory.
  SystemError last_error() const { return last_error_; }

 private:
  struct State;
  State* state_ = nullptr;  // owned; the platform's enumeration state
  SystemError last_error_ = 0;
};

// The names in a directory, without "." and "..", in the order the system
// lists them. Nothing is examined, so a listing costs no call per entry.
// False, with the reason in `error`, when the directory cannot be listed.
bool list_names(const NativeString& directory, std::vector<NativeString>& names,
                SystemError& error);

// A file read whole into memory with two zero bytes after its data.
struct WholeFile {
  std::unique_ptr<uint8_t[]> bytes;
  size_t length = 0;
};

// Largest file that read_whole_file accepts; navigation files are far smaller.
inline constexpr uint64_t whole_file_limit = 16u * 1024 * 1024;

// Reads a file whole. Empty result when the file cannot be opened, is empty,
// is larger than `whole_file_limit` or the memory cannot be had.
WholeFile read_whole_file(const NativeString& path);

// True when the path names an existing file or directory.
bool path_exists(const NativeString& path);
bool is_directory(const NativeString& path);

// Attributes of one path (following links), in FindEntry form; false when the
// path cannot be examined.
bool stat_path(const NativeString& path, FindEntry& entry);

// What makes a file the same file under two names: the volume it is on and
// its number there (device and inode on POSIX, volume serial number and file
// index on Windows), and how many names it has.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  uint32_t link_count = 0;
};

// The identity of a file, following links; false when it cannot be had.
bool query_file_identity(const NativeString& path, FileIdentity& identity);

// Creates the directory and any missing parents; true when it exists afterwards.
bool create_directories(const NativeString& path, SystemError* error = nullptr);

// Removes a file; true on success.
bool remove_file(const NativeString& path);

// Renames `from` to `to`, replacing `to` if it exists.
bool rename_replacing(const NativeString& from, const NativeString& to,
                      SystemError* error = nullptr);

// Renames `from` to `to` only when nothing has the name `to`; otherwise
// fails with the system's "file exists" error and changes nothing. Where a
// file system cannot do that in one step, the check and the rename are two.
bool rename_keeping_existing(const NativeString& from, const NativeString& to,
                             SystemError* error = nullptr);

// True for the errors by which the system says that a name is taken.
bool is_file_exists_error(SystemError error);

// The number of this process, as the system counts processes.
uint32_t current_process_number();

// True when two canonical paths name the same place: equal on POSIX, equal
// ignoring case on Windows, whose file systems do not tell case apart.
bool same_path(NativeStringView a, NativeStringView b);

// True when the canonical `path` lies inside the canonical `folder` (at any
// depth; the folder itself is not inside itself).
bool path_is_inside(NativeStringView path, NativeStringView folder);

// The absolute, canonical form of a path: relative paths are taken from the
// current directory, "." and ".." steps are removed and doubled separators
// collapsed. An empty result means the path could not be made absolute.
NativeString canonical_path(const NativeString& path);

// The current working directory.
NativeString current_directory();

// The last component of a path, without trailing separators.
NativeString last_path_component(const NativeString& path);

// The folder part of a path (everything before the last separator); empty
// when the path has none.
NativeString parent_path(const NativeString& path);

// True for the platform's path separators ('/' on POSIX; '\\' and '/' on Windows).
bool is_path_separator(NativeChar c);

}  // namespace kestrel
