#!/usr/bin/env bash
# Two builds to one target at the same time, many times over (a scheduled
# job meeting a manual run, two windows of the program):
#   - with -yes both succeed, and the target is afterwards exactly one of
#     the two images, byte for byte, never a mixture or a truncated one;
#   - without -yes, on a target that does not exist yet, one build writes
#     it and the other ends with exit 3 (the image exists), leaving the
#     first one's image as it was;
#   - no temporary file is left beside the target.
# The two images of reference are built one after the other first, at a
# fixed time, and read back through 7-Zip and libudfread, which must agree
# with their trees; so a target equal to one of them holds that whole tree.
#
#   check_concurrent_builds.sh KESTREL_CLI
#
# Needs cc, libudfread-dev, 7zz and python3; skips (77) without them.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_concurrent_builds.sh KESTREL_CLI}
[[ -x "$cli" ]] || fail "kestrel-cli not found: $cli"
need_tool cc 7zz python3
if [[ ! -f /usr/include/udfread/udfread.h ]]; then
  echo "SKIP: libudfread-dev is not installed (tools/install-deps.sh installs it)" >&2
  exit 77
fi
source_dir=${KESTREL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
scratch=$(make_scratch concurrent_builds)
cd "$scratch"
cc -O2 -o udf_tree_dump "$source_dir/tools/udf_tree_dump.c" -ludfread || fail "udf_tree_dump does not build"
rounds=${KESTREL_CONCURRENT_ROUNDS:-12}

# Two trees that share no name and no byte, each large enough that the two
# builds overlap.
mkdir -p A/docs B/media
write_random_file A/docs/a.bin 6000000 tree-a
printf 'tree A\n' >A/notes-a.txt
write_random_file B/media/b.bin 7000000 tree-b
printf 'tree B\n' >B/notes-b.txt
# The image records the files' times: access times are set ahead of their
# change times, so that reading the files does not move them between builds.
find A B -exec touch -a -d "@$(($(date +%s) + 86400))" {} +
export SOURCE_DATE_EPOCH=1700000000

build() {
  "$cli" -quiet "$@" -fs udf102 -output "$image" "$tree"
}

# check_readers IMAGE TREE: 7-Zip and libudfread both read back TREE whole.
check_readers() {
  local image=$1 tree=$2
  rm -rf out.7z out.udf
  7zz x -y -oout.7z "$image" >7z.log 2>&1 || fail "7-Zip cannot read $image: $(tail -n 3 7z.log)"
  if grep -qi 'warning' 7z.log; then fail "7-Zip warns about $image: $(grep -i warning 7z.log)"; fi
  compare_trees "$tree" out.7z || fail "7-Zip reads another tree than $tree in $image"
  ./udf_tree_dump -x out.udf "$image" >/dev/null || fail "libudfread cannot read $image"
  compare_trees "$tree" out.udf || fail "libudfread reads another tree than $tree in $image"
}

for tree in A B; do
  image=$tree.iso build || fail "the image of reference of $tree cannot be built"
  check_readers "$tree.iso" "$tree"
done

# which_image: "A" or "B" when the target is byte for byte that image.
which_image() {
  if cmp -s r.iso A.iso; then echo A; elif cmp -s r.iso B.iso; then echo B; else echo none; fi
}
no_temporary_files() {
  local left
  left=$(temporary_files_of r.iso)
  [[ -z $left ]] || fail "round $1: left beside the target: $left"
}

seen_a=0
seen_b=0
for ((round = 1; round <= rounds; round++)); do
  image=r.iso tree=A build -yes 2>a.err &
  first=$!
  image=r.iso tree=B build -yes 2>b.err &
  second=$!
  status_a=0 status_b=0
  wait "$first" || status_a=$?
  wait "$second" || status_b=$?
  [[ $status_a -eq 0 && $status_b -eq 0 ]] ||
    fail "round $round: exits $status_a and $status_b: $(cat a.err b.err)"
  case $(which_image) in
    A) seen_a=$((seen_a + 1)) ;;
    B) seen_b=$((seen_b + 1)) ;;
    *) fail "round $round: the target is neither image, $(stat -c %s r.iso) bytes" ;;
  esac
  no_temporary_files "$round"
done
echo "ok: $rounds rounds with -yes, the target was A $seen_a times and B $seen_b times"

# Without -yes the first to finish keeps the target; the other is told.
for ((round = 1; round <= rounds / 2; round++)); do
  rm -f r.iso
  image=r.iso tree=A build 2>a.err &
  first=$!
  image=r.iso tree=B build 2>b.err &
  second=$!
  status_a=0 status_b=0
  wait "$first" || status_a=$?
  wait "$second" || status_b=$?
  winner=$(which_image)
  case "$status_a $status_b $winner" in
    "0 3 A" | "3 0 B") ;;
    *) fail "round $round without -yes: exits $status_a and $status_b, target $winner: $(cat a.err b.err)" ;;
  esac
  grep -q 'already exists' a.err b.err || fail "round $round: the losing build does not say why"
  no_temporary_files "$round"
done
check_readers r.iso "$(which_image)"
echo "ok: without -yes one build kept the target and the other ended with exit 3"
