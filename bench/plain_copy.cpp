// The reference the benchmark measures against: every regular file below a
// folder copied into one output file. It does what an image build cannot
// avoid (list the folders, examine every entry, open and read every file,
// write every byte once) and nothing else.
//
//   plain_copy SOURCE-FOLDER OUTPUT-FILE
//   plain_copy -image-bytes N SOURCE-FOLDER OUTPUT-FILE
//
// The first form copies the files back to back in 1 MiB read and write calls.
//
// The second form writes exactly the bytes of an image of N bytes: every file
// padded with zeros to a whole 2048-byte sector, packed into a 1 MiB buffer
// that is written whenever it is full, then zeros up to N bytes. Each file is
// read with one call of its listed size. It is the least an image builder
// must do to write an image of that size, so a build's time divided by its
// time says how close the builder comes to the limit. A source whose padded
// files do not fit in N bytes is an error.
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

struct Copier {
  int output = -1;
  bool pad_sectors = false;  // the image form: files padded and packed
  char* buffer = static_cast<char*>(std::aligned_alloc(page_bytes, copy_bytes));
  size_t used = 0;  // bytes of the buffer waiting to be written (image form)
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

  // Reads up to `count` bytes into the buffer; the bytes read, or -1.
  static ssize_t read_some(int input, char* into, size_t count) {
    for (;;) {
      const ssize_t got = ::read(input, into, count);
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }

  bool copy_whole(int input) {
    for (;;) {
      const ssize_t got = read_some(input, buffer, copy_bytes);
      if (got < 0) return false;
      if (got == 0) return true;
      if (!write_all(buffer, static_cast<size_t>(got))) return false;
    }
  }

  // Reads `size` bytes (fewer if the file ends early) into the packing
  // buffer, then zeros to the end of the file's last sector.
  bool copy_padded(int input, unsigned long long size) {
    unsigned long long left = size;
    while (left > 0) {
      if (used == copy_bytes && !flush()) return false;
      const size_t want =
          static_cast<size_t>(std::min<unsigned long long>(left, copy_bytes - used));
      const ssize_t got = read_some(input, buffer + used, want);
      if (got < 0) return false;
      if (got == 0) break;
      used += static_cast<size_t>(got);
      left -= static_cast<unsigned long long>(got);
    }
    const size_t tail = used % sector_bytes;
    if (tail != 0) {
      std::memset(buffer + used, 0, sector_bytes - tail);
      used += sector_bytes - tail;
    }
    return true;
  }

  bool copy_file(int folder, const char* name, unsigned long long size) {
    const int input = ::openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (input < 0) return false;
    const bool ok = pad_sectors ? copy_padded(input, size) : copy_whole(input);
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
      struct stat info {};
      if (::fstatat(::dirfd(listing), item->d_name, &info, 0) != 0) {
        ok = false;
        continue;
      }
      if (S_ISDIR(info.st_mode)) {
        folders.push_back(path + "/" + item->d_name);
      } else if (S_ISREG(info.st_mode)) {
        const auto size = static_cast<unsigned long long>(info.st_size);
        ok = copy_file(::dirfd(listing), item->d_name, size) && ok;
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
  if (copier.pad_sectors) ok = copier.finish_image(image_bytes) && ok;
  if (::close(copier.output) != 0 || !ok) {
    std::fprintf(stderr, "plain_copy: copying failed\n");
    return 1;
  }
  return 0;
}
