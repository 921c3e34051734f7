#!/usr/bin/env bash
# Cross-builds the Windows program and its GUI test driver and runs the GUI
# tests under Wine on a virtual X server: the real main window is opened and
# driven through its messages, the program itself is started with a command
# line, a second start of kestrel.exe is checked, and the images built from
# the window and by the program are read back with 7-Zip. The ScaledWindows
# tests (message boxes, main window, about box, and every text in every
# language) run again at 120, 144 and 192 DPI.
#
#   tools/test-gui.sh [build-folder]
#
# KESTREL_GUI_ARCH=x86 builds the 32-bit program and driver instead and runs
# the smoke tests only (command line, Start, the image, the about box, the
# dark switch) under the 32-bit Wine (through QEMU's user-mode emulator where
# the kernel cannot run 32-bit programs: slow, so only these). The build folder defaults to $KESTREL_GUI_BUILD or
# <repo>/build-gui. Needs: g++-mingw-w64 (posix), wine64 (and wine32:i386
# for x86), xvfb, the fonts of tools/install-deps.sh, googletest, cmake, 7zz.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/gui-prefix.sh
source "$repo/tools/gui-prefix.sh"
build="${1:-${KESTREL_GUI_BUILD:-$repo/build-gui}}"
arch="${KESTREL_GUI_ARCH:-x64}"
pin=()

gui_wine64="$(gui_find_wine_tool wine64 wine)" || { echo "test-gui: no Wine loader (install wine64)" >&2; exit 1; }
if [ "$arch" = x86 ]; then
  toolchain="$repo/cmake/mingw-w64-i686.cmake"
  gui_wine=/usr/lib/wine/wine
  gui_enable_i386 || { echo "test-gui: the 32-bit Wine loader cannot run (install wine32:i386)" >&2; exit 1; }
  smoke_filter="Program.*:AboutBoxGui.*:OptionsTest.DarkTheme*:MainWindowTest.StartBuilds*"
  filter="${KESTREL_GUI_FILTER:-$smoke_filter}"
  dpis=()
  # The 32-bit Wine run through QEMU's user-mode emulator corrupts its own
  # state when two threads of one program make system calls at the same
  # time ("stack smashing detected", "illegal instruction"), which a bare
  # two-thread program that only reads files and waits on a condition
  # variable shows too. Pinned to one processor, the program sees one and
  # reads its sources with one thread; the two-reader path is tested by the
  # 64-bit run and the native tests. The smoke tests need no second one.
  allowed="$(taskset -pc $$ | sed 's/.*: //')"
  pin=(taskset -c "${allowed%%[-,]*}")
else
  toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
  gui_wine="$gui_wine64"
  filter="${KESTREL_GUI_FILTER:-}"
  dpis=(120 144 192)
fi
gui_wineserver="$(gui_find_wine_tool wineserver64 wineserver)" || gui_wineserver=""
command -v xvfb-run >/dev/null || { echo "test-gui: xvfb-run missing (install xvfb)" >&2; exit 1; }

cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE="${KESTREL_GUI_BUILD_TYPE:-Debug}" -DKESTREL_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"${KESTREL_JOBS:-2}" --target kestrel kestrel_gui_tests

export WINEPREFIX="$build/wine-gui-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
artifacts="$build/gui-artifacts"
rm -rf "$artifacts"
mkdir -p "$artifacts"
to_windows() { echo "Z:${1//\//\\}"; }
KESTREL_EXE="$(to_windows "$build/kestrel.exe")"
KESTREL_GUI_ARTIFACTS="$(to_windows "$artifacts")"
export KESTREL_EXE KESTREL_GUI_ARTIFACTS
# A window test that waits for something that never comes (a message box
# nobody answers) would hold the whole run: each run of the driver has a
# time limit, and going over it fails the step with its own message.
gui_time_limit="${KESTREL_GUI_TIME_LIMIT:-900}"
export gui_wine gui_wine64 gui_wineserver filter gui_time_limit
dpi_list="${dpis[*]}"
export dpi_list

# Everything runs inside one X server, large enough for the main window at
# 192 DPI: the prefix is made there, the whole suite runs at 96 DPI, then the
# ScaledWindows tests at each further DPI in a new session.
status=0
# shellcheck disable=SC2016
"${pin[@]}" xvfb-run -a -s "-screen 0 2048x1536x24" bash -c '
  source "$0"
  gui_prepare_prefix
  gui_set_dpi 96
  run_driver() {
    local code=0
    timeout -k 30 "$gui_time_limit" "$gui_wine" "$@" || code=$?
    if [ "$code" -eq 124 ] || [ "$code" -eq 137 ]; then
      echo "test-gui: the GUI tests did not finish within $gui_time_limit s (the last test started above hung)" >&2
    fi
    return "$code"
  }
  status=0
  KESTREL_EXPECTED_DPI=96 run_driver "$1" ${filter:+--gtest_filter=$filter} || status=$?
  # The folder verb is gone again after the tests: nothing of ours stays in the registry.
  if "$gui_wine64" reg query "HKCU\\Software\\Classes\\Directory\\shell\\Kestrel" >/dev/null 2>&1; then
    echo "test-gui: the folder verb was left registered" >&2; status=1
  fi
  for dpi in $dpi_list; do
    [ -z "$filter" ] || break
    echo "test-gui: windows and texts at $dpi DPI"
    gui_set_dpi "$dpi"
    KESTREL_EXPECTED_DPI=$dpi run_driver "$1" --gtest_filter="ScaledWindows.*" --gtest_brief=1 || status=1
  done
  [ -n "$gui_wineserver" ] && "$gui_wineserver" -k 2>/dev/null || true
  exit $status
' "$repo/tools/gui-prefix.sh" "$build/kestrel_gui_tests.exe" || status=$?

# The images built from the window and by the program, read back by an
# independent reader.
if command -v 7zz >/dev/null; then
  for image in built program; do
    # A filtered run checks the images its tests made; a whole run, both.
    [ -f "$artifacts/$image.iso" ] || { [ -n "${KESTREL_GUI_FILTER:-}" ] && continue; }
    listing="$(7zz l "$artifacts/$image.iso")" || { echo "test-gui: 7zz cannot read $image.iso" >&2; status=1; continue; }
    for name in readme.txt notes.txt; do
      grep -q "$name" <<<"$listing" || { echo "test-gui: $name missing from $image.iso" >&2; status=1; }
    done
  done
fi
exit "$status"
