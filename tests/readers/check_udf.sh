#!/usr/bin/env bash
# Reader check: UDF 1.02, ISO 9660 + UDF 1.02 bridge and UDF 2.50 images of
# varied trees, read back by udfinfo (udftools), by libudfread through
# tools/udf_tree_dump.c and by 7-Zip. Every path, every size and every byte
# must come back as they are in the source, also for hard links and equal
# files stored once.
#
#   check_udf.sh KESTREL_CLI
#
# Needs cc, libudfread-dev, udfinfo, 7zz and python3; skips (77) without them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_udf.sh KESTREL_CLI}
[[ -x "$cli" ]] || fail "kestrel-cli not found: $cli"
need_tool cc udfinfo 7zz python3
if [[ ! -f /usr/include/udfread/udfread.h ]]; then
  echo "SKIP: libudfread-dev is not installed (tools/install-deps.sh installs it)" >&2
  exit 77
fi
source_dir=${KESTREL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
scratch=$(make_scratch udf_readers)
dump=$scratch/udf_tree_dump
cc -O2 -o "$dump" "$source_dir/tools/udf_tree_dump.c" -ludfread || fail "udf_tree_dump does not build"

label="Kestrel UDF"

# build FS SOURCE IMAGE
build() {
  "$cli" -quiet -yes -fs "$1" -label "$label" -output "$3" "$2" || fail "kestrel-cli -fs $1 failed on $2"
}

# The listing the dump tool prints, made from the source tree with find.
expected_listing() {
  (
    cd -- "$1"
    find . -mindepth 1 -type d -printf '%P/\n'
    find . -type f -printf '%P\t%s\n'
  ) | LC_ALL=C sort
}

# udfinfo: no complaint, the label and the revision.
check_udfinfo() {
  local image=$1 revision=$2 info
  info=$(udfinfo "$image" 2>&1) || fail "udfinfo rejects $image: $info"
  if grep -qiE 'warning|error|corrupt' <<<"$info"; then
    fail "udfinfo complains about $image: $(grep -iE 'warning|error|corrupt' <<<"$info" | head -n 5)"
  fi
  grep -qx "label=$label" <<<"$info" || fail "udfinfo: label of $image is not '$label'"
  grep -qx "udfrev=$revision" <<<"$info" || fail "udfinfo: revision of $image is not $revision"
}

# The whole tree through libudfread: every path with its size, then every
# file's bytes (extracted into OUT).
check_libudfread() {
  local image=$1 source=$2 out=$3
  rm -rf -- "$out"
  "$dump" -x "$out" "$image" >"$out.list" || fail "libudfread cannot read all of $image"
  if ! diff <(LC_ALL=C sort "$out.list") <(expected_listing "$source") >"$out.diff"; then
    head -n 20 "$out.diff" >&2
    fail "libudfread lists another tree in $image"
  fi
}

# Compares two sparse files by their data regions only (both are written with
# holes), so that a 5 GiB file of mostly zeros is checked in a moment.
compare_sparse() {
  python3 - "$1" "$2" <<'PY' || fail "contents differ: $1 and $2"
import os, sys
def regions(path):
    fd = os.open(path, os.O_RDONLY)
    size, out, pos = os.fstat(fd).st_size, [], 0
    while pos < size:
        try:
            start = os.lseek(fd, pos, os.SEEK_DATA)
        except OSError:
            break
        end = os.lseek(fd, start, os.SEEK_HOLE)
        out.append((start, end))
        pos = end
    os.close(fd)
    return size, out
(size_a, a), (size_b, b) = regions(sys.argv[1]), regions(sys.argv[2])
if size_a != size_b:
    sys.exit(f"sizes {size_a} and {size_b}")
with open(sys.argv[1], "rb") as fa, open(sys.argv[2], "rb") as fb:
    for start, end in a + b:
        while start < end:
            n = min(end - start, 1 << 20)
            fa.seek(start); fb.seek(start)
            if fa.read(n) != fb.read(n):
                sys.exit(f"bytes differ in [{start}, {start + n})")
            start += n
PY
}

# 7-Zip lists and extracts the tree.
check_7zip() {
  local image=$1 source=$2 out=$3
  rm -rf -- "$out"
  7zz x -y -o"$out" "$image" >"$out.log" 2>&1 || fail "7zz cannot extract $image: $(tail -n 5 "$out.log")"
  compare_trees "$source" "$out" || fail "7zz extracts another tree from $image"
  rm -rf -- "$out"
}

# --- Varied tree: nested folders, empty files and folders, 300 files in one
# folder, names with spaces, accents, CJK and an emoji; all three layouts.
varied=$scratch/varied
make_varied_tree "$varied"
for fs in udf102 bridge udf250; do
  image=$scratch/varied_$fs.iso
  build "$fs" "$varied" "$image"
  revision=1.02
  [[ $fs == udf250 ]] && revision=2.50
  check_udfinfo "$image" "$revision"
  check_libudfread "$image" "$varied" "$scratch/out_$fs"
  compare_trees "$varied" "$scratch/out_$fs" || fail "libudfread reads other bytes from $image"
  rm -rf -- "$scratch/out_$fs"
  check_7zip "$image" "$varied" "$scratch/7z_$fs"
  rm -f -- "$image"
done

# --- Bootable images that also start from a disk: the MBR and GPT in the
# system area, the backup GPT at the end, where its header shares the last
# sector with the closing anchor; and, in the UDF 2.50 image, the ISO 9660
# tables of 40 more folders after the UDF volume. Every reader still reads
# the whole tree, and 7-Zip finds nothing after the volume but the anchor.
bootable=$scratch/bootable
make_varied_tree "$bootable"
mkdir -p -- "$bootable/boot"
write_random_file "$bootable/boot/loader.bin" 9001 loader
write_random_file "$bootable/boot/efi.img" 8192 efi
for i in $(seq 1 40); do
  mkdir -p -- "$bootable/more/folder $i"
  printf '%s\n' "$i" >"$bootable/more/folder $i/n.txt"
done
for fs in udf102 bridge udf250; do
  image=$scratch/bootable_$fs.iso
  "$cli" -quiet -yes -fs "$fs" -label "$label" -output "$image" -boot-bios boot/loader.bin \
    -boot-info-table -boot-efi boot/efi.img "$bootable" || fail "kestrel-cli -fs $fs failed on $bootable"
  revision=1.02
  [[ $fs == udf250 ]] && revision=2.50
  check_udfinfo "$image" "$revision"
  check_libudfread "$image" "$bootable" "$scratch/out_boot_$fs"
  # The loader's copy carries its boot information table: all else compares.
  cmp -s <(tail -c +65 "$bootable/boot/loader.bin") <(tail -c +65 "$scratch/out_boot_$fs/boot/loader.bin") ||
    fail "libudfread reads other bytes of the loader from $image"
  cp -- "$bootable/boot/loader.bin" "$scratch/out_boot_$fs/boot/loader.bin"
  compare_trees "$bootable" "$scratch/out_boot_$fs" || fail "libudfread reads other bytes from $image"
  rm -rf -- "$scratch/out_boot_$fs"
  7zz l "$image" >"$scratch/boot.7z.list" 2>&1 || fail "7zz reports errors in $image: $(grep -iE 'error|warning|after the end' "$scratch/boot.7z.list")"
  if grep -qiE 'error|warning|data after the end' "$scratch/boot.7z.list"; then
    fail "7zz complains about $image: $(grep -iE 'error|warning|data after the end' "$scratch/boot.7z.list")"
  fi
  rm -f -- "$image"
done

# --- Long names. Below U+0100 they take the 8-bit form, which holds 254
# characters: 200 ASCII characters and 254 with an accent (255 bytes of
# UTF-8, the most a Linux name holds) read back whole through libudfread and
# 7-Zip. Longer ones, and ones of more than 127 units with other characters
# (the 16-bit form), are shortened, the extension kept, distinct from each
# other.
long=$scratch/long
mkdir -p -- "$long"
ascii=$(printf 'a%.0s' {1..200})
latin=$(printf 'l%.0s' {1..249})é.txt
printf 'ascii' >"$long/$ascii"
printf 'latin' >"$long/$latin"
stem=中$(printf 'n%.0s' {1..150})
printf 'one' >"$long/${stem}1.txt"
printf 'two' >"$long/${stem}2.txt"
printf 'z' >"$long/$(printf 'z%.0s' {1..255})"
printf 'short' >"$long/short.txt"
image=$scratch/long.iso
build udf250 "$long" "$image"
"$dump" -x "$scratch/out_long" "$image" >"$scratch/long.list" || fail "libudfread cannot read $image"
7zz x -y -o"$scratch/7z_long" "$image" >/dev/null 2>&1 || fail "7zz cannot extract $image"
for out in "$scratch/out_long" "$scratch/7z_long"; do
  [[ $(cat "$out/$ascii" 2>/dev/null) == ascii && $(cat "$out/$latin" 2>/dev/null) == latin ]] ||
    fail "names of 200 and 254 characters below U+0100 do not read back whole from $out: $(ls "$out")"
  [[ $(cat "$out/$(printf 'z%.0s' {1..254})" 2>/dev/null) == z ]] ||
    fail "the name of 255 characters is not cut to 254 in $out"
done
short_stem=中$(printf 'n%.0s' {1..122})
second_stem=中$(printf 'n%.0s' {1..120})~1
[[ -f "$scratch/out_long/$short_stem.txt" ]] || fail "shortened name missing: $(cat "$scratch/long.list")"
[[ -f "$scratch/out_long/$second_stem.txt" ]] || fail "second shortened name missing: $(cat "$scratch/long.list")"
[[ $(cat "$scratch/out_long/$short_stem.txt") == one && $(cat "$scratch/out_long/$second_stem.txt") == two ]] ||
  fail "shortened names lead to the wrong files"
[[ $(cat "$scratch/out_long/short.txt") == short ]] || fail "short name lost beside long ones"
rm -rf -- "$scratch/out_long" "$scratch/7z_long" "$image"

# --- DVD-video source: a bridge image with 8-bit UDF names.
dvd=$scratch/dvd
mkdir -p -- "$dvd/VIDEO_TS" "$dvd/AUDIO_TS" "$dvd/EXTRA"
for name in VIDEO_TS.IFO VIDEO_TS.BUP VTS_01_0.IFO VTS_01_1.VOB VTS_01_0.BUP; do
  write_random_file "$dvd/VIDEO_TS/$name" 5000 "$name"
done
printf 'Latin-1 name.\n' >"$dvd/EXTRA/café.txt"
image=$scratch/dvd.iso
build udf250 "$dvd" "$image"  # any choice: the DVD folder forces the bridge
check_udfinfo "$image" 1.02
check_libudfread "$image" "$dvd" "$scratch/out_dvd"
compare_trees "$dvd" "$scratch/out_dvd" || fail "libudfread reads other bytes from the DVD image"
rm -rf -- "$scratch/out_dvd" "$image"

# --- A 5 GiB sparse file (above 4 GiB, five extents of at most 1 GiB) with
# marked blocks at its start, a third, half-way and the end.
big=$scratch/big
mkdir -p -- "$big"
make_sparse_file "$big/huge.bin" 5G
printf 'after the big one\n' >"$big/zz.txt"
for fs in udf102 udf250; do
  image=$scratch/big_$fs.iso
  build "$fs" "$big" "$image"
  check_udfinfo "$image" "$([[ $fs == udf250 ]] && echo 2.50 || echo 1.02)"
  check_libudfread "$image" "$big" "$scratch/out_big"
  compare_sparse "$big/huge.bin" "$scratch/out_big/huge.bin"
  cmp -s "$big/zz.txt" "$scratch/out_big/zz.txt" || fail "small file after the big one differs"
  rm -rf -- "$scratch/out_big"
  7zz l "$image" >"$scratch/big.7z.list" 2>&1 || fail "7zz cannot list $image"
  grep -q ' 5368709120 .*huge.bin' "$scratch/big.7z.list" || fail "7zz lists another size for huge.bin"
  rm -f -- "$image"
done

# --- Hard links and equal files (-dedupe), in every UDF layout: the names of
# one file are identifiers of one file entry, equal files' entries share
# their extents; every name reads back with its file's bytes, and the image
# holds each file's data once.
shared=$scratch/shared
make_shared_tree "$shared"
for fs in udf102 bridge udf250; do
  image=$scratch/shared_$fs.iso
  "$cli" -quiet -yes -dedupe -fs "$fs" -label "$label" -output "$image" "$shared" ||
    fail "kestrel-cli -dedupe -fs $fs failed on $shared"
  expect_one_copy "$image" "$SHARED_TREE_UNIQUE_BYTES"
  check_udfinfo "$image" "$([[ $fs == udf250 ]] && echo 2.50 || echo 1.02)"
  check_libudfread "$image" "$shared" "$scratch/out_shared"
  compare_trees "$shared" "$scratch/out_shared" || fail "libudfread reads other bytes from $image"
  rm -rf -- "$scratch/out_shared"
  check_7zip "$image" "$shared" "$scratch/7z_shared"
  rm -f -- "$image"
done

rm -rf -- "$scratch"
echo "PASS: UDF images read back by udfinfo, libudfread and 7-Zip"
