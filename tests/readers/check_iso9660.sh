#!/usr/bin/env bash
# ISO 9660 images built by kestrel-cli, read back by independent readers:
# isoinfo, xorriso, 7-Zip, bsdtar, iso-info and pycdlib. Every reader must
# list every file and folder, and the bytes read back must equal the source,
# in each view of the volume it reads:
#
#   Rock Ridge   the source's names, folders at any depth in place (xorriso,
#                bsdtar, isoinfo -R, iso-info --no-joliet, pycdlib rr_path)
#   Joliet       the Joliet names (7-Zip, isoinfo -J, iso-info, bsdtar
#                without Rock Ridge, pycdlib joliet_path)
#   primary      d-characters in 8.3 (isoinfo, iso-info and bsdtar without
#                either extension, pycdlib iso_path), and every reader on an
#                image written with -no-joliet -no-rock-ridge
#
# The expected name of every source entry in each view is computed by
# iso_identifiers.py; names that meet in one identifier get "_N" (checked on
# a tree of its own, by contents), so the other trees keep their names unique
# under the 8.3 rule. Readers that show names in their own way (without ";1",
# identifiers in lower case) are compared with those forms.
#
# Hard links and files of equal contents (-dedupe) are read back under every
# name, in every view, from their one copy.
#
# Usage: check_iso9660.sh PATH_TO_KESTREL_CLI   (KESTREL_TEST_TMP = scratch)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_iso9660.sh PATH_TO_KESTREL_CLI}
[[ -x "$cli" ]] || fail "kestrel-cli not found at $cli"
need_tool isoinfo xorriso 7zz bsdtar iso-info truncate dd sha256sum cmp

# pycdlib may be installed for the system interpreter only.
python=""
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null 2>&1 && "$candidate" -c "import pycdlib" >/dev/null 2>&1; then
    python=$candidate
    break
  fi
done
if [[ -z "$python" ]]; then
  echo "SKIP: python module pycdlib is not installed (python3-pycdlib)" >&2
  exit 77
fi

scratch=$(make_scratch iso9660_readers)
# The large image and its source take gigabytes: never leave them behind.
trap 'rm -rf -- "$scratch"' EXIT

readers_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
manifest() { PYTHONPATH=$readers_dir "$python" "$readers_dir/iso_manifest.py" "$@"; }
status=0
check() {  # check DESCRIPTION COMMAND...: runs a comparison, remembers failures
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAIL: $what" >&2
    status=1
  fi
}
listing() { manifest listing "$@"; }
contents() { manifest contents "$@"; }

build() {  # build SOURCE IMAGE [SWITCH...]
  local source=$1 image=$2
  shift 2
  "$cli" -fs iso9660 -yes -quiet "$@" -output "$image" "$source" || fail "kestrel-cli failed for $source"
}

# The paths a reader lists: 7-Zip's files, iso-info's entries.
files_of_7zip() { 7zz l -slt -ba "$1" | awk '/^Path = /{p=substr($0,8)} /^Folder = -/{print p}'; }
entries_of_iso_info() { iso-info "$@" | awk '/^ *[0-9]+ \//{sub(/^ *[0-9]+ /,""); print}'; }

# 1. A varied tree: nested folders, an empty folder, 0-byte and odd-sized
#    files, 300 files in one folder, names with spaces and non-ASCII letters,
#    read through each view of the volume, then written without extensions
#    and read by every reader through its identifiers.
varied=$scratch/varied
make_varied_tree "$varied"
printf 'dotted\n' >"$varied/LEVEL1/archive.tar.gz"
printf 'x' >"$varied/LEVEL1/LEVEL2/odd.b"
image=$scratch/varied.iso
build "$varied" "$image"
for view in iso9660 rockridge joliet; do
  manifest expected "$varied" "$view" >"$scratch/varied.$view"
  check "pycdlib reads every $view name and file of the varied tree" \
    manifest pycdlib "$image" "$varied" "$view"
