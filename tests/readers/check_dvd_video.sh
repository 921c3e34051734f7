#!/usr/bin/env bash
# Reader check: a real DVD-video folder (a short PAL title made with ffmpeg and
# dvdauthor) built with the default layout becomes an ISO 9660 + UDF 1.02
# bridge image that libdvdread plays: lsdvd lists the title with its length,
# and the VIDEO_TS files lie in DVD order, each file once.
#
#   check_dvd_video.sh KESTREL_CLI
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_dvd_video.sh KESTREL_CLI}
need_tool ffmpeg dvdauthor lsdvd isoinfo 7zz
scratch=$(make_scratch dvd_video_readers)
cd -- "$scratch"

make_dvd_video_folder source

"$cli" -quiet -yes -output dvd.iso source || fail "kestrel-cli failed on the DVD folder"
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
for file in source/VIDEO_TS/* source/README.TXT; do
  cmp -s "$file" "out/${file#source/}" || fail "${file#source/} differs"
done

cd / && rm -rf -- "$scratch"
echo "1 passed, 0 failed"
