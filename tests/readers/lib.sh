# shellcheck shell=bash
# Shared helpers for the reader checks (tests/readers/check_*.sh).
#
# A check builds an image with kestrel-cli (its first argument) and reads it
# back with an independent reader. Source this file near the top:
#
#   set -euo pipefail
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
#   need_tool 7zz
#   scratch=$(make_scratch iso9660_7zip)
#
# ctest runs the checks with KESTREL_TEST_TMP set to a folder in the build
# tree; exit status 77 tells ctest the check was skipped.
#
# The helpers do not change the caller's shell options and work under
# "set -euo pipefail".

# Exits the check as skipped (status 77) unless every named program is on
# the PATH.
need_tool() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIP: $tool is not installed (tools/install-deps.sh installs it)" >&2
      exit 77
    fi
  done
}

# Exits the check as skipped unless python3 can import every named module.
need_python_module() {
  need_tool python3
  local module
  for module in "$@"; do
    if ! python3 -c "import $module" >/dev/null 2>&1; then
      echo "SKIP: python module $module is not installed" >&2
      exit 77
    fi
  done
}

# Stops the check with a message on standard error.
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Creates an empty scratch folder NAME under $KESTREL_TEST_TMP (emptying it
# when it exists) and prints its path. Checks run in parallel, so every check
# uses its own NAME.
make_scratch() {
  local name=$1
  [[ -n "$name" && "$name" != */* && "$name" != . && "$name" != .. ]] ||
    fail "make_scratch: plain folder name expected, got '$name'"
  local root=${KESTREL_TEST_TMP:-${TMPDIR:-/tmp}/kestrel-test-tmp}
  local dir="$root/$name"
  rm -rf -- "$dir"
  mkdir -p -- "$dir"
  (cd -- "$dir" && pwd)
}

# Writes SIZE bytes of pseudo-random content to PATH. The same SEED gives
# the same bytes, so a failure can be reproduced; distinct seeds make every
# file distinct, so a file read from the wrong extent shows up.
write_random_file() {
  local path=$1 size=$2 seed=${3:-$2}
  if command -v python3 >/dev/null 2>&1; then
    python3 - "$path" "$size" "$seed" <<'PY'
import random, sys
path, size, seed = sys.argv[1], int(sys.argv[2]), sys.argv[3]
with open(path, "wb") as out:
    out.write(random.Random(seed).randbytes(size))
PY
  else
    head -c "$size" /dev/urandom >"$path"
  fi
}

# Fills DIR with a tree that exercises the writers: folders three deep, an
# empty folder, 0-byte files, sizes around a sector (1, 2047, 2048, 2049
# bytes) and one of 1,000,000 bytes with pseudo-random content, 300 files in
# one folder, and names with spaces, accents, CJK characters and an emoji.
#
#   make_varied_tree DIR [--plain-names]
#
# With --plain-names the names are limited to upper-case letters, digits and
# underscores with a short extension, for checks of 8-bit ISO 9660
# identifiers that must come back unchanged.
make_varied_tree() {
  local dir=$1 plain=0
  [[ "${2:-}" == --plain-names ]] && plain=1
  mkdir -p -- "$dir"

  local deep=$dir/LEVEL1/LEVEL2/LEVEL3
  mkdir -p -- "$deep" "$dir/EMPTYDIR" "$dir/SIZES" "$dir/MANY"
  printf 'Top level text file.\n' >"$dir/README.TXT"
  printf 'First level.\n' >"$dir/LEVEL1/L1.TXT"
  printf 'Second level.\n' >"$dir/LEVEL1/LEVEL2/L2.TXT"
  printf 'Third level, the deepest file.\n' >"$deep/L3.TXT"
  : >"$dir/EMPTY.DAT"
  : >"$deep/EMPTY3.DAT"

  local size
  for size in 1 2047 2048 2049 1000000; do
    write_random_file "$dir/SIZES/S$size.BIN" "$size" "size-$size"
  done

  local i name
  for ((i = 1; i <= 300; i++)); do
    printf -v name 'F%03d.TXT' "$i"
    if ((i % 50 == 0)); then
      : >"$dir/MANY/$name"
    else
      printf 'File %d of 300 in one folder.\n' "$i" >"$dir/MANY/$name"
    fi
  done

  if ((plain == 0)); then
    mkdir -p -- "$dir/Folder with spaces" "$dir/日本語"
    printf 'Name with spaces.\n' >"$dir/Folder with spaces/a file with spaces.txt"
    printf 'Accents.\n' >"$dir/café résumé.txt"
    printf 'Umlauts.\n' >"$dir/Größe über.txt"
    printf 'CJK name.\n' >"$dir/日本語/日本語のファイル.txt"
    printf 'Emoji name.\n' >"$dir/smile 😀.txt"
    write_random_file "$dir/日本語/data é ü.bin" 4099 "mixed-name"
  fi
}

# Creates PATH as a sparse file of SIZE bytes (any size truncate accepts,
# such as 5G) with a few 4 KiB blocks of distinct, non-zero text at the
# start, a third, half-way and the end, so that a reader that returns the
# wrong part of a large file is caught without writing gigabytes.
make_sparse_file() {
  local path=$1 size=$2
  rm -f -- "$path"
  truncate -s "$size" -- "$path"
  local bytes block=4096 offset
  bytes=$(stat -c %s -- "$path")
  ((bytes >= block)) || fail "make_sparse_file: $size is smaller than one block"
  local text
  for offset in 0 $((bytes / 3)) $((bytes / 2)) $((bytes - block)); do
    # Built in the shell rather than with "yes | head", whose SIGPIPE would
    # fail the pipeline under "set -o pipefail".
    text=""
    while ((${#text} < block)); do
      text+="kestrel sparse block at byte $offset"$'\n'
    done
    printf '%s' "${text:0:block}" |
      dd of="$path" bs="$block" seek="$offset" oflag=seek_bytes conv=notrunc status=none
  done
}

# Fills DIR with a tree whose data an image stores once: one file of
# 4,000,000 bytes under three names (hard links, two of them alike in
# different folders), a photo and its copy, a file of the photo's size with
# other bytes, and a small and an empty file with a second name each. Its
# data without repeats is SHARED_TREE_UNIQUE_BYTES; an image of it built
# with -dedupe holds each once.
#
#   make_shared_tree DIR [--plain-names]
#
# With --plain-names every name is an 8.3 name of upper-case letters.
# shellcheck disable=SC2034  # read by the checks that source this file
SHARED_TREE_UNIQUE_BYTES=$((4000000 + 2000000 + 2000000 + 6))
make_shared_tree() {
  local dir=$1 clip=clip.bin link="clip link.bin" photo="photo é.jpg" copy="copy of photo.jpg"
  if [[ ${2:-} == --plain-names ]]; then
    clip=CLIP.BIN link=LINK.BIN photo=PHOTO.JPG copy=COPY.JPG
  fi
  mkdir -p -- "$dir/A" "$dir/B" "$dir/C"
  write_random_file "$dir/A/$clip" 4000000 shared-clip
  ln -- "$dir/A/$clip" "$dir/B/$clip"
  ln -- "$dir/A/$clip" "$dir/C/$link"
  write_random_file "$dir/A/$photo" 2000000 shared-photo
  cp -- "$dir/A/$photo" "$dir/C/$copy"
  write_random_file "$dir/OTHER.JPG" 2000000 shared-other
  printf 'small\n' >"$dir/SMALL.TXT"
  ln -- "$dir/SMALL.TXT" "$dir/C/SMALL.TXT"
  : >"$dir/EMPTY.TXT"
  ln -- "$dir/EMPTY.TXT" "$dir/B/EMPTY.TXT"
}

# Fails unless IMAGE is no larger than DATA bytes and SLACK bytes of
# structures (default 1 MiB): an image that stores shared data once.
expect_one_copy() {
  local image=$1 data=$2 slack=${3:-1048576} size
  size=$(stat -c %s -- "$image")
  ((size <= data + slack)) ||
    fail "$image takes $size bytes, more than one copy of its $data bytes of data and $slack of structures"
}

# Fills DIR with a real DVD-video folder: a 4-second PAL title with sound,
# made with ffmpeg and authored with dvdauthor (VIDEO_TS with its menu
# structure), and a README.TXT beside it. Needs ffmpeg and dvdauthor.
make_dvd_video_folder() {
  local dir=$1 title=${1%/}.title.mpg
  ffmpeg -loglevel error -f lavfi -i testsrc=duration=4:size=720x576:rate=25 \
    -f lavfi -i sine=duration=4 -target pal-dvd -y "$title" || fail "ffmpeg cannot make the test title"
  mkdir -p -- "$dir"
  VIDEO_FORMAT=PAL dvdauthor -o "$dir" -t "$title" >/dev/null 2>&1 || fail "dvdauthor cannot author the title"
  rm -f -- "$title"
  VIDEO_FORMAT=PAL dvdauthor -o "$dir" -T >/dev/null 2>&1 || fail "dvdauthor cannot write the menu structure"
  printf 'notes' >"$dir/README.TXT"
}

# Compares two folder trees: names, folder structure and file contents.
# Prints the differences and returns 1 when they differ.
compare_trees() {
  local expected=$1 actual=$2 report
  if report=$(diff -r --no-dereference -- "$expected" "$actual" 2>&1); then
    return 0
  fi
  echo "FAIL: the trees differ: expected $expected, read back $actual" >&2
  printf '%s\n' "$report" | head -n 40 >&2
  return 1
}

# Prints the temporary files of builds to TARGET that lie beside it
# ("TARGET.<process>-<n>.kestrel-part"), one a line; nothing when there are none.
temporary_files_of() {
  local file
  for file in "$1".*-*.kestrel-part; do
    if [[ -e $file ]]; then printf '%s\n' "$file"; fi
  done
}

# Prints the SHA-256 of a file.
hash_file() {
  local digest
  digest=$(sha256sum -- "$1") || return 1
  printf '%s\n' "${digest%% *}"
}