done
check "isoinfo lists every identifier" listing "$scratch/varied.iso9660" isoinfo all iso9660 \
  < <(isoinfo -f -i "$image")
check "isoinfo -R lists every Rock Ridge name" \
  listing "$scratch/varied.rockridge" "isoinfo -R" all rockridge < <(isoinfo -R -f -i "$image")
# isoinfo shows Joliet names in an 8-bit character set: the others count.
check "isoinfo -J lists every Joliet name" \
  listing "$scratch/varied.joliet" "isoinfo -J" all-ascii joliet < <(isoinfo -J -f -i "$image")
check "xorriso lists every file by its Rock Ridge name" \
  listing "$scratch/varied.rockridge" xorriso files rockridge \
  < <(xorriso -indev "$image" -find / -type f 2>/dev/null)
check "bsdtar lists every entry by its Rock Ridge name" \
  listing "$scratch/varied.rockridge" bsdtar all rockridge < <(bsdtar -tf "$image")
check "bsdtar without Rock Ridge lists every Joliet name" \
  listing "$scratch/varied.joliet" "bsdtar !rockridge" all joliet \
  < <(bsdtar --options '!rockridge' -tf "$image")
check "bsdtar without either extension lists every identifier" \
  listing "$scratch/varied.iso9660" "bsdtar !rockridge,!joliet" all iso9660 \
  < <(bsdtar --options '!rockridge,!joliet' -tf "$image")
check "7-Zip lists every file by its Joliet name" \
  listing "$scratch/varied.joliet" 7zz files joliet < <(files_of_7zip "$image")
check "iso-info without Joliet lists every Rock Ridge name" \
  listing "$scratch/varied.rockridge" "iso-info --no-joliet" all rockridge \
  < <(entries_of_iso_info --no-joliet -f -i "$image")

mkdir "$scratch/x7" "$scratch/xtar" "$scratch/xorriso"
7zz x -y -bd -o"$scratch/x7" "$image" >/dev/null
check "7-Zip extracts every file unchanged under its Joliet name" \
  contents "$scratch/varied.joliet" 7zz "$scratch/x7" joliet
bsdtar -xf "$image" -C "$scratch/xtar"
check "bsdtar extracts every file unchanged under its Rock Ridge name" \
  contents "$scratch/varied.rockridge" bsdtar "$scratch/xtar" rockridge
xorriso -osirrox on -indev "$image" -extract / "$scratch/xorriso" >/dev/null 2>&1
chmod -R u+rwX "$scratch/xorriso"
check "xorriso extracts every file unchanged under its Rock Ridge name" \
  contents "$scratch/varied.rockridge" xorriso "$scratch/xorriso" rockridge
rm -rf -- "$scratch/x7" "$scratch/xtar" "$scratch/xorriso"

# iso-info (libcdio) converts Joliet names as UCS-2, which has no characters
# beyond the Basic Multilingual Plane: it reads the tree without the name
# that has one; it cuts some names of other scripts short, so those count
# only. (Its --no-rock-ridge still lists the Rock Ridge names, so it reads
# the identifiers of the image without extensions below.)
rm -- "$varied/smile 😀.txt"
build "$varied" "$image"
manifest expected "$varied" joliet >"$scratch/varied.joliet"
check "iso-info lists every Joliet name" \
  listing "$scratch/varied.joliet" iso-info all-ascii joliet < <(entries_of_iso_info -f -i "$image")

build "$varied" "$image" -no-joliet -no-rock-ridge
manifest expected "$varied" iso9660 >"$scratch/varied.iso9660"
check "pycdlib reads every identifier of the image without extensions" \
  manifest pycdlib "$image" "$varied" iso9660
check "xorriso lists every identifier of the image without extensions" \
  listing "$scratch/varied.iso9660" xorriso files iso9660 \
  < <(xorriso -indev "$image" -find / -type f 2>/dev/null)
check "bsdtar lists every identifier of the image without extensions" \
  listing "$scratch/varied.iso9660" bsdtar all iso9660 < <(bsdtar -tf "$image")
