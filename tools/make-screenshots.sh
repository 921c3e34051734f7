#!/usr/bin/env bash
# Makes the pictures of docs/screenshots from the program's real windows under
# Wine on a virtual screen (the Screenshots test of the GUI test driver), at
# 96 DPI and at 144 DPI (150 %), and writes them as PNG files:
#
#   tools/make-screenshots.sh [build-folder]
#
# main-window, main-window-dark, main-window-150, main-window-dark-150,
# main-window-german, main-window-japanese, about-box, about-box-dark,
# overwrite-question, overwrite-question-dark, failed-build,
# failed-build-dark. The build folder defaults to <repo>/build-gui; the
# needs are those of tools/test-gui.sh.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tools/gui-prefix.sh
source "$repo/tools/gui-prefix.sh"
build="${1:-$repo/build-gui}"
out="$repo/docs/screenshots"

cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="${KESTREL_GUI_BUILD_TYPE:-Release}" -DKESTREL_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"${KESTREL_JOBS:-2}" --target kestrel_gui_tests

gui_wine64="$(gui_find_wine_tool wine64 wine)" || { echo "make-screenshots: no Wine loader" >&2; exit 1; }
gui_wine="$gui_wine64"
gui_wineserver="$(gui_find_wine_tool wineserver64 wineserver)" || gui_wineserver=""
export gui_wine gui_wine64 gui_wineserver
export WINEPREFIX="$build/wine-screenshot-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
pictures="$build/screenshots"
rm -rf "$pictures"
mkdir -p "$pictures"
KESTREL_SCREENSHOT_DIR="Z:${pictures//\//\\}"
export KESTREL_SCREENSHOT_DIR

# shellcheck disable=SC2016
xvfb-run -a -s "-screen 0 2048x1536x24" bash -c '
  source "$0"
  gui_prepare_prefix
  for dpi in 96 144; do
    gui_set_dpi "$dpi"
    KESTREL_EXPECTED_DPI=$dpi "$gui_wine" "$1" --gtest_filter="Screenshots.*:ScaledWindows.TheRun*" \
      --gtest_brief=1 || exit 1
  done
  [ -n "$gui_wineserver" ] && "$gui_wineserver" -k 2>/dev/null
  exit 0
' "$repo/tools/gui-prefix.sh" "$build/kestrel_gui_tests.exe"

names=(main-window main-window-dark main-window-150 main-window-dark-150 main-window-german
       main-window-japanese about-box about-box-dark overwrite-question overwrite-question-dark
       failed-build failed-build-dark)
rm -f "$out"/*.png
mkdir -p "$out"
python3 "$repo/tools/bmp_to_png.py" "$pictures" "$out" "${names[@]}"
ls -l "$out"
