#!/usr/bin/env bash
# Cross-builds the Windows program and its GUI test driver and runs the GUI
# tests under Wine on a virtual X server: the real main window is opened and
# driven through its messages, a second start of kestrel.exe is checked, and
# the image built from the window is read back with 7-Zip.
#
#   tools/test-gui.sh [--screenshots] [build-folder]
#
# --screenshots also writes the window captures of the tests to
# docs/screenshots/*.png (main window idle, building and done in light; main
# window, about box and overwrite question in light and dark).
# The build folder defaults to $KESTREL_GUI_BUILD or <repo>/build-gui.
# Needs: g++-mingw-w64-x86-64-posix, wine64, xvfb, googletest, cmake, 7zz (optional).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
screenshots=0
if [ "${1:-}" = "--screenshots" ]; then screenshots=1; shift; fi
build="${1:-${KESTREL_GUI_BUILD:-$repo/build-gui}}"

cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="${KESTREL_GUI_BUILD_TYPE:-Debug}" >/dev/null
cmake --build "$build" -j"${KESTREL_JOBS:-2}" --target kestrel kestrel_gui_tests

find_wine_tool() {
  local name
  for name in "$@"; do
    if [ -x "/usr/lib/wine/$name" ]; then echo "/usr/lib/wine/$name"; return 0; fi
    if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
  done
  return 1
}
wine="$(find_wine_tool wine64 wine)" || { echo "test-gui: no Wine loader (install wine64)" >&2; exit 1; }
wineserver="$(find_wine_tool wineserver64 wineserver)" || wineserver=""
command -v xvfb-run >/dev/null || { echo "test-gui: xvfb-run missing (install xvfb)" >&2; exit 1; }

export WINEPREFIX="$build/wine-gui-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
rm -rf "$WINEPREFIX"
artifacts="$build/gui-artifacts"
rm -rf "$artifacts"
mkdir -p "$artifacts"
to_windows() { echo "Z:${1//\//\\}"; }
KESTREL_EXE="$(to_windows "$build/kestrel.exe")"
KESTREL_GUI_ARTIFACTS="$(to_windows "$artifacts")"
export KESTREL_EXE KESTREL_GUI_ARTIFACTS
if [ "$screenshots" = 1 ]; then export KESTREL_SCREENSHOT_DIR="$KESTREL_GUI_ARTIFACTS"; fi

# Everything runs inside one X server: the prefix is made there, and a Wine
# virtual desktop draws the window frames (Xvfb has no window manager).
status=0
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$0" wineboot -i >/dev/null 2>&1 || true
  [ -n "$1" ] && "$1" -w || true
  "$0" reg add "HKCU\\Software\\Wine\\Explorer" /v Desktop /d Default /f >/dev/null 2>&1
  "$0" reg add "HKCU\\Software\\Wine\\Explorer\\Desktops" /v Default /d 1024x768 /f >/dev/null 2>&1
  "$0" "$2" ${KESTREL_GUI_FILTER:+--gtest_filter=$KESTREL_GUI_FILTER}
  status=$?
  # The folder verb is gone again after the tests: nothing of ours stays in the registry.
  if "$0" reg query "HKCU\\Software\\Classes\\Directory\\shell\\Kestrel" >/dev/null 2>&1; then
    echo "test-gui: the folder verb was left registered" >&2; status=1
  fi
  [ -n "$1" ] && "$1" -k 2>/dev/null || true
  exit $status
' "$wine" "$wineserver" "$build/kestrel_gui_tests.exe" || status=$?

# The image built from the window, read back by an independent reader.
if [ -f "$artifacts/built.iso" ] && command -v 7zz >/dev/null; then
  listing="$(7zz l "$artifacts/built.iso")" || { echo "test-gui: 7zz cannot read the image" >&2; status=1; }
  for name in readme.txt notes.txt; do
    grep -q "$name" <<<"$listing" || { echo "test-gui: $name missing from the image" >&2; status=1; }
  done
elif [ "$status" = 0 ] && [ -z "${KESTREL_GUI_FILTER:-}" ]; then
  echo "test-gui: no image was built from the window" >&2; status=1
fi

if [ "$screenshots" = 1 ]; then
  mkdir -p "$repo/docs/screenshots"
  python3 "$repo/tools/bmp_to_png.py" "$artifacts" "$repo/docs/screenshots" idle building "done" \
    main-window-dark about-box about-box-dark message-box-overwrite message-box-overwrite-dark message-box-usage
fi
exit "$status"
