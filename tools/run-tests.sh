#!/usr/bin/env bash
# The project's test command.
#
#   1. Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
#      and the file-layer fault injection in build-asan and runs the whole
#      ctest suite (unit tests, the reader checks that read images back with
#      independent tools, and the robustness label); then builds the tests
#      with ThreadSanitizer in build-tsan and runs the threaded build and
#      cancel tests (tools/run-tsan.sh).
#   2. Cross-builds for Windows (Release) and runs the unit tests under Wine
#      (tools/test-windows.sh), when that script is present, then the window
#      tests at 96, 120, 144 and 192 DPI (tools/test-gui.sh), the dark-mode
#      paint check, the 32-bit kestrel.exe under the 32-bit Wine, and the
#      release archives (tools/check-release.sh).
#   3. Runs each fuzz target for a short while, when tests/fuzz has targets
#      and clang is installed: the four Blu-ray navigation readers, the
#      forwarded command-line block of the Windows program, and the whole
#      stereoscopic analysis and arrangement over a generated movie folder
#      (written under /dev/shm and removed when the run ends), and the
#      recognition of hybrid MBR boot code. Seeds come from
#      tests/fuzz/corpus/<target>; seven targets of 20 s take about two and a
#      half minutes after the build.
#
# Step 1 starts by checking that every C and C++ source matches
# .clang-format and that every shell script passes shellcheck.
#
# Stops at the first failing step with a non-zero exit status. The last line
# printed summarises the ctest results of step 1 as "N passed, M failed".
#
# Environment:
#   KESTREL_JOBS           parallel build and test jobs (default 2)
#   KESTREL_SKIP_TSAN=1    skip the ThreadSanitizer run of step 1
#   KESTREL_SKIP_WINDOWS=1 skip step 2
#   KESTREL_SKIP_FUZZ=1    skip step 3
#   KESTREL_FUZZ_SECONDS   seconds per fuzz target (default 20, at most 30)
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

jobs=${KESTREL_JOBS:-2}
fuzz_seconds=${KESTREL_FUZZ_SECONDS:-20}
if (( fuzz_seconds > 30 )); then fuzz_seconds=30; fi

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi

summary=""
log_dir="$repo/build-asan"
ctest_log="$log_dir/ctest.log"

# Always close with the summary line, also when a later step fails.
finish() {
  local status=$?
  if [[ -n "$summary" ]]; then
    echo
    echo "$summary"
    echo "$summary" >"$log_dir/test-summary.txt" 2>/dev/null || true
  fi
  exit "$status"
}
trap finish EXIT

step_started=0
step() {
  step_started=$SECONDS
  echo
  echo "=== $* ==="
}
step_done() {
  echo "=== done in $((SECONDS - step_started)) s ==="
}

# Turns ctest's output into "P passed, F failed[, S skipped]". Skipped tests
# (exit code 77 of a reader check whose tool is missing) are counted apart
# because ctest counts them among the passed ones.
summarise_ctest() {
  local log=$1 total failed skipped
  local closing
  closing=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [[ -z "$closing" ]]; then
    if grep -q 'No tests were found' "$log"; then
      summary="0 passed, 0 failed"
    else
      summary="0 passed, 1 failed"
    fi
    return
  fi
  failed=$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$closing")
  total=$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$closing")
  skipped=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "$log" || true)
  summary="$((total - failed - skipped)) passed, $failed failed"
  if (( skipped > 0 )); then
    summary+=", $skipped skipped"
  fi
}

# --- 1. Sanitizer build and the full test suite -----------------------------
step "1/3 source format and scripts (tools/check-format.sh, tools/check-scripts.sh)"
bash "$repo/tools/check-format.sh"
bash "$repo/tools/check-scripts.sh"
step_done

step "1/3 sanitizer build (build-asan)"
cmake -S "$repo" -B "$repo/build-asan" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON -DKESTREL_BUILD_TESTS=ON -DKESTREL_FAULT_INJECTION=ON
cmake --build "$repo/build-asan" -j "$jobs"
step_done

step "1/3 ctest"
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$log_dir"
set +e
(cd "$repo/build-asan" && ctest --output-on-failure -j "$jobs" --timeout 1500) 2>&1 | tee "$ctest_log"
ctest_status=${PIPESTATUS[0]}
set -e
summarise_ctest "$ctest_log"
step_done
if [[ $ctest_status -ne 0 ]]; then
  echo "run-tests: ctest failed (exit status $ctest_status)" >&2
  exit 1
fi
if grep -q 'No tests were found' "$ctest_log"; then
  echo "run-tests: ctest found no tests" >&2
  exit 1
fi

# --- ThreadSanitizer run of the threaded build and cancel tests -------------
if [[ "${KESTREL_SKIP_TSAN:-0}" == 1 ]]; then
  echo "run-tests: ThreadSanitizer run skipped (KESTREL_SKIP_TSAN=1)"
