#!/usr/bin/env bash
# Reader check: Blu-ray movie folders. A 2D folder becomes a plain UDF 2.50
# image that libbluray opens; a stereoscopic (3D) folder gets its two views
# interleaved, with one SSIF file per pair, and still reads back byte for
# byte through libudfread, 7-Zip and libbluray. Folders whose navigation data
# do not add up fall back to a plain image whose files all read back equal.
#
#   check_bluray.sh KESTREL_CLI
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_bluray.sh KESTREL_CLI}
need_tool cc bd_info 7zz python3 udfinfo
if [[ ! -f /usr/include/udfread/udfread.h ]]; then
  echo "SKIP: libudfread-dev is not installed" >&2
  exit 77
fi
source_dir=${KESTREL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
scratch=$(make_scratch bluray_readers)
dump=$scratch/udf_tree_dump
cc -O2 -o "$dump" "$source_dir/tools/udf_tree_dump.c" -ludfread || fail "udf_tree_dump does not build"
navigation=$scratch/bluray_nav_check
if [[ -f /usr/include/libbluray/bluray.h ]]; then
  cc -O2 -o "$navigation" "$source_dir/tools/bluray_nav_check.c" -lbluray || fail "bluray_nav_check does not build"
else
  navigation=""
  echo "note: libbluray-dev is missing; the navigation check through libbluray's API is left out" >&2
fi
# libbluray's API: disc information, every title's clips and the first
# stream bytes, read from the image as a player would.
check_navigation() {
  [[ -z "$navigation" ]] && return 0
  "$navigation" "$@" > /dev/null || fail "libbluray cannot read the navigation data of $1"
}
make_folder() { python3 "$source_dir/tools/make_bluray_folder.py" "$@"; }

# build SOURCE IMAGE: the default layout, which must detect the Blu-ray folder.
# The summary goes to IMAGE.out, the warnings to IMAGE.err, the JSON report
# to IMAGE.json.
build() {
  "$cli" -yes -output "$2" -json "$2.json" "$1" > "$2.out" 2> "$2.err" ||
    fail "kestrel-cli failed on $1: $(cat "$2.err")"
  udfinfo "$2" 2>&1 | grep -qx "udfrev=2.50" || fail "$2 is not a UDF 2.50 image"
  grep -q 'layout forced by the Blu-ray folder "BDMV"' "$2.out" || fail "$2: no layout reason"
}
# expect_output IMAGE.out|IMAGE.err TEXT: the summary or the warnings say TEXT.
expect_output() {
  grep -qF -- "$2" "$1" || fail "$1 does not say '$2': $(cat "$1")"
}

# Every source file, read back through libudfread and 7-Zip, equals its source.
# With "no-7zip" 7-Zip is left out: it does not follow allocation extent
# descriptors (entries of more than 114 extents).
check_files() {
  local source=$1 image=$2 readers=${3:-all} out=$scratch/out
  rm -rf -- "$out" "$out.7z"
  "$dump" -x "$out" "$image" > /dev/null || fail "libudfread cannot read $image"
  if [[ $readers == all ]]; then
    7zz x -y -o"$out.7z" "$image" > /dev/null || fail "7-Zip cannot extract $image"
  fi
  (cd -- "$source" && find . -type f -printf '%P\n') | while read -r file; do
    cmp -s -- "$source/$file" "$out/$file" || fail "libudfread: $file differs in $image"
    if [[ $readers == all ]]; then
      cmp -s -- "$source/$file" "$out.7z/$file" || fail "7-Zip: $file differs in $image"
    fi
  done
}

# The interleaved file of a pair holds the two clips' extents alternating,
# starting with the dependent view: as a whole it is a permutation of their
# sectors, and the first dependent extent comes first.
check_interleaved() {
  local out=$scratch/out ssif=$scratch/out/BDMV/STREAM/SSIF/00001.ssif
  [[ -f "$ssif" ]] || fail "no SSIF/00001.ssif in the 3D image"
  python3 - "$ssif" "$out/BDMV/STREAM/00001.m2ts" "$out/BDMV/STREAM/00002.m2ts" <<'PY' || fail "the SSIF file is not D0 B0 D1 B1 ..."
import sys
ssif, base, dependent = (open(p, 'rb').read() for p in sys.argv[1:])
assert len(ssif) == len(base) + len(dependent), "size"
sectors = lambda data: [data[i:i + 2048] for i in range(0, len(data), 2048)]
assert sorted(sectors(ssif)) == sorted(sectors(base) + sectors(dependent)), "not the clips' sectors"
assert ssif[:2048] == dependent[:2048], "does not start with the dependent view"
PY
}

# 2D: a plain Blu-ray image that libbluray opens and lists.
make_folder "$scratch/flat"
build "$scratch/flat" "$scratch/flat.iso"
info=$(bd_info "$scratch/flat.iso" 2>&1) || fail "bd_info cannot open the 2D image: $info"
grep -q "BluRay detected     : yes" <<<"$info" || fail "bd_info sees no Blu-ray in the 2D image"
check_files "$scratch/flat" "$scratch/flat.iso"
check_navigation "$scratch/flat.iso"
7zz l "$scratch/flat.iso" | grep -q "SSIF" && fail "the 2D image has an SSIF folder"

# 3D: interleaved, readable, and libbluray sees the 3D content.
make_folder --stereo "$scratch/stereo"
build "$scratch/stereo" "$scratch/stereo.iso"
check_files "$scratch/stereo" "$scratch/stereo.iso"
check_interleaved
info=$(bd_info "$scratch/stereo.iso" 2>&1) || fail "bd_info cannot open the 3D image: $info"
grep -q "3D content exists       : Yes" <<<"$info" || fail "bd_info sees no 3D content"
check_navigation "$scratch/stereo.iso" --expect-3d
expect_output "$scratch/stereo.iso.out" "3D titles interleaved: 1 (clips 00001 + 00002)"
[[ ! -s "$scratch/stereo.iso.err" ]] || fail "warnings for a 3D folder that interleaves: $(cat "$scratch/stereo.iso.err")"

# 130 extents a clip: the entries continue in allocation extent blocks.
make_folder --stereo --extents 130 --packets $((130 * 32)) "$scratch/many"
build "$scratch/many" "$scratch/many.iso"
check_files "$scratch/many" "$scratch/many.iso" no-7zip
check_navigation "$scratch/many.iso" --expect-3d
check_interleaved

# A source that already holds an SSIF folder (disc backups do): replaced.
make_folder --stereo "$scratch/backup"
mkdir -p "$scratch/backup/BDMV/STREAM/SSIF"
printf 'stale' > "$scratch/backup/BDMV/STREAM/SSIF/00001.ssif"
build "$scratch/backup" "$scratch/backup.iso"
"$dump" -x "$scratch/out" "$scratch/backup.iso" > /dev/null
check_interleaved
expect_output "$scratch/backup.iso.err" "BDMV/STREAM/SSIF/\" was replaced by the interleaved files"

# Navigation data that does not add up: plain images, every file intact.
make_folder --stereo "$scratch/missing"
rm "$scratch/missing/BDMV/CLIPINF/00002.clpi"
make_folder --stereo "$scratch/grown"
printf 'extra bytes' >> "$scratch/grown/BDMV/STREAM/00002.m2ts"
for case in missing grown; do
  build "$scratch/$case" "$scratch/$case.iso"
  check_files "$scratch/$case" "$scratch/$case.iso"
  7zz l "$scratch/$case.iso" | grep -q "SSIF" && fail "$case: a broken 3D folder still got interleaved"
  expect_output "$scratch/$case.iso.out" "3D titles interleaved: none"
done
# Each says which title was not interleaved and why, also to scripts.
expect_output "$scratch/missing.iso.err" "The 3D title of clips 00001 and 00002 was not interleaved: the clip information \"$scratch/missing/BDMV/CLIPINF/00002.clpi\" cannot be read."
expect_output "$scratch/grown.iso.err" "The 3D title of clips 00001 and 00002 was not interleaved: the stream file \"$scratch/grown/BDMV/STREAM/00002.m2ts\" holds 145 sectors, but its clip information states 144."
python3 - "$scratch/missing.iso.json" "$scratch/stereo.iso.json" <<'PY' || fail "the JSON reports do not tell the 3D titles"
import json, sys
missing, stereo = (json.load(open(path, encoding="utf-8")) for path in sys.argv[1:])
assert missing["stereo_titles_interleaved"] == []
[warning] = missing["warnings"]
assert warning["code"] == "stereo_title_not_interleaved"
assert warning["detail"] == {"reason": "clip_info_missing", "base_clip": 1, "dependent_clip": 2,
                             "faulty_clip": 2}, warning
assert stereo["stereo_titles_interleaved"] == [{"base_clip": 1, "dependent_clip": 2}]
assert stereo["warnings"] == [] and stereo["layout"]["reason"] == "bluray_folder"
PY

# Stored once (-dedupe): outside the movie folder, a hard link of a 2D clip
# shares its extents (with an entry of its own: the clip stays a real-time
# file), and a copy of a clip information file points at it; the movie
# folder keeps its own files, its backup of the navigation files included.
# In a 3D folder a hard link of a clip of the pair keeps a copy of its own:
# the clip's data is interleaved with its partner's.
make_folder "$scratch/shared"
mkdir -p "$scratch/shared/EXTRAS"
ln "$scratch/shared/BDMV/STREAM/00001.m2ts" "$scratch/shared/EXTRAS/clip.m2ts"
cp "$scratch/shared/BDMV/CLIPINF/00001.clpi" "$scratch/shared/EXTRAS/clip.clpi"
"$cli" -yes -quiet -dedupe -output "$scratch/shared.iso" "$scratch/shared" ||
  fail "kestrel-cli -dedupe failed on the 2D folder"
expect_one_copy "$scratch/shared.iso" "$(stat -c %s "$scratch/flat.iso")" $((64 * 1024))
check_files "$scratch/shared" "$scratch/shared.iso"
check_navigation "$scratch/shared.iso"
make_folder --stereo "$scratch/shared3d"
mkdir -p "$scratch/shared3d/EXTRAS"
ln "$scratch/shared3d/BDMV/STREAM/00002.m2ts" "$scratch/shared3d/EXTRAS/right.m2ts"
"$cli" -yes -quiet -dedupe -output "$scratch/shared3d.iso" "$scratch/shared3d" ||
  fail "kestrel-cli -dedupe failed on the 3D folder"
check_files "$scratch/shared3d" "$scratch/shared3d.iso"
check_interleaved
check_navigation "$scratch/shared3d.iso" --expect-3d

rm -rf -- "$scratch"
echo "1 passed, 0 failed"
