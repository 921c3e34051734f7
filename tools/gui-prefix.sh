# shellcheck shell=bash disable=SC2154
# Shared by tools/test-gui.sh and tools/make-screenshots.sh (sourced, not
# run): a Wine prefix in which the Windows program's windows look as they do
# on Windows, at a chosen DPI, on a virtual X screen.
#
# Fonts. The dialogs ask for "Segoe UI" 9 pt, which Wine does not have. The
# prefix maps it to Open Sans, whose letters are as wide as Segoe UI's or a
# little wider and whose lines are one pixel taller, so a text that fits here
# fits on Windows. Chinese, Japanese and Korean come from WenQuanYi Micro
# Hei and Arabic from Noto Sans Arabic UI, linked to it as Windows links its
# East Asian UI fonts to Segoe UI; their ideographs are one em wide like
# those of the Windows UI fonts. The message and menu fonts are set to
# Segoe UI 9 pt as on Windows 10 (Wine's own default is Tahoma 8 pt), and
# Wine's Marlett draws the caption buttons. All of it comes from Debian
# packages (tools/install-deps.sh).

gui_find_wine_tool() {
  local name
  for name in "$@"; do
    if [ -x "/usr/lib/wine/$name" ]; then echo "/usr/lib/wine/$name"; return 0; fi
    if command -v "$name" >/dev/null 2>&1; then command -v "$name"; return 0; fi
  done
  return 1
}

# Writes the registry file of the fonts to $1.
gui_write_font_registry() {
  python3 - "$1" <<'PY'
import struct, sys

def hex_bytes(data):
    return ",".join(f"{byte:02x}" for byte in data)

def multi_string(*items):
    # REGEDIT4 files hold multi-strings as 8-bit text with NUL separators.
    return hex_bytes(("\0".join(items) + "\0\0").encode("latin-1"))

def log_font(face, height):
    # LOGFONTW: height, width, escapement, orientation, weight, italic,
    # underline, strike-out, DEFAULT_CHARSET, precisions, quality, pitch,
    # then the face name in 32 UTF-16 units.
    fields = struct.pack("<iiiii8B", height, 0, 0, 0, 400, 0, 0, 0, 1, 0, 0, 0, 0)
    return hex_bytes(fields + face.encode("utf-16-le").ljust(64, b"\0"))

links = multi_string("wqy-microhei.ttc,WenQuanYi Micro Hei",
                     "NotoSansArabicUI-Regular.ttf,Noto Sans Arabic UI")
nine_points = -12  # 9 pt at 96 DPI; Wine scales it to the prefix's DPI
lines = [
    "REGEDIT4", "",
    r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]",
    '"Segoe UI"="Open Sans"', "",
    r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]",
    f'"Segoe UI"=hex(7):{links}', f'"Open Sans"=hex(7):{links}', "",
    r"[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]",
    f'"MessageFont"=hex:{log_font("Segoe UI", nine_points)}',
    f'"MenuFont"=hex:{log_font("Segoe UI", nine_points)}', "",
    r"[HKEY_CURRENT_USER\Software\Wine\Explorer]", '"Desktop"="Default"', "",
    r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]", '"Default"="2048x1536"', "",
]
with open(sys.argv[1], "w", encoding="latin-1") as out:
    out.write("\r\n".join(lines))
PY
}

# 32-bit programs need the 32-bit Wine loader. Where the kernel cannot run
# 32-bit Linux programs itself (built without IA-32 emulation), the loader
# runs under QEMU's user-mode emulator, registered for 32-bit x86 programs
# (needs root); its guest address space is reserved whole so that Wine finds
# the fixed addresses it maps. Returns non-zero when neither works.
gui_enable_i386() {
  local loader=/usr/lib/wine/wine
  export QEMU_RESERVED_VA=0xffff0000
  "$loader" --version >/dev/null 2>&1 && return 0
  local emulator=/usr/bin/qemu-i386-static binfmt=/proc/sys/fs/binfmt_misc
  [ -x "$emulator" ] || return 1
  [ -w "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || return 1
  if [ ! -e "$binfmt/kestrel-i386" ]; then
    # The ELF header of a 32-bit x86 executable or shared object.
    printf '%s' ':kestrel-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$emulator"':FP' \
      >"$binfmt/register" 2>/dev/null || true
  fi
  "$loader" --version >/dev/null 2>&1
}

# Makes a fresh prefix in $WINEPREFIX with the fonts and a virtual desktop
# (Xvfb has no window manager, so Wine's desktop draws the frames). Runs
# inside the X server; needs $gui_wine64 (the 64-bit loader, which also
# makes the 32-bit half of the prefix) and $gui_wineserver.
gui_prepare_prefix() {
  rm -rf "$WINEPREFIX"
  "$gui_wine64" wineboot -i >/dev/null 2>&1 || true
  if [ -n "$gui_wineserver" ]; then "$gui_wineserver" -w || true; fi
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  [ -f /usr/share/wine/fonts/marlett.ttf ] && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  gui_write_font_registry "$WINEPREFIX/drive_c/kestrel-fonts.reg"
  "$gui_wine64" regedit /S 'C:\kestrel-fonts.reg' >/dev/null 2>&1
}

# Sets the prefix's DPI (Wine reads LogPixels when a session starts) and ends
# the running session so the next program starts at that DPI.
gui_set_dpi() {
  "$gui_wine64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null 2>&1
  if [ -n "$gui_wineserver" ]; then
    "$gui_wineserver" -k 2>/dev/null || true
    "$gui_wineserver" -w || true
  fi
}