check "7-Zip lists every identifier of the image without extensions" \
  listing "$scratch/varied.iso9660" 7zz files iso9660 < <(files_of_7zip "$image")
check "iso-info lists every identifier of the image without extensions" \
  listing "$scratch/varied.iso9660" iso-info all iso9660 < <(entries_of_iso_info -f -i "$image")
mkdir "$scratch/x7"
7zz x -y -bd -o"$scratch/x7" "$image" >/dev/null
check "7-Zip extracts every file of the image without extensions" \
  contents "$scratch/varied.iso9660" 7zz "$scratch/x7" iso9660
rm -rf -- "$scratch/x7" "$image"

# Names only the extensions hold, and folders seventeen deep, which the
# primary volume holds relocated: readers of Rock Ridge and of Joliet must
# see them in place. A name of 255 bytes continues in a continuation area.
names=$scratch/names
"$python" - "$names" <<'PY'
import os, sys
root = sys.argv[1]
def write(relative, text):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
deep = "/".join("level%02d" % i for i in range(2, 19))
write(deep + "/deep.txt", "seventeen folders deep\n")
write(deep + "/level19/level20/deeper.txt", "nineteen folders deep\n")
write("n" * 251 + ".dat", "a name of 255 bytes\n")
for name in ("README", "readme", "ReadMe"):
    write(name, "this one is %s\n" % name)
write("semi;colon?.txt", "forbidden in Joliet\n")
write("...", "three dots\n")
write("A name longer than the sixty-four units that Joliet holds in one.txt", "long\n")
write("smile \U0001F600.txt", "beyond the BMP\n")
PY
build "$names" "$image"
for view in rockridge joliet; do
  manifest expected "$names" "$view" >"$scratch/names.$view"
  check "pycdlib reads every $view name of the names tree" \
    manifest pycdlib "$image" "$names" "$view"
done
check "xorriso lists the names tree in place by Rock Ridge" \
  listing "$scratch/names.rockridge" xorriso all rockridge \
  < <(xorriso -indev "$image" -find / 2>/dev/null | sed 1d)
check "bsdtar lists the names tree in place by Rock Ridge" \
  listing "$scratch/names.rockridge" bsdtar all rockridge < <(bsdtar -tf "$image")
check "7-Zip lists the names tree by Joliet" \
  listing "$scratch/names.joliet" 7zz files joliet < <(files_of_7zip "$image")
mkdir "$scratch/x7" "$scratch/xorriso"
7zz x -y -bd -o"$scratch/x7" "$image" >/dev/null
check "7-Zip extracts the names tree unchanged" \
  contents "$scratch/names.joliet" 7zz "$scratch/x7" joliet
xorriso -osirrox on -indev "$image" -extract / "$scratch/xorriso" >/dev/null 2>&1
chmod -R u+rwX "$scratch/xorriso"
check "xorriso extracts the names tree unchanged" \
  contents "$scratch/names.rockridge" xorriso "$scratch/xorriso" rockridge
rm -rf -- "$scratch/x7" "$scratch/xorriso" "$image" "$names"

# 1b. The same tree made bootable with UEFI: the image then also carries an
#     MBR and a GPT in its system area and a backup GPT at its end, which no
#     reader may take for a file or a directory, in any view.
cp -r -- "$varied" "$scratch/bootable"
write_random_file "$scratch/bootable/efi.img" 6144 efi
build "$scratch/bootable" "$scratch/bootable.iso" -boot-efi efi.img
for view in iso9660 rockridge joliet; do
  manifest expected "$scratch/bootable" "$view" >"$scratch/bootable.$view"
  check "pycdlib reads every $view name and file of the bootable tree" \
    manifest pycdlib "$scratch/bootable.iso" "$scratch/bootable" "$view"
done
check "isoinfo lists every identifier of the bootable image" \
  listing "$scratch/bootable.iso9660" isoinfo all iso9660 < <(isoinfo -f -i "$scratch/bootable.iso")
