#!/usr/bin/env bash
# Builds the dark-painter probe for 64-bit Windows and runs it under Wine on a
# virtual screen with dark mode forced on (Wine has no dark-mode entries in
# its theme library). Exits with the probe's count of failed checks; 77 when
# the tools are missing.
#
#   tests/ui/check_theme_paint.sh WINDOWS-BUILD-FOLDER/theme-paint
#
# The work folder lies inside a configured Windows build folder: the probe
# compiles the program's own sources, which include the header that build
# generates (kestrel/version.h), and the two engine sources the build
# report reads (the media an image fits, the boot platforms' names).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work="${1:?usage: check_theme_paint.sh WINDOWS-BUILD-FOLDER/theme-paint}"
mkdir -p "$work"
generated="$(cd "$work/.." && pwd)/generated"
if [ ! -f "$generated/kestrel/version.h" ]; then
  echo "check_theme_paint: $generated/kestrel/version.h missing; configure the Windows build first" >&2
  exit 1
fi

for tool in x86_64-w64-mingw32-g++ x86_64-w64-mingw32-windres xvfb-run; do
  command -v "$tool" >/dev/null 2>&1 || { echo "check_theme_paint: $tool missing" >&2; exit 77; }
done
wine_loader=""
for candidate in /usr/lib/wine/wine64 wine64 wine; do
  if command -v "$candidate" >/dev/null 2>&1; then wine_loader="$(command -v "$candidate")"; break; fi
done
[ -n "$wine_loader" ] || { echo "check_theme_paint: no Wine loader" >&2; exit 77; }

# The probe runs with the program's manifest, so it gets common controls 6
# like the program itself.
printf '1 24 "%s"\n' "$repo/resources/kestrel.manifest" > "$work/probe.rc"
x86_64-w64-mingw32-windres "$work/probe.rc" -O coff -o "$work/probe_rc.o"
x86_64-w64-mingw32-g++ -std=c++20 -O1 -municode -static \
  -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion -Werror \
  -I"$generated" -I"$repo" \
  "$repo/tests/ui/theme_paint_probe_win32.cpp" \
  "$repo/ui/theme.cpp" "$repo"/ui/dark_*.cpp "$repo/ui/dpi.cpp" \
  "$repo"/ui/core/*.cpp "$repo/app/settings.cpp" "$repo"/app/core/*.cpp \
  "$repo/engine/disc_media.cpp" "$repo/engine/boot_platforms.cpp" \
  "$work/probe_rc.o" \
  -lcomctl32 -luxtheme -lgdi32 -luser32 -ladvapi32 -lshell32 -lole32 -lshlwapi \
  -o "$work/theme_probe.exe"

export WINEPREFIX="$work/wine-prefix"
export WINEDEBUG=-all
export WINEARCH=win64
if [ ! -d "$WINEPREFIX" ]; then
  DISPLAY='' "$wine_loader" wineboot -i >/dev/null 2>&1 || true
  # wineboot returns before the new prefix has settled; a window created
  # meanwhile can fail.
  wine_server="$(dirname "$wine_loader")/wineserver"
  [ -x "$wine_server" ] || wine_server="$(command -v wineserver || true)"
  [ -z "$wine_server" ] || "$wine_server" -w || true
fi
KESTREL_FORCE_DARK=1 xvfb-run -a -s "-screen 0 1024x768x24" \
  "$wine_loader" "$work/theme_probe.exe"
