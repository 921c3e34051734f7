#!/usr/bin/env bash
# Every signal that asks kestrel-cli to stop, sent while it copies the file
# contents over an earlier image: SIGINT (Ctrl-C), SIGTERM, SIGHUP (the
# terminal closed) and SIGQUIT (Ctrl-\). Each ends the build with exit
# 128 + the signal's number, removes its temporary file and leaves the
# earlier image as it was. A hang-up ignored from the start (nohup) does not
# stop the build.
#
#   check_stop_signals.sh KESTREL_CLI
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_stop_signals.sh KESTREL_CLI}
[[ -x "$cli" ]] || fail "kestrel-cli not found: $cli"
scratch=$(make_scratch stop_signals)
cd "$scratch"
mkdir -p big
make_sparse_file big/big.bin 3G
earlier="an earlier image"
failures=0
bad() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# start_build TARGET [SHELL-PREFIX]: starts the build in the background and
# waits until its temporary file holds 8 MiB, so that the copy is under way.
# Sets `pid` and `part`.
start_build() {
  local target=$1
  shift
  "$@" "$cli" -quiet -yes -fs bridge -output "$target" big 2>"$target.err" &
  pid=$!
  local size=0
  while kill -0 "$pid" 2>/dev/null; do
    part=$(temporary_files_of "$target")
    size=$(stat -c %s "$part" 2>/dev/null || echo 0)
    ((size < 8 * 1024 * 1024)) || return 0
    sleep 0.01
  done
}

number_of() { kill -l "$1"; }

for signal in INT TERM HUP QUIT; do
  target=stop-$signal.iso
  printf '%s' "$earlier" >"$target"
  start_build "$target"
  kill -s "$signal" "$pid" 2>/dev/null || true
  status=0
  wait "$pid" || status=$?
  wanted=$((128 + $(number_of "$signal")))
  if [[ $status -ne $wanted ]]; then
    bad "SIG$signal gave exit $status, not $wanted: $(cat "$target.err")"
  elif [[ "$(cat "$target")" != "$earlier" ]]; then
    bad "SIG$signal: the earlier image was not kept"
  elif [[ -n $(temporary_files_of "$target") ]]; then
    bad "SIG$signal: left $(temporary_files_of "$target")"
  elif ! grep -q 'Interrupted' "$target.err"; then
    bad "SIG$signal: no word of the interruption: $(cat "$target.err")"
  else
    echo "ok: SIG$signal ended the build with exit $status, the earlier image kept"
  fi
done

# Under nohup a hang-up is no request to stop: the build goes on to the end.
# The small file makes the build short; it is the hang-up's arrival while
# the temporary file exists that counts.
make_sparse_file big/big.bin 300M
target=nohup.iso
start_build "$target" nohup
[[ -n $part && -e $part ]] && during=1 || during=0
kill -s HUP "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
if [[ $status -ne 0 ]]; then
  bad "a hang-up under nohup gave exit $status: $(cat "$target.err")"
elif [[ $(stat -c %s "$target") -lt 300000000 ]]; then
  bad "a hang-up under nohup left an incomplete image"
elif ((during == 0)); then
  echo "note: the build under nohup ended before the hang-up; not counted"
else
  echo "ok: a hang-up under nohup did not stop the build"
fi
rm -f ./*.iso nohup.out
[[ $failures -eq 0 ]]
