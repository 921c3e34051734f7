#!/usr/bin/env bash
# ThreadSanitizer run of the tests that start a build on its worker thread
# and cancel it, and of those of the threads inside a build (the readers of
# the file contents, the helpers of the folder listing and of the scan, the
# thread that builds the Joliet hierarchy): builds the test program with
# -fsanitize=thread in build-tsan and runs only those tests.
# tools/run-tests.sh calls it; it can also be run on its own.
#
# Environment: KESTREL_JOBS parallel build jobs (default 2).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build-tsan"
jobs=${KESTREL_JOBS:-2}

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi

cmake -S "$repo" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DKESTREL_BUILD_TESTS=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
cmake --build "$build" -j "$jobs" --target kestrel_tests

# Newer kernels randomise mappings more than older ThreadSanitizer runtimes
# accept; run without address-space randomisation when setarch can do that.
runner=()
if setarch "$(uname -m)" -R true >/dev/null 2>&1; then
  runner=(setarch "$(uname -m)" -R)
fi

mkdir -p "$build/test-tmp"
KESTREL_TEST_TMP="$build/test-tmp" TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  "${runner[@]}" "$build/tests/kestrel_tests" --gtest_filter='BuildJob*:*Cancel*:*Progress*:ContentReaders*:BatchHandover*:BatchClaims*:BuildFailures.Growth*:FileLayer.Finder*:ScanQueue*:Joliet*'
