/*
 * udf_tree_dump: lists (and optionally extracts) the whole file tree of a UDF
 * image through libudfread, an independent UDF reader, so that the reader
 * checks can compare an image with the folder it was built from.
 *
 *   udf_tree_dump IMAGE             one line per entry: "path/" for a folder,
 *                                   "path<TAB>size" for a file
 *   udf_tree_dump -x DIR IMAGE      the same, and every file extracted below DIR
 *
 * Build: cc -O2 -o udf_tree_dump udf_tree_dump.c -ludfread
 *
 * Extracted files are written sparse (runs of zero bytes become holes), so
 * that a multi-gigabyte file of mostly zeros costs little disk space.
 * Exit status 0 on success, 1 when anything could not be read or written.
 */
#define _FILE_OFFSET_BITS 64
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <udfread/udfread.h>

#define CHUNK_BYTES (1024 * 1024)
#define PATH_BYTES 4096

static int failures = 0;

/* libudfread reports names in modified UTF-8, where a character beyond the
 * Basic Multilingual Plane may come as two 3-byte surrogate halves. Turn
 * such pairs into 4-byte UTF-8 so the names compare with the source's. */
static void standard_utf8(const char* in, char* out, size_t size) {
  const unsigned char* s = (const unsigned char*)in;
  size_t n = 0;
  while (*s != 0 && n + 5 < size) {
    if (s[0] == 0xED && (s[1] & 0xF0) == 0xA0 && s[3] == 0xED && (s[4] & 0xF0) == 0xB0) {
      unsigned high = ((s[1] & 0x0Fu) << 6) | (s[2] & 0x3Fu);
      unsigned low = ((s[4] & 0x0Fu) << 6) | (s[5] & 0x3Fu);
      unsigned code = 0x10000u + (high << 10) + low;
      out[n++] = (char)(0xF0 | (code >> 18));
      out[n++] = (char)(0x80 | ((code >> 12) & 0x3F));
      out[n++] = (char)(0x80 | ((code >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (code & 0x3F));
      s += 6;
    } else {
      out[n++] = (char)*s++;
    }
  }
  out[n] = 0;
}

static int all_zero(const unsigned char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return 0;
  }
  return 1;
}

/* Copies one file out of the image; returns its size or -1. */
static int64_t extract_file(UDFFILE* file, const char* target, unsigned char* buffer) {
  int fd = -1;
  if (target != NULL) {
    fd = open(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
      fprintf(stderr, "udf_tree_dump: cannot create %s: %s\n", target, strerror(errno));
      return -1;
    }
  }
  const int64_t size = udfread_file_size(file);
  int64_t done = 0;
  while (done < size) {
    const size_t want = size - done < CHUNK_BYTES ? (size_t)(size - done) : CHUNK_BYTES;
    const ssize_t got = udfread_file_read(file, buffer, want);
    if (got <= 0) {
      fprintf(stderr, "udf_tree_dump: read failed at byte %lld of %s\n", (long long)done,
              target ? target : "");
      if (fd >= 0) close(fd);
      return -1;
    }
    if (fd >= 0) {
      if (all_zero(buffer, (size_t)got)) {
        if (lseek(fd, got, SEEK_CUR) < 0) break;
      } else if (write(fd, buffer, (size_t)got) != got) {
        fprintf(stderr, "udf_tree_dump: cannot write %s\n", target);
        close(fd);
        return -1;
      }
    }
    done += got;
  }
  if (fd >= 0) {
    if (ftruncate(fd, size) != 0 || close(fd) != 0) return -1;
  }
  return size;
}

/* `raw` is the folder's path as libudfread names it ("" for the root, else
 * "/a/b"); `shown` the same path in standard UTF-8 without the leading "/". */
static void walk(udfread* udf, const char* raw, const char* shown, const char* target_root,
                 unsigned char* buffer) {
  UDFDIR* dir = udfread_opendir(udf, raw[0] ? raw : "/");
  if (dir == NULL) {
    fprintf(stderr, "udf_tree_dump: cannot open folder /%s\n", shown);
    ++failures;
    return;
  }
  struct udfread_dirent entry;
  while (udfread_readdir(dir, &entry) != NULL) {
    if (strcmp(entry.d_name, ".") == 0 || strcmp(entry.d_name, "..") == 0) continue;
    char name[PATH_BYTES], child[PATH_BYTES], raw_child[PATH_BYTES], target[PATH_BYTES];
    standard_utf8(entry.d_name, name, sizeof name);
    const int too_long =
        snprintf(child, sizeof child, "%s%s%s", shown, shown[0] ? "/" : "", name) >= PATH_BYTES ||
        snprintf(raw_child, sizeof raw_child, "%s/%s", raw, entry.d_name) >= PATH_BYTES ||
        snprintf(target, sizeof target, "%s/%s", target_root ? target_root : "", child) >=
            PATH_BYTES;
    if (too_long) {
      fprintf(stderr, "udf_tree_dump: path too long below /%s\n", shown);
      ++failures;
      continue;
    }
    if (entry.d_type == UDF_DT_DIR) {
      printf("%s/\n", child);
      if (target_root != NULL && mkdir(target, 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "udf_tree_dump: cannot create %s\n", target);
        ++failures;
      }
      walk(udf, raw_child, child, target_root, buffer);
      continue;
    }
    UDFFILE* file = udfread_file_open(udf, raw_child);
    if (file == NULL) {
      fprintf(stderr, "udf_tree_dump: cannot open file %s\n", child);
      ++failures;
      continue;
    }
    const int64_t size = extract_file(file, target_root != NULL ? target : NULL, buffer);
    udfread_file_close(file);
    if (size < 0) ++failures;
    printf("%s\t%lld\n", child, (long long)size);
  }
  udfread_closedir(dir);
}

int main(int argc, char** argv) {
  const char* target_root = NULL;
  int arg = 1;
  if (argc == 4 && strcmp(argv[1], "-x") == 0) {
    target_root = argv[2];
    arg = 3;
  } else if (argc != 2) {
    fprintf(stderr, "usage: udf_tree_dump [-x folder] image\n");
    return 2;
  }
  udfread* udf = udfread_init();
  if (udf == NULL || udfread_open(udf, argv[arg]) < 0) {
    fprintf(stderr, "udf_tree_dump: cannot open %s as UDF\n", argv[arg]);
    return 1;
  }
  unsigned char* buffer = malloc(CHUNK_BYTES);
  if (buffer == NULL) return 1;
  if (target_root != NULL) mkdir(target_root, 0755);
  walk(udf, "", "", target_root, buffer);
  free(buffer);
  udfread_close(udf);
  return failures == 0 ? 0 : 1;
}
