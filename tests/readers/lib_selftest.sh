#!/usr/bin/env bash
# Exercises tests/readers/lib.sh on its own: bash tests/readers/lib_selftest.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

KESTREL_TEST_TMP=$(mktemp -d)
export KESTREL_TEST_TMP
trap 'rm -rf -- "$KESTREL_TEST_TMP"' EXIT

check() {
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; exit 1; fi
}

# need_tool: present tools pass, a missing one exits 77 in a subshell.
need_tool bash diff
status=0
(need_tool kestrel-no-such-tool 2>/dev/null) || status=$?
check "need_tool skips with 77 when a tool is missing" test "$status" -eq 77

# make_scratch: a fresh empty folder each time, refuses paths.
scratch=$(make_scratch selftest)
touch "$scratch/left-over"
scratch=$(make_scratch selftest)
check "make_scratch empties an existing folder" test -z "$(ls -A "$scratch")"
check "make_scratch lives under KESTREL_TEST_TMP" test "$scratch" = "$KESTREL_TEST_TMP/selftest"
status=0
(make_scratch ../escape 2>/dev/null) || status=$?
check "make_scratch refuses a path" test "$status" -ne 0

# make_varied_tree: the sizes, counts and names promised.
tree=$scratch/tree
make_varied_tree "$tree"
check "sector-edge sizes" test "$(stat -c %s "$tree/SIZES/S2047.BIN" "$tree/SIZES/S2048.BIN" \
  "$tree/SIZES/S2049.BIN" "$tree/SIZES/S1.BIN" "$tree/SIZES/S1000000.BIN" | tr '\n' ' ')" \
  = "2047 2048 2049 1 1000000 "
check "300 files in one folder" test "$(find "$tree/MANY" -type f | wc -l)" -eq 300
check "0-byte files" test "$(find "$tree" -type f -size 0 | wc -l)" -ge 3
check "three levels deep" test -f "$tree/LEVEL1/LEVEL2/LEVEL3/L3.TXT"
check "empty folder" test -d "$tree/EMPTYDIR"
check "accented, CJK and emoji names" test -f "$tree/café résumé.txt" -a -f "$tree/Größe über.txt" \
  -a -f "$tree/日本語/日本語のファイル.txt" -a -f "$tree/smile 😀.txt"
check "random content is not all zero" test "$(tr -d '\0' <"$tree/SIZES/S1000000.BIN" | wc -c)" -gt 990000

# Same seed, same bytes: a second tree compares equal.
make_varied_tree "$scratch/again"
check "make_varied_tree is reproducible" compare_trees "$tree" "$scratch/again"

plain=$scratch/plain
make_varied_tree "$plain" --plain-names
check "plain names only" test -z "$(find "$plain" -name '*[!A-Z0-9_.]*' -printf '%f\n' | grep -v '^plain$' || true)"

# compare_trees notices a changed byte and a missing empty folder.
cp -r "$tree" "$scratch/changed"
printf 'X' | dd of="$scratch/changed/SIZES/S2049.BIN" bs=1 seek=2048 conv=notrunc status=none
check "compare_trees catches one changed byte" bash -c \
  "source '$(dirname "${BASH_SOURCE[0]}")/lib.sh'; ! compare_trees '$tree' '$scratch/changed' 2>/dev/null"
cp -r "$tree" "$scratch/nodir"
rmdir "$scratch/nodir/EMPTYDIR"
check "compare_trees catches a missing empty folder" bash -c \
  "source '$(dirname "${BASH_SOURCE[0]}")/lib.sh'; ! compare_trees '$tree' '$scratch/nodir' 2>/dev/null"

# make_sparse_file: full size, few blocks on disc, data where promised.
sparse=$scratch/sparse.bin
make_sparse_file "$sparse" 5G
check "sparse file has the full size" test "$(stat -c %s "$sparse")" -eq 5368709120
check "sparse file takes little space" test "$(du -k "$sparse" | cut -f1)" -lt 1024
half=$((5368709120 / 2))
check "block written half-way" test "$(dd if="$sparse" bs=1 skip=$half count=7 status=none)" = kestrel
check "zeros between the blocks" test "$(dd if="$sparse" bs=4096 skip=10 count=1 status=none | tr -d '\0' | wc -c)" -eq 0
check "last block at the end" test "$(tail -c 4096 "$sparse" | head -c 7)" = kestrel

# hash_file: the SHA-256 of a known text.
printf 'abc' >"$scratch/abc"
check "hash_file" test "$(hash_file "$scratch/abc")" = \
  ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad

echo "lib.sh self-test passed"
