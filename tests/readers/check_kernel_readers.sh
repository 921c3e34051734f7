#!/usr/bin/env bash
# Reader check: the Linux kernel's own isofs and udf drivers, in a small
# virtual machine (tests/readers/kernel), mount every layout Kestrel writes
# and list every folder, every file size and every file's SHA-256, which
# must equal the source. An ISO 9660 volume is mounted three ways: as the
# driver reads it by default (Rock Ridge names, which must be the source's),
# with -o norock (Joliet names) and with -o norock,nojoliet (the 8.3
# identifiers, raw; for the tree of names that differ in case only, as the
# driver folds them by default, where they must stay distinct):
#
#   ISO 9660, the ISO 9660 + UDF 1.02 bridge (every view), UDF 1.02 and
#   UDF 2.50 images of a varied tree; names of more than 127 characters in
#   the 8-bit form (UDF 1.02); a tree of names that only the name
#   extensions hold (folders seventeen deep, which Rock Ridge relocates, a
#   name of 255 bytes, names that differ in case only, characters Joliet
#   forbids) as ISO 9660; a DVD-video folder (bridge, its plain ISO 9660
#   volume and UDF); stereoscopic Blu-ray folders (UDF 2.50 with interleaved
#   files, one of them with 130 extents a clip, so that its entries continue
#   in allocation extent blocks); a 5 GiB sparse file in a bridge image,
#   read through the multi-extent ISO 9660 records of both hierarchies and
#   through UDF; a bootable bridge image and a bootable UDF 2.50 image with
#   its ISO 9660 volume (every view), whose BIOS loader reads back with the
#   boot information table in its bytes 8 to 63 and the source's bytes
#   elsewhere; a tree of hard links and equal files built with -dedupe in
#   every layout, every name read from the one copy of its data in every
#   view.
#
# All images are listed in one boot of the machine.
#
#   check_kernel_readers.sh KESTREL_CLI
#
# Needs qemu-system-x86, linux-image-amd64, busybox-static, ffmpeg,
# dvdauthor, cc, libudfread-dev and python3; skips (77) without them.
set -euo pipefail
readers_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$readers_dir/lib.sh"
source "$readers_dir/kernel/machine.sh"

cli=${1:?usage: check_kernel_readers.sh KESTREL_CLI}
[[ -x "$cli" ]] || fail "kestrel-cli not found: $cli"
need_tool python3 cc ffmpeg dvdauthor
if [[ ! -f /usr/include/udfread/udfread.h ]]; then
  echo "SKIP: libudfread-dev is not installed (tools/install-deps.sh installs it)" >&2
  exit 77
fi
source_dir=${KESTREL_SOURCE_DIR:-$(cd "$readers_dir/../.." && pwd)}
scratch=$(make_scratch kernel_readers)
# The large image and its source take gigabytes: never leave them behind.
trap 'rm -rf -- "$scratch"' EXIT
kernel_machine_prepare "$scratch"

dump=$scratch/udf_tree_dump
cc -O2 -o "$dump" "$source_dir/tools/udf_tree_dump.c" -ludfread || fail "udf_tree_dump does not build"

# build FS SOURCE IMAGE [SWITCH] (FS "default" lets Kestrel choose from the
# folder); a source with a boot/loader.bin is made bootable through the
# switches.
build() {
  local layout=()
  [[ $1 != default ]] && layout=(-fs "$1")
  [[ -n ${4:-} ]] && layout+=("$4")
  [[ -f "$2/boot/loader.bin" ]] && layout+=("${boot_switches[@]}")
  "$cli" -quiet -yes "${layout[@]}" -output "$3" "$2" || fail "kestrel-cli ${layout[*]} failed on $2"
}
boot_switches=(-boot-bios boot/loader.bin -boot-info-table -boot-efi boot/efi.img)

