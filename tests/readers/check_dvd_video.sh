#!/usr/bin/env bash
# Reader check: a real DVD-video folder (a short PAL title made with ffmpeg and
# dvdauthor) built with the default layout becomes an ISO 9660 + UDF 1.02
# bridge image that libdvdread plays: lsdvd lists the title with its length,
# and the VIDEO_TS files lie in DVD order, each file once. Whatever else the
# DVD folder holds is left out with a warning each, in the JSON report too;
# names beside it read back as typed through libudfread and 7-Zip. With
# -dedupe, copies of its files outside it point into it, while it keeps its
# own files in DVD order.
#
#   check_dvd_video.sh KESTREL_CLI
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_dvd_video.sh KESTREL_CLI}
need_tool ffmpeg dvdauthor lsdvd isoinfo 7zz cc python3
if [[ ! -f /usr/include/udfread/udfread.h ]]; then
  echo "SKIP: libudfread-dev is not installed" >&2
  exit 77
fi
source_dir=${KESTREL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
scratch=$(make_scratch dvd_video_readers)
cd -- "$scratch"
cc -O2 -o udf_tree_dump "$source_dir/tools/udf_tree_dump.c" -ludfread || fail "udf_tree_dump does not build"

make_dvd_video_folder source
# Names beside the DVD folder: one below U+0100, two beyond it.
names=("café.txt" "Don’t stop €.txt" "日本語.txt")
for name in "${names[@]}"; do printf '%s' "$name" > "source/$name"; done
printf 'cache' > source/Thumbs.db
# Things inside the DVD folder that no DVD player reads; one name is not UTF-8.
mkdir -p source/VIDEO_TS/sub
for extra in readme.txt VIDEO_TS.IFO.old sub/x.txt Thumbs.db $'\xff.txt'; do
  printf 'extra' > "source/VIDEO_TS/$extra"
done

"$cli" -yes -output dvd.iso -json report.json source > summary.txt 2> warnings.txt ||
  fail "kestrel-cli failed on the DVD folder: $(cat warnings.txt)"
grep -q 'layout forced by the DVD folder "VIDEO_TS"' summary.txt || fail "no layout reason: $(cat summary.txt)"
for left_out in readme.txt VIDEO_TS.IFO.old sub Thumbs.db; do
  grep -q "VIDEO_TS/$left_out\" is not a DVD file" warnings.txt || fail "no warning for VIDEO_TS/$left_out"
done
grep -q 'thumbnail cache ".*/source/Thumbs.db" was left out' warnings.txt || fail "no warning for Thumbs.db"
python3 - report.json <<'PY' || fail "the JSON report does not say what was left out"
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
assert report["outcome"] == "succeeded" and report["dvd_video_mode"] is True
assert report["layout"]["reason"] == "dvd_folder" and report["layout"]["deciding_folder"] == "VIDEO_TS"
codes = sorted(w["code"] for w in report["warnings"])
assert codes == ["dvd_entry_skipped"] * 5 + ["thumbnail_cache_skipped"], codes
assert any(w["path"].endswith("/VIDEO_TS/\ufffd.txt") for w in report["warnings"])
PY
# Every name reads back as typed, through libudfread and through 7-Zip.
./udf_tree_dump dvd.iso > udf.list || fail "libudfread cannot read the image"
for name in "${names[@]}"; do
  grep -qxF "$name"$'\t'"$(printf '%s' "$name" | wc -c)" udf.list ||
    fail "libudfread does not read back \"$name\": $(cat udf.list)"
done
# Detected as a DVD: the image carries both file systems.
isoinfo -d -i dvd.iso > /dev/null || fail "no ISO 9660 side"
listing=$(lsdvd dvd.iso 2>&1) || fail "lsdvd cannot open the image: $listing"
grep -q "Title: 01, Length: 00:00:0[34]" <<<"$listing" || fail "lsdvd does not list the 4-second title: $listing"

# DVD order on disc: VIDEO_TS.IFO, VIDEO_TS.BUP?, then the title set's IFO,
# VOBs and BUP; sectors rise in that order.
order=$(isoinfo -l -i dvd.iso | awk '/Directory listing of \/VIDEO_TS\//{on=1; next} /Directory listing/{on=0} on && / [A-Z0-9_]+\.[A-Z]+;1/ {gsub(/\[|\]/, ""); print $(NF-2), $NF}' | sort -n | awk '{print $2}' | tr '\n' ' ')
case "$order" in
  "VIDEO_TS.IFO;1 VIDEO_TS.VOB;1 VIDEO_TS.BUP;1 VTS_01_0.IFO;1 VTS_01_0.VOB;1 VTS_01_1.VOB;1 VTS_01_0.BUP;1 "|\
  "VIDEO_TS.IFO;1 VIDEO_TS.BUP;1 VTS_01_0.IFO;1 VTS_01_1.VOB;1 VTS_01_0.BUP;1 "|\
  "VIDEO_TS.IFO;1 VIDEO_TS.VOB;1 VIDEO_TS.BUP;1 VTS_01_0.IFO;1 VTS_01_1.VOB;1 VTS_01_0.BUP;1 ") ;;
  *) fail "VIDEO_TS files are not in DVD order: $order" ;;
