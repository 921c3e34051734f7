#!/usr/bin/env bash
# kestrel-cli under hostile conditions, end to end:
#   - Ctrl-C (SIGINT) during the scan, the structures and the copy: exit 130
#     within a second, no image and no temporary file;
#   - the output disk filling up (a 5 MiB tmpfs): exit 1 naming the image,
#     nothing left on the full disk;
#   - a source with traps (links to files and folders, a link that leads
#     nowhere, a FIFO, a device node, names differing only in case, names
#     that are not UTF-8, names of 255 bytes): every regular file comes back
#     byte for byte through 7-Zip, the traps are left out with a warning;
#   - 100,000 files in one folder, and 65,600 folders (ISO 9660 fails with a
#     clear message, UDF succeeds);
#   - sparse files of 0 and 1,073,737,728 +/- 1 bytes (the largest UDF
#     extent that keeps to whole 4 KiB blocks), read back through both sides
#     of a bridge image.
# KESTREL_ROBUSTNESS_FULL=1 (a manual run; it writes about 60 GiB) adds files
# of 4 GiB - 1, 4 GiB and 4 GiB + 1 bytes and reads them back from all four
# layouts.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
need_tool 7zz python3
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
scratch=$(make_scratch robustness)
cd "$scratch"
passes=0
failures=0
ok() { passes=$((passes + 1)); }
bad() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
now_ms() { date +%s%3N; }

# --- Ctrl-C -----------------------------------------------------------------
# interrupt NAME WHEN TARGET ARGS...: starts the CLI, sends SIGINT once WHEN
# says so ("scan": after 0.3 s, while no temporary image exists yet;
# "structures": as soon as the temporary image appears; "copy": once it
# holds 64 MiB), and checks exit 130 within a second with nothing left behind.
interrupt() {
  local name=$1 when=$2 target=$3
  shift 3
  local size=0
  "$cli" -quiet -yes -output "$target" "$@" 2>"$name.err" &
  local pid=$!
  # The build's own temporary file: its first name, as nothing else is here.
  local part="$target.$pid-1.kestrel-part"
  case $when in
    scan)
      sleep 0.3
      [[ ! -e $part ]] || bad "$name: the scan was already over" ;;
    structures)
      while [[ ! -e $part ]] && kill -0 "$pid" 2>/dev/null; do sleep 0.005; done ;;
    copy)
      while kill -0 "$pid" 2>/dev/null; do
        size=$(stat -c %s "$part" 2>/dev/null || echo 0)
        ((size < 64 * 1024 * 1024)) || break
        sleep 0.01
      done ;;
  esac
  local sent status=0
  sent=$(now_ms)
  kill -INT "$pid" 2>/dev/null || true
  wait "$pid" || status=$?
  local took=$(($(now_ms) - sent))
  if [[ $status -ne 130 ]]; then
    bad "$name: Ctrl-C gave exit $status: $(cat "$name.err")"
  elif ((took > 1000)); then
    bad "$name: the build took $took ms to stop"
  elif [[ -e $target || -n $(temporary_files_of "$target") ]]; then
    bad "$name: an image was left behind"
  else
    echo "ok: Ctrl-C during the $when stopped in $took ms"
    ok
  fi
}

mkdir -p many
python3 - <<'PY'
for i in range(100000):
    open("many/file%06d.txt" % i, "w").close()