# The interleaved files of a stereoscopic image are not in the source: the
# kernel must read them as libudfread does. Prints --extra arguments.
interleaved_extras() {
  local image=$1 out=$scratch/extras file
  rm -rf -- "$out"
  "$dump" -x "$out" "$image" >/dev/null || fail "libudfread cannot read $image"
  [[ -d "$out/BDMV/STREAM/SSIF" ]] || fail "$image has no interleaved files"
  for file in "$out"/BDMV/STREAM/SSIF/*; do
    printf '%s\n' --extra "${file#"$out"/}" "$(stat -c %s "$file")" "$(hash_file "$file")"
  done
  rm -rf -- "$out"
}

varied=$scratch/varied
make_varied_tree "$varied"
dvd=$scratch/dvd
make_dvd_video_folder "$dvd"
stereo=$scratch/stereo
python3 "$source_dir/tools/make_bluray_folder.py" --stereo "$stereo"
many=$scratch/many
python3 "$source_dir/tools/make_bluray_folder.py" --stereo --extents 130 --packets $((130 * 32)) "$many"
big=$scratch/big
mkdir -p -- "$big/SUB"
write_random_file "$big/A_FIRST.BIN" 5000 first
make_sparse_file "$big/BIG.BIN" 5G
write_random_file "$big/SUB/AFTER.BIN" 70001 after
# Names that only the name extensions hold, and folders seventeen deep
# (which the primary volume holds elsewhere, relocated, so that only Rock
# Ridge and Joliet show them in place).
names=$scratch/names
deep=$scratch/deep
python3 - "$names" "$deep" <<'PY'
import os, sys
root, deep_root = sys.argv[1], sys.argv[2]
def write(relative, text, under=root):
    path = os.path.join(under, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
deep = "/".join("level%02d" % i for i in range(2, 19))
write(deep + "/deep.txt", "seventeen folders deep\n", deep_root)
write(deep + "/level19/level20/deeper.txt", "nineteen folders deep\n", deep_root)
write("shallow.txt", "at the top\n", deep_root)
# Linux reads Rock Ridge names of up to 253 bytes.
write("n" * 249 + ".dat", "a name of 253 bytes\n")
for name in ("README", "readme", "ReadMe"):
    write(name, "this one is %s\n" % name)
write("semi;colon?.txt", "forbidden in Joliet\n")
write("...", "three dots\n")
write("A name longer than the sixty-four units that Joliet holds in one.txt", "long\n")
write("smile \U0001F600.txt", "beyond the BMP\n")
PY
# Names longer than the 127 units of the 16-bit form, all below U+0100: the
# 8-bit form holds them whole. (The kernel's udf driver gives a name whose
# UTF-8 form exceeds 254 bytes a made-up name of its own, as it does for any
# such name, so the second stops there: 253 characters, 254 bytes.)
long=$scratch/long
mkdir -p -- "$long/$(printf 'd%.0s' {1..180})"
printf 'ascii' >"$long/$(printf 'a%.0s' {1..200}).txt"
printf 'latin' >"$long/$(printf 'l%.0s' {1..248})é.txt"
printf 'inner' >"$long/$(printf 'd%.0s' {1..180})/$(printf 'i%.0s' {1..150})"
bootable=$scratch/bootable
mkdir -p -- "$bootable/boot"
write_random_file "$bootable/boot/loader.bin" 9001 loader
write_random_file "$bootable/boot/efi.img" 8192 efi
write_random_file "$bootable/readme.txt" 3000 readme
shared=$scratch/shared
make_shared_tree "$shared"

# File systems to mount, source, the image's layout and any further switch
# of each disk; the disks are numbered in this order.
disks=(
  "rockridge+joliet+iso9660 $varied iso9660"
  "rockridge+joliet+iso9660+udf $varied bridge"
  "udf $varied udf102"
  "udf $varied udf250"
  "rockridge+joliet+iso9660 $varied iso9660"
  "rockridge+joliet+iso9660+udf $varied bridge"
  "udf $varied udf102"
  "udf $varied udf250"
  "udf $long udf102"
  "rockridge+joliet+folded $names iso9660"
  "rockridge+joliet $deep iso9660"
  "iso9660+udf $dvd default"
  "udf $stereo default"
  "udf $many default"
  "rockridge+joliet+iso9660+udf $big bridge"
  "rockridge+joliet+iso9660+udf $bootable bridge"
  "rockridge+joliet+iso9660+udf $bootable udf250"
  "rockridge+joliet+iso9660 $shared iso9660 -dedupe"
  "rockridge+joliet+iso9660+udf $shared bridge -dedupe"
  "udf $shared udf102 -dedupe"
  "udf $shared udf250 -dedupe"
)
specs=()
number=0
for disk in "${disks[@]}"; do
  read -r views source layout switch <<<"$disk"
  number=$((number + 1))
  image=$scratch/disk$number.iso
  build "$layout" "$source" "$image" "$switch"
  specs+=("$image:$views")
done

started=$SECONDS
kernel_machine_run "$scratch/listing" "${specs[@]}"
echo "note: the reader machine listed ${#specs[@]} images in $((SECONDS - started)) s"

status=0
number=0
for disk in "${disks[@]}"; do
  read -r views source layout _ <<<"$disk"
  number=$((number + 1))
  extras=()
  if [[ -d "$source/BDMV" ]]; then
    mapfile -t extras < <(interleaved_extras "$scratch/disk$number.iso")
  fi
  [[ -f "$source/boot/loader.bin" ]] && extras+=(--boot-table boot/loader.bin "$scratch/disk$number.iso")
  for fs in ${views//+/ }; do
    # Identifiers numbered to be unique are compared by their number and
    # the files' contents.
    view_extras=("${extras[@]}")
    [[ $fs == folded ]] && view_extras+=(--contents-only)
    if python3 "$readers_dir/kernel/compare_listing.py" "$scratch/listing" "disk$number" "$fs" \
         "$source" "${view_extras[@]}"; then
      echo "ok: the kernel's $fs driver reads the $layout image of ${source##*/}"
    else
      status=1
    fi
  done
done
if [[ $status -ne 0 ]]; then
  tail -n 20 "$scratch/listing.console" >&2
  fail "the kernel's drivers read other trees than the sources"
fi
echo "PASS: the kernel's isofs and udf drivers read every image back equal to its source"