esac

# Every file reads back equal through the UDF side.
7zz x -y -oout dvd.iso > /dev/null || fail "7-Zip cannot extract the image"
for file in source/VIDEO_TS/*.{IFO,BUP,VOB} source/README.TXT "${names[@]/#/source/}"; do
  cmp -s "$file" "out/${file#source/}" || fail "${file#source/} differs"
done
[[ ! -e out/VIDEO_TS/readme.txt && ! -e out/Thumbs.db ]] || fail "a left-out file is in the image"

# Stored once (-dedupe): a hard link and a copy of the title's object and
# information file outside the DVD folder point into the title set, which
# keeps its place, its order and every file of its own, the backups that
# equal the information files included; libdvdread still plays the title.
mkdir -p source/EXTRAS
ln source/VIDEO_TS/VTS_01_1.VOB source/EXTRAS/title.vob
cp source/VIDEO_TS/VTS_01_0.IFO source/EXTRAS/title.ifo
"$cli" -yes -quiet -dedupe -output shared.iso source 2> /dev/null || fail "kestrel-cli -dedupe failed on the DVD folder"
expect_one_copy shared.iso "$(stat -c %s dvd.iso)" $((64 * 1024))
listing=$(lsdvd shared.iso 2>&1) || fail "lsdvd cannot open the image with shared files: $listing"
grep -q "Title: 01, Length: 00:00:0[34]" <<<"$listing" || fail "lsdvd does not list the title: $listing"
extents() {
  isoinfo -l -i shared.iso | awk -v dir="$1" '$0 ~ "Directory listing of " dir {on=1; next} /Directory listing/{on=0}
    on && / [A-Za-z0-9_.]+;1/ {gsub(/\[|\]/, ""); print $NF, $(NF-2)}'
}
video_ts=$(extents /VIDEO_TS/)
[[ $(awk '{print $2}' <<<"$video_ts" | sort -u | wc -l) -eq $(wc -l <<<"$video_ts") ]] ||
  fail "files of the DVD folder share their data: $video_ts"
[[ $(extents /EXTRAS/ | awk '/TITLE.VOB/{print $2}') == $(awk '/VTS_01_1.VOB/{print $2}' <<<"$video_ts") ]] ||
  fail "the title's hard link does not point at the title's object"
rm -rf out
7zz x -y -oout shared.iso > /dev/null || fail "7-Zip cannot extract the image with shared files"
for file in source/VIDEO_TS/*.{IFO,BUP,VOB} source/EXTRAS/*; do
  cmp -s "$file" "out/${file#source/}" || fail "${file#source/} differs in the image with shared files"
done

cd / && rm -rf -- "$scratch"
echo "1 passed, 0 failed"
