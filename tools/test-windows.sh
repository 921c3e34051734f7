#!/usr/bin/env bash
# Cross-builds the engine, the tests and the command-line program for 64-bit
# Windows with MinGW-w64 and runs the tests under Wine, headless.
#
#   tools/test-windows.sh [build-folder]
#
# The build folder defaults to $KESTREL_WINDOWS_BUILD or <repo>/build-windows.
# Needs: g++-mingw-w64-x86-64-posix, wine64, googletest, cmake.
# Exits non-zero when the build or any test fails. Set KESTREL_NATIVE_CLI to
# a Linux kestrel-cli to also compare the images both programs build.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${KESTREL_WINDOWS_BUILD:-$repo/build-windows}}"
build_type="${KESTREL_WINDOWS_BUILD_TYPE:-Debug}"

cmake -S "$repo" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE="$build_type"
cmake --build "$build" -j2 --target kestrel_engine kestrel_tests kestrel-cli

# A fresh Wine prefix inside the build folder keeps runs independent of the
# user's own Wine setup. Console programs need no X server.
export WINEPREFIX="$build/wine-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
export DISPLAY=
rm -rf "$WINEPREFIX"
# Debian keeps the 64-bit loader and the server in /usr/lib/wine.
# shellcheck source=tools/gui-prefix.sh
source "$repo/tools/gui-prefix.sh"
wine_loader="$(gui_find_wine_tool wine64 wine)" || { echo "test-windows: no Wine loader found (install wine64)" >&2; exit 1; }
wine_server="$(gui_find_wine_tool wineserver64 wineserver)" || wine_server=""
"$wine_loader" wineboot -i >/dev/null 2>&1 || true
# wineboot returns before the prefix's services have settled.
[ -n "$wine_server" ] && "$wine_server" -w || true

status=0
(cd "$build" && ctest --output-on-failure --timeout 600) || status=$?

# With KESTREL_NATIVE_CLI naming a Linux kestrel-cli, the Windows program
# (scanning through the Win32 layer) must build the same bytes for each
# file system from the same small tree at a fixed time and zone.
if [ -n "${KESTREL_NATIVE_CLI:-}" ]; then
  compare="$build/compare"
  rm -rf "$compare" && mkdir -p "$compare/source/Folder/Deeper"
  printf 'small text\n' >"$compare/source/readme.txt"
  head -c 300000 /dev/urandom >"$compare/source/Folder/data.bin"
  printf 'x' >"$compare/source/Folder/Deeper/Mixed Case Name.txt"
  # Reading a file or folder moves its access time unless that lies ahead
  # of its change time, so access times are set a day ahead: both programs
  # then see the same times.
  find "$compare/source" -exec touch -a -d "@$(( $(date +%s) + 86400 ))" {} +
  for fs in iso9660 bridge udf102 udf250; do
    SOURCE_DATE_EPOCH=1600000000 TZ=UTC0 "$wine_loader" "$build/kestrel-cli.exe" -quiet -yes \
      -fs "$fs" -output "Z:$compare/windows-$fs.iso" "Z:$compare/source" || status=1
    SOURCE_DATE_EPOCH=1600000000 TZ=UTC0 "$KESTREL_NATIVE_CLI" -quiet -yes \
      -fs "$fs" -output "$compare/linux-$fs.iso" "$compare/source" || status=1
    if cmp -s "$compare/windows-$fs.iso" "$compare/linux-$fs.iso"; then
      echo "test-windows: $fs image identical to the Linux build"
    else
      echo "test-windows: $fs image differs from the Linux build" >&2
      status=1
    fi
  done
fi

# Ctrl+C as Wine delivers it (a SIGINT to the Wine process becomes the
# console's Ctrl+C event) stops kestrel-cli.exe while it copies: exit 130,
# its temporary file removed and the earlier image kept.
stop="$build/stop-test"
rm -rf "$stop" && mkdir -p "$stop/source"
truncate -s 3G "$stop/source/big.bin"
printf 'earlier image' >"$stop/t.iso"
"$wine_loader" "$build/kestrel-cli.exe" -quiet -yes -fs bridge -output "Z:$stop/t.iso" \
  "Z:$stop/source" 2>"$stop/err.txt" &
cli_pid=$!
for _ in $(seq 300); do
  compgen -G "$stop/t.iso.*.kestrel-part" >/dev/null && break
  sleep 0.05
done
sleep 0.2
kill -INT "$cli_pid" 2>/dev/null || true
cli_status=0
wait "$cli_pid" || cli_status=$?
if [ "$cli_status" -eq 130 ] && [ "$(cat "$stop/t.iso")" = "earlier image" ] &&
  ! compgen -G "$stop/t.iso.*.kestrel-part" >/dev/null; then
  echo "test-windows: Ctrl+C stopped kestrel-cli.exe, nothing left behind"
else
  echo "test-windows: Ctrl+C gave exit $cli_status: $(cat "$stop/err.txt"); left: $(ls "$stop")" >&2
  status=1
fi
rm -rf "$stop"
[ -n "$wine_server" ] && "$wine_server" -k 2>/dev/null || true
exit "$status"