PY
interrupt scan scan int-scan.iso -fs udf250 many
# The structures are checked for a stop between folders: 100 folders of
# 1,000 files, whose UDF file entries take 200 MB.
mkdir -p spread
python3 - <<'PY'
import os
for i in range(100000):
    if i % 1000 == 0:
        os.makedirs("spread/d%03d" % (i // 1000))
    open("spread/d%03d/f%06d" % (i // 1000, i), "w").close()
PY
interrupt structures structures int-structures.iso -fs udf250 spread
rm -rf spread
mkdir -p big && make_sparse_file big/big.bin 6G
interrupt copy copy int-copy.iso -fs bridge big

# 100,000 files in one folder come back, all of them.
"$cli" -quiet -fs udf250 -output many.iso many || bad "100,000 files: build failed"
listed=$(7zz l -slt many.iso | grep -c '^Path = .*file[0-9]*\.txt$' || true)
if [[ $listed -eq 100000 ]]; then ok; else bad "100,000 files: 7-Zip lists $listed"; fi
rm -rf many many.iso
echo "ok: Ctrl-C and 100,000 files (${SECONDS} s so far)"

# --- the output disk fills up ------------------------------------------------
mkdir -p full
if mount -t tmpfs -o size=5m kestrel-full full 2>/dev/null; then
  trap 'umount "$scratch/full" 2>/dev/null || true' EXIT
  mkdir -p fill && write_random_file fill/data.bin 8000000 fill
  status=0
  "$cli" -quiet -fs udf102 -output full/x.iso fill 2>full.err || status=$?
  if [[ $status -eq 1 ]] && grep -q "x.iso" full.err && grep -qi "space" full.err &&
     [[ -z "$(ls -A full)" ]]; then
    ok
  else
    bad "disk full: exit $status, left $(ls -A full | tr '\n' ' '), said: $(cat full.err)"
  fi
  umount full
  trap - EXIT
else
  echo "note: no tmpfs can be mounted here (not root?); the disk-full case is left to the injected faults"
fi

# --- a source with traps ----------------------------------------------------
mkdir -p traps/src/folder traps/outside
t=traps/src
write_random_file traps/outside/far.bin 5000 far
write_random_file $t/folder/near.bin 7000 near
printf 'one' >$t/readme.txt
printf 'two!' >$t/README.txt
printf 'three' >$t/README.TXT
printf 'bad ff' >"$t/bad$(printf '\xff').txt"
printf 'bad fe!' >"$t/bad$(printf '\xfe').txt"
long=$(printf 'n%.0s' {1..255})
write_random_file "$t/$long" 3000 long1
write_random_file "$t/${long:0:250}x.bin" 3001 long2
ln -s folder/near.bin $t/file-link.bin
ln -s ../outside $t/folder-link
ln -s nowhere $t/dangling
mkfifo $t/pipe
mknod $t/zero c 1 5 2>/dev/null || echo "note: no device node can be made here"
# What should come back: every regular file, links followed.
expected_hashes() { find -L "$1" -type f -exec sha256sum {} + 2>/dev/null | cut -d' ' -f1 | sort; }
expected_hashes $t >traps-expected.txt
[[ $(wc -l <traps-expected.txt) -eq 10 ]] || fail "the trap tree holds $(wc -l <traps-expected.txt) files, not 10"
for fs in bridge udf250 iso9660; do
  status=0
  "$cli" -quiet -fs $fs -output traps-$fs.iso $t 2>traps-$fs.err || status=$?
  [[ $status -eq 0 ]] || { bad "traps ($fs): exit $status: $(cat traps-$fs.err)"; continue; }
  for warned in dangling pipe; do
    grep -q "/$warned\"" traps-$fs.err || bad "traps ($fs): no warning about $warned"
  done
  rm -rf out && mkdir out
  # ISO 9660 identifiers are not made unique, so names that shorten alike
  # meet there; the ISO-only image is only counted, the UDF side extracted.
  if [[ $fs == iso9660 ]]; then
    listed=$(7zz l -slt traps-$fs.iso | grep -c '^Folder = -' || true)
    if [[ $listed -eq 10 ]]; then ok; else bad "traps (iso9660): 7-Zip lists $listed files"; fi
    continue
  fi
  7zz x -tudf -y -oout traps-$fs.iso >/dev/null || bad "traps ($fs): 7-Zip cannot extract"
  if diff <(expected_hashes out) traps-expected.txt >/dev/null; then ok; else bad "traps ($fs): contents differ"; fi
done
rm -rf traps out traps-*.iso
echo "ok: disk full and traps (${SECONDS} s so far)"

# --- 65,600 folders ------------------------------------------------------------
mkdir -p folders
python3 - <<'PY'
import os
for i in range(65600):
    os.makedirs("folders/g%03d/d%05d" % (i // 1000, i))
PY
status=0
"$cli" -quiet -fs iso9660 -output folders-iso.iso folders 2>folders.err || status=$?
if [[ $status -eq 1 ]] && grep -q "65,535 folders" folders.err && [[ ! -e folders-iso.iso ]]; then ok; else
  bad "65,600 folders in ISO 9660: exit $status: $(cat folders.err)"; fi
"$cli" -quiet -fs udf102 -output folders-udf.iso folders || bad "65,600 folders in UDF failed"
listed=$(7zz l -slt folders-udf.iso | grep -c '^Folder = +' || true)
if [[ $listed -eq 65666 ]]; then ok; else bad "65,600 folders in UDF: 7-Zip lists $listed folders"; fi
rm -rf folders folders-*.iso
echo "ok: 65,600 folders (${SECONDS} s so far)"

# --- sizes around the 32-bit and extent limits --------------------------------
# Short names, so that the ISO 9660 identifiers equal them.
mkdir -p sizes
: >sizes/zero.bin
sizes_ci=(1073737727 1073737728 1073737729)
sizes_full=(4294967295 4294967296 4294967297)
sizes=("${sizes_ci[@]}")
[[ ${KESTREL_ROBUSTNESS_FULL:-0} == 1 ]] && sizes+=("${sizes_full[@]}")
for i in "${!sizes[@]}"; do
  make_sparse_file sizes/size$i.bin "${sizes[$i]}"
done
check_sizes() {
  local fs=$1 side
  "$cli" -quiet -yes -fs "$fs" -output sizes.iso sizes || { bad "sizes ($fs): build failed"; return; }
  local sides=(udf)
  [[ $fs == bridge ]] && sides=(udf iso)
  [[ $fs == iso9660 ]] && sides=(iso)
  for side in "${sides[@]}"; do
    local file same=1
    for file in sizes/*.bin; do
      if ! 7zz e -t$side -so sizes.iso "$(basename "$file")" 2>/dev/null | cmp -s - "$file"; then
        bad "sizes ($fs, $side side): $(basename "$file") differs"
        same=0
      fi
    done
    ((same)) && ok
  done
  if [[ $fs != iso9660 ]] && command -v udfinfo >/dev/null; then
    if udfinfo sizes.iso >/dev/null 2>&1; then ok; else bad "sizes ($fs): udfinfo rejects the image"; fi
  fi
  rm -f sizes.iso
}
check_sizes bridge
if [[ ${KESTREL_ROBUSTNESS_FULL:-0} == 1 ]]; then
  for fs in iso9660 udf102 udf250; do check_sizes $fs; done
fi
echo "ok: sizes ${sizes[*]} read back (${SECONDS} s so far)"
rm -rf sizes big

echo "$passes passed, $failures failed"
[[ $failures -eq 0 ]]