check "iso-info without Joliet lists every Rock Ridge name of the bootable image" \
  listing "$scratch/bootable.rockridge" "iso-info --no-joliet" all rockridge \
  < <(entries_of_iso_info --no-joliet -f -i "$scratch/bootable.iso")
mkdir "$scratch/x7" "$scratch/xtar"
7zz x -y -bd -o"$scratch/x7" "$scratch/bootable.iso" >/dev/null
# 7-Zip shows the El Torito boot image as a file of its own, [BOOT]/.
check "7-Zip reads the El Torito UEFI image" \
  cmp -s "$scratch/x7/[BOOT]/Boot-NoEmul.img" "$scratch/bootable/efi.img"
rm -rf -- "$scratch/x7/[BOOT]"
check "7-Zip extracts every file of the bootable image unchanged under its Joliet name" \
  contents "$scratch/bootable.joliet" 7zz "$scratch/x7" joliet
bsdtar -xf "$scratch/bootable.iso" -C "$scratch/xtar"
check "bsdtar extracts every file of the bootable image unchanged under its Rock Ridge name" \
  contents "$scratch/bootable.rockridge" bsdtar "$scratch/xtar" rockridge
rm -rf -- "$scratch/x7" "$scratch/xtar" "$scratch/bootable" "$scratch/bootable.iso"

# 2. A 5 GiB file, recorded as a multi-extent file (two records in each
#    hierarchy), between small files whose data must still be found where
#    their records say: 7-Zip reads it through Joliet, xorriso through Rock
#    Ridge.
large=$scratch/large
mkdir -p "$large/SUB"
write_random_file "$large/A_FIRST.BIN" 5000 first
make_sparse_file "$large/BIG.BIN" 5G
write_random_file "$large/SUB/AFTER.BIN" 70001 after
: >"$large/Z_EMPTY.TXT"
build "$large" "$scratch/large.iso"
for view in iso9660 rockridge joliet; do
  check "pycdlib reads the multi-extent file and its neighbours through $view" \
    manifest pycdlib "$scratch/large.iso" "$large" "$view"
done
# Streamed and compared byte for byte: no extracted copy on disk, no hashing
# of gigabytes.
check "7-Zip reads the 5 GiB file unchanged" \
  cmp -s <(7zz x -so "$scratch/large.iso" BIG.BIN 2>/dev/null) "$large/BIG.BIN"
check "7-Zip lists one 5 GiB file" test "$(7zz l -slt -ba "$scratch/large.iso" |
  awk '/^Path = BIG.BIN$/{p=1} p && /^Size = /{print substr($0,8); exit}')" = 5368709120
xorriso_size=$(xorriso -indev "$scratch/large.iso" -find /BIG.BIN -exec lsdl 2>/dev/null |
  awk '/BIG.BIN/{print $5}')
check "xorriso sees one 5 GiB file" test "$xorriso_size" = 5368709120
mkdir "$scratch/xlarge"
xorriso -osirrox on -indev "$scratch/large.iso" -extract /SUB "$scratch/xlarge/SUB" \
  -extract /A_FIRST.BIN "$scratch/xlarge/A_FIRST.BIN" >/dev/null 2>&1
check "xorriso reads the files after the large one" test \
  "$(hash_file "$scratch/xlarge/SUB/AFTER.BIN") $(hash_file "$scratch/xlarge/A_FIRST.BIN")" = \
  "$(hash_file "$large/SUB/AFTER.BIN") $(hash_file "$large/A_FIRST.BIN")"
rm -rf -- "$scratch/xlarge" "$scratch/large.iso" "$large"

