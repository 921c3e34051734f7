// The reference the benchmark measures against: every regular file below a
// folder copied into one output file. It does what an image build cannot
// avoid (list the folders, open and read every file, write every byte once)
// and nothing else, the simplest way a single thread can: the type of an
// entry comes from the folder listing, so nothing is examined where the
// listing tells (only links, which are followed as a build follows them, and
// entries of file systems that do not report types); no size is asked for.
//
//   plain_copy SOURCE-FOLDER OUTPUT-FILE
//   plain_copy -image-bytes N SOURCE-FOLDER OUTPUT-FILE
//
// Every file is read until its end into a page-aligned 1 MiB buffer, each
// read asking for all the room that is left in it; the buffer is written
// whenever it is full. A read of a regular file that brings fewer bytes than
// asked has reached the end of the file, so a file that fits into the room
// left takes one read call.
//
// The first form packs the files back to back. The second form writes
// exactly the bytes of an image of N bytes: every file padded with zeros to a
// whole 2048-byte sector, then zeros up to N bytes. It is the least an image
// builder must do to write an image of that size, so a build's time divided
// by its time says how close the builder comes to the limit. A source whose
// padded files do not fit in N bytes is an error.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t copy_bytes = 1 << 20;
constexpr size_t sector_bytes = 2048;
// A page-aligned buffer: the kernel copies into it up to four times faster
// than into one at malloc's usual 16-byte offset.
constexpr size_t page_bytes = 4096;

// What an entry of a listing is, as far as the copy cares.
enum class EntryKind { file, folder, other, unreadable };

// The kind of an entry from its listed type. A link is followed to what it
// names; an entry the listing gives no type for is examined.
EntryKind kind_of(int folder, const dirent& item) {
  switch (item.d_type) {
    case DT_REG: return EntryKind::file;
    case DT_DIR: return EntryKind::folder;
    case DT_LNK:
    case DT_UNKNOWN: break;
    default: return EntryKind::other;
  }
  struct stat info {};
  if (::fstatat(folder, item.d_name, &info, 0) != 0) return EntryKind::unreadable;
  if (S_ISREG(info.st_mode)) return EntryKind::file;
  if (S_ISDIR(info.st_mode)) return EntryKind::folder;
  return EntryKind::other;
}

struct Copier {
  int output = -1;
  bool pad_sectors = false;  // the image form: files padded to whole sectors
  char* buffer = static_cast<char*>(std::aligned_alloc(page_bytes, copy_bytes));
  size_t used = 0;  // bytes of the buffer waiting to be written
  unsigned long long written = 0;

  bool write_all(const char* data, size_t count) {
    written += count;
    while (count > 0) {
      const ssize_t put = ::write(output, data, count);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      data += put;
      count -= static_cast<size_t>(put);
    }
    return true;
  }

  bool flush() {
    const bool ok = write_all(buffer, used);
    used = 0;
    return ok;
  }

  // Reads the file until its end into the buffer, then (image form) zeros to
  // the end of its last sector.
  bool copy_open_file(int input) {
    for (;;) {
      if (used == copy_bytes && !flush()) return false;
      const size_t room = copy_bytes - used;
      const ssize_t got = ::read(input, buffer + used, room);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      used += static_cast<size_t>(got);
      if (static_cast<size_t>(got) < room) break;
    }
    const size_t tail = used % sector_bytes;
    if (pad_sectors && tail != 0) {
      std::memset(buffer + used, 0, sector_bytes - tail);
      used += sector_bytes - tail;
    }
    return true;
  }

  bool copy_file(int folder, const char* name) {
    const int input = ::openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (input < 0) return false;
    const bool ok = copy_open_file(input);
    ::close(input);
    return ok;
  }

  bool copy_folder(const std::string& path) {
    DIR* listing = ::opendir(path.c_str());
    if (listing == nullptr) return false;
    std::vector<std::string> folders;
    bool ok = true;
    while (const dirent* item = ::readdir(listing)) {
      if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) continue;
      switch (kind_of(::dirfd(listing), *item)) {
        case EntryKind::file: ok = copy_file(::dirfd(listing), item->d_name) && ok; break;
        case EntryKind::folder: folders.push_back(path + "/" + item->d_name); break;
        case EntryKind::other: break;
        case EntryKind::unreadable: ok = false; break;
      }
    }
    ::closedir(listing);
    for (const std::string& folder : folders) ok = copy_folder(folder) && ok;
    return ok;
  }

  // The image form's end: the last packed files, then zeros up to `total`.
  bool finish_image(unsigned long long total) {
    if (!flush()) return false;
    if (written > total) {
      std::fprintf(stderr, "plain_copy: the padded files take %llu bytes, more than %llu\n",
                   written, total);
      return false;
    }
    std::memset(buffer, 0, copy_bytes);
    while (written < total) {
      const auto count =
          static_cast<size_t>(std::min<unsigned long long>(total - written, copy_bytes));
      if (!write_all(buffer, count)) return false;
    }
    return true;
  }
};

int usage() {
  std::fprintf(stderr, "usage: plain_copy [-image-bytes N] SOURCE-FOLDER OUTPUT-FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Copier copier;
  unsigned long long image_bytes = 0;
  int first = 1;
  if (argc == 5 && std::strcmp(argv[1], "-image-bytes") == 0) {
    char* end = nullptr;
    image_bytes = std::strtoull(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0') return usage();
    copier.pad_sectors = true;
    first = 3;
  } else if (argc != 3) {
    return usage();
  }
  if (copier.buffer == nullptr) return 1;
  copier.output = ::open(argv[first + 1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (copier.output < 0) {
    std::perror(argv[first + 1]);
    return 1;
  }
  bool ok = copier.copy_folder(argv[first]);
  ok = (copier.pad_sectors ? copier.finish_image(image_bytes) : copier.flush()) && ok;
  if (::close(copier.output) != 0 || !ok) {
    std::fprintf(stderr, "plain_copy: copying failed\n");
    return 1;
  }
  return 0;
}
