#!/usr/bin/env bash
# kestrel-cli as a new user meets it: each mistake gives its exit code and one
# clear sentence, and no partial image is left behind.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cli="$1"
scratch="${KESTREL_TEST_TMP:-/tmp}/cli-errors-$$"
rm -rf "$scratch" && mkdir -p "$scratch/src/sub"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
printf 'hello' > src/a.txt
head -c 300000 /dev/urandom > src/sub/b.bin
failures=0
passes=0

# expect CODE PATTERN -- ARGS...: runs the CLI, checks the exit code and that
# stderr contains PATTERN.
expect() {
  local code="$1" pattern="$2"
  shift 3
  "$cli" "$@" > out.txt 2> err.txt
  local got=$?
  if [ "$got" -ne "$code" ] || { [ -n "$pattern" ] && ! grep -q -- "$pattern" err.txt; }; then
    echo "FAIL: kestrel-cli $* gave exit $got (wanted $code), stderr: $(cat err.txt)"
    failures=$((failures + 1))
  else
    passes=$((passes + 1))
  fi
}

expect 2 "does not exist" -- missing-folder
expect 2 "is not a folder" -- src/a.txt
expect 2 "Unknown layout" -- -fs udf201 src
expect 2 "Unknown switch" -- -z src
# A switch is known by its whole name only: a mistyped one is refused and
# named, never taken for the switch it resembles or for a layout.
expect 2 "Unknown switch -labelx" -- -labelx Disc src
expect 2 "Unknown switch -yess" -- -yess src
expect 2 "Unknown switch -frobnicate;" -- -frobnicate src
expect 2 "No source folder" --
expect 0 "" -- -quiet -output built.iso src
expect 3 "already exists" -- -output built.iso src
expect 0 "" -- -quiet -yes -output built.iso src
mkdir -p locked && chmod 0500 locked
if [ "$(id -u)" -ne 0 ]; then
  expect 1 "cannot be created" -- -quiet -output locked/x.iso src
fi
: > blocker
expect 1 "cannot be created" -- -quiet -output blocker/x.iso src

# A failed build still writes its JSON report, valid for python's reader.
expect 1 "cannot be created" -- -quiet -json failed.json -output /proc/kestrel-x.iso src
if python3 -c '
import json, sys
report = json.load(open("failed.json", encoding="utf-8"))
assert report["outcome"] == "failed", report
assert report["error"]["code"] == "output_create_failed", report
' 2> err.txt; then passes=$((passes + 1)); else
  echo "FAIL: the report of a failed build: $(cat err.txt)"; failures=$((failures + 1)); fi

# The report is refused where it would replace the image or change the
# source, and follows the image's rule for an existing file; it is written
# whole through a temporary file.
expect 0 "" -- -quiet -yes -output same.iso src
cp same.iso same.copy
expect 2 "would replace the image" -- -quiet -yes -json same.iso -output same.iso src
expect 2 "would replace the image" -- -quiet -yes -json ./x/../same.iso -output same.iso src
expect 2 "lies in the source folder" -- -quiet -yes -json src/sub/report.json -output in.iso src
expect 2 "lies in the source folder" -- -quiet -yes -json src -output in.iso src
printf 'earlier report' > report.json
expect 3 "report .* already exists; use -yes" -- -quiet -json report.json -output fresh.iso src
if cmp -s same.iso same.copy && [ "$(cat report.json)" = "earlier report" ] && [ ! -e src/sub/report.json ] &&
   [ ! -e fresh.iso ] && [ ! -e in.iso ]; then passes=$((passes + 1)); else
  echo "FAIL: a refused report changed a file"; failures=$((failures + 1)); fi
expect 0 "" -- -quiet -yes -json report.json -output fresh.iso src
if python3 -c 'import json; assert json.load(open("report.json"))["outcome"] == "succeeded"' &&
   [ -z "$(temporary_files_of report.json)" ]; then passes=$((passes + 1)); else
  echo "FAIL: -yes did not replace the report whole"; failures=$((failures + 1)); fi

# A file named like a disc folder forces no layout; a folder link back up its
# own tree is left out with a warning, and the rest is written.
mkdir -p links/a/b && printf 'x' > links/a/b/c.txt && printf 'bd' > links/BDMV
ln -s ../.. links/a/b/up
expect 0 'links/a/b/up" leads back into its own tree and was left out' -- -yes -fs iso9660 -output links.iso links
if grep -q '^.*links.iso: ISO 9660, 2 files, 2 folders' out.txt && grep -q 'layout as chosen with -fs iso9660' out.txt; then
  passes=$((passes + 1))
else
  echo "FAIL: a file named BDMV changed the layout, or the summary is wrong: $(cat out.txt)"
  failures=$((failures + 1))
fi

# Default names: <folder>.iso in the current folder, labelled with the folder name.
"$cli" -quiet src || { echo "FAIL: default build"; failures=$((failures + 1)); }
[ -f src.iso ] || { echo "FAIL: src.iso was not made"; failures=$((failures + 1)); }
"$cli" -quiet -output noext src && [ -f noext.iso ] || { echo "FAIL: .iso not added"; failures=$((failures + 1)); }

# -map prints the areas of the image it would build and writes nothing: the
# same areas, at the same sectors, as the image built next reaches.
rm -f ./*.iso
if "$cli" -map -fs bridge -output mapped.iso src > map.txt 2> err.txt &&
   grep -q "UDF anchor volume descriptor pointer" map.txt && ! ls ./*.iso > /dev/null 2>&1; then
  "$cli" -quiet -fs bridge -output mapped.iso src
  last=$(awk '$3 != "(zero)" && $1 ~ /^[0-9]+$/ { end = $1 + $2 } END { print end }' map.txt)
  if [ "$(stat -c %s mapped.iso)" -eq $((last * 2048)) ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: the map ends at sector $last, the image has $(stat -c %s mapped.iso) bytes"
    failures=$((failures + 1))
  fi
else
  echo "FAIL: -map: $(cat err.txt)"
  failures=$((failures + 1))
fi
expect 2 "does not exist" -- -map missing-folder

# A source file that becomes unreadable during the build: replaced by a
# folder after the scan. A large file keeps the build busy long enough.
# The victim sorts after the big file, so it is copied after it.
printf 'victim' > src/sub/z.bin
truncate -s 1500M src/sub/big.bin
( "$cli" -quiet -fs udf102 -output vanish.iso src > out.txt 2> err.txt; echo $? > code.txt ) &
sleep 0.15
rm -f src/sub/z.bin && mkdir src/sub/z.bin
wait
code=$(cat code.txt)
if [ "$code" = 1 ] && grep -q "z.bin" err.txt && [ ! -e vanish.iso ] && [ -z "$(temporary_files_of vanish.iso)" ]; then
  passes=$((passes + 1))
elif [ "$code" = 0 ]; then
  echo "note: the build finished before the file was replaced; not counted"
else
  echo "FAIL: vanished file gave exit $code: $(cat err.txt)"
  failures=$((failures + 1))
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