else
  step "1/3 ThreadSanitizer: threaded build and cancel tests (build-tsan)"
  if ! bash "$repo/tools/run-tsan.sh"; then
    echo "run-tests: ThreadSanitizer run failed" >&2
    exit 1
  fi
  step_done
fi

# --- 2. Windows cross build under Wine ---------------------------------------
if [[ "${KESTREL_SKIP_WINDOWS:-0}" == 1 ]]; then
  echo "run-tests: Windows build skipped (KESTREL_SKIP_WINDOWS=1)"
elif [[ -f "$repo/tools/test-windows.sh" ]]; then
  step "2/3 Windows cross build and tests under Wine"
  # Release builds: the very programs the tests run go into the archives.
  export KESTREL_WINDOWS_BUILD_TYPE=Release KESTREL_GUI_BUILD_TYPE=Release
  if ! bash "$repo/tools/test-windows.sh"; then
    echo "run-tests: Windows build or tests failed" >&2
    exit 1
  fi
  step_done
  step "2/3 Windows program under Wine on a virtual screen"
  # The window tests reuse the cross build of the step before.
  if ! bash "$repo/tools/test-gui.sh" "$repo/build-windows"; then
    echo "run-tests: the Windows program's window tests failed" >&2
    exit 1
  fi
  theme_status=0
  bash "$repo/tests/ui/check_theme_paint.sh" "$repo/build-windows/theme-paint" || theme_status=$?
  if [[ $theme_status -ne 0 && $theme_status -ne 77 ]]; then
    echo "run-tests: the dark-mode paint check failed" >&2
    exit 1
  fi
  step_done
  # The 32-bit program and its window test driver, run under the 32-bit
  # Wine: started with a command line it builds an image that 7-Zip reads
  # back, and the about box and the dark switch work.
  step "2/3 Windows program for x86 under Wine"
  if ! KESTREL_GUI_ARCH=x86 bash "$repo/tools/test-gui.sh" "$repo/build-windows-x86"; then
    echo "run-tests: the x86 program's window tests failed" >&2
    exit 1
  fi
  step_done
  # The release archives of both Windows builds and of the Linux program,
  # unpacked and checked, and made twice to show they are reproducible.
  step "2/3 release archives"
  if ! bash "$repo/tools/check-release.sh" "$repo/build-windows" "$repo/build-windows-x86"; then
    echo "run-tests: the release archives are not right" >&2
    exit 1
  fi
  step_done
else
  echo "run-tests: tools/test-windows.sh not present, Windows step skipped"
fi

# --- 3. Fuzz smoke run --------------------------------------------------------
run_fuzz() {
  local fuzz_build="$repo/build-fuzz" target name corpus seeds
  CC=clang CXX=clang++ cmake -S "$repo" -B "$fuzz_build" "${generator[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_FUZZ=ON -DKESTREL_BUILD_TESTS=OFF
  # Only the fuzz targets (and the engine they link) are needed here.
  if [[ ${#generator[@]} -gt 0 ]]; then
    cmake --build "$fuzz_build" -j "$jobs" --target tests/fuzz/all
  else
    cmake --build "$fuzz_build/tests/fuzz" -j "$jobs"
  fi

  local targets=()
  while IFS= read -r target; do
    targets+=("$target")
  done < <(find "$fuzz_build/tests/fuzz" -maxdepth 1 -type f -perm -u+x 2>/dev/null | sort)
  if [[ ${#targets[@]} -eq 0 ]]; then
    echo "run-tests: no fuzz targets were built"
    return 0
  fi

  for target in "${targets[@]}"; do
    name=$(basename "$target")
    # New inputs go to a scratch corpus; committed seeds are only read.
    corpus="$fuzz_build/corpus/$name"
    rm -rf "$corpus"
    mkdir -p "$corpus"
    seeds=()
    for dir in "$repo/tests/fuzz/corpus/$name" "$repo/tests/fuzz/corpus/${name#fuzz_}" \
               "$repo/tests/fuzz/${name}_corpus"; do
      [[ -d "$dir" ]] && seeds+=("$dir")
    done
    echo "--- $name: ${fuzz_seconds} s"
    if ! "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
           -print_final_stats=1 -artifact_prefix="$fuzz_build/" \
           "$corpus" "${seeds[@]}" >"$fuzz_build/$name.log" 2>&1; then
      tail -n 60 "$fuzz_build/$name.log"
      echo "run-tests: fuzz target $name failed; the crashing input is in $fuzz_build" >&2
      return 1
    fi
    grep -E '^stat::number_of_executed_units' "$fuzz_build/$name.log" || true
  done
}

if [[ "${KESTREL_SKIP_FUZZ:-0}" == 1 ]]; then
  echo "run-tests: fuzz smoke run skipped (KESTREL_SKIP_FUZZ=1)"
elif [[ -f "$repo/tests/fuzz/CMakeLists.txt" ]] && command -v clang++ >/dev/null 2>&1; then
  step "3/3 fuzz smoke run"
  run_fuzz
  step_done
else
  echo "run-tests: no fuzz targets or no clang, fuzz step skipped"
fi

echo
echo "run-tests: all steps passed"