# 3. Names that shorten to one identifier: every file must still be found by
#    its own record, so each reader extracts as many distinct files as there
#    are in the source, with the same contents, whatever view it reads.
alike=$scratch/alike
mkdir -p "$alike/Programs (x86)" "$alike/Programs"
for i in 1 2 3 4 5 6 7 8 9 10 11; do write_random_file "$alike/document$i.txt" $((100 * i)) "doc$i"; done
write_random_file "$alike/Programs (x86)/a.bin" 10 x86
write_random_file "$alike/Programs/a.bin" 20 plain
build "$alike" "$scratch/alike.iso"
sorted_hashes() { find "$1" -type f -exec sha256sum {} + | awk '{print $1}' | sort; }
for reader in 7zz xorriso bsdtar; do
  out=$scratch/alike-$reader
  mkdir "$out"
  case $reader in
    7zz) 7zz x -y -o"$out" "$scratch/alike.iso" >/dev/null 2>&1 ;;
    xorriso) xorriso -osirrox on -indev "$scratch/alike.iso" -extract / "$out" >/dev/null 2>&1 ;;
    bsdtar) bsdtar -xf "$scratch/alike.iso" -C "$out" 2>/dev/null ;;
  esac
  chmod -R u+w "$out"
  check "$reader extracts every look-alike file with its own contents" \
    test "$(sorted_hashes "$out")" = "$(sorted_hashes "$alike")"
  rm -rf -- "$out"
done
check "isoinfo lists distinct identifiers" test \
  "$(isoinfo -f -i "$scratch/alike.iso" | sort | uniq -d)" = ""
check "pycdlib reads 15 distinct records" test "$("$python" - "$scratch/alike.iso" <<'PY'
import sys, pycdlib
iso = pycdlib.PyCdlib()
iso.open(sys.argv[1])
distinct = 0
for _, dirs, files in iso.walk(iso_path="/"):
    distinct += len(set(dirs + files))
print(distinct)
PY
)" = 15
rm -rf -- "$alike" "$scratch/alike.iso"

# 4. Hard links and equal files (-dedupe): the records of every name, in
#    each hierarchy, point at one copy of the data, which each reader
#    extracts under every name; the image holds each file once. The names
#    are long ones, which only the extensions hold.
shared=$scratch/shared
make_shared_tree "$shared"
build "$shared" "$scratch/shared.iso" -dedupe
check "the image holds the shared data once"   expect_one_copy "$scratch/shared.iso" "$SHARED_TREE_UNIQUE_BYTES"
for view in iso9660 rockridge joliet; do
  manifest expected "$shared" "$view" >"$scratch/shared.$view"
  check "pycdlib reads every $view name of the shared files" \
    manifest pycdlib "$scratch/shared.iso" "$shared" "$view"
done
check "isoinfo lists every identifier" listing "$scratch/shared.iso9660" isoinfo all iso9660 \
  < <(isoinfo -f -i "$scratch/shared.iso")
check "iso-info without Joliet lists every Rock Ridge name" \
  listing "$scratch/shared.rockridge" "iso-info --no-joliet" all rockridge \
  < <(entries_of_iso_info --no-joliet -f -i "$scratch/shared.iso")
for reader in 7zz xorriso bsdtar; do
  out=$scratch/shared-$reader
  mkdir "$out"
  view=rockridge
  case $reader in
    7zz) 7zz x -y -o"$out" "$scratch/shared.iso" >/dev/null 2>&1; view=joliet ;;
    xorriso) xorriso -osirrox on -indev "$scratch/shared.iso" -extract / "$out" >/dev/null 2>&1 ;;
    bsdtar) bsdtar -xf "$scratch/shared.iso" -C "$out" 2>/dev/null ;;
  esac
  chmod -R u+rwX "$out"
  check "$reader extracts every $view name of the shared files" \
    contents "$scratch/shared.$view" "$reader" "$out" "$view"
  rm -rf -- "$out"
done
# Rock Ridge counts the names of a hard-linked file (PX links) as the
# source does: each of the three names of the clip. (xorriso counts links
# itself, and only with -hardlinks on.)
check "isoinfo -R reads the link count of every name of the hard-linked file" test \
  "$(isoinfo -R -l -i "$scratch/shared.iso" | awk '/ clip/ {print $2}' | sort | uniq -c |
    awk '{print $1 "x" $2}')" = 3x3
rm -rf -- "$shared" "$scratch/shared.iso"

exit "$status"
