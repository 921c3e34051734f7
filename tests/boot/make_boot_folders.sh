#!/usr/bin/env bash
# Builds the source folders of the boot checks from the installed boot
# loaders, each with a marker file that the loader reads from the image's
# own file system and prints on the first serial port:
#
#   OUT/grub       GRUB, laid out as GRUB's rescue discs are:
#                    boot/grub/i386-pc/eltorito.img  BIOS El Torito core image
#                    boot/grub/i386-pc/boot_hybrid.img  the MBR boot code
#                                                    that starts it from a disk
#                    efi.img                         FAT image holding
#                                                    EFI/BOOT/BOOTX64.EFI
#                    boot/grub/grub.cfg              prints the marker
#                    boot/grub/marker.txt
#   OUT/rescue     the files of a disc made by grub-mkrescue (copied out
#                  with xorriso), whose grub.cfg loads modules by their
#                  whole names (part_acorn.mod, regexp.mod, ...) and prints
#                  the marker from a file whose name is longer than 8.3:
#                  only readers of the long names find them
#   OUT/isolinux   ISOLINUX (BIOS only), without its MBR boot code (the
#                  checks name /usr/lib/ISOLINUX/isohdpfx.bin):
#                    isolinux/isolinux.bin           El Torito boot file
#                    isolinux/*.c32                  its modules
#                    isolinux/isolinux.cfg           prints the marker
#                    isolinux/marker.txt
#
# An image of the GRUB folder written without a boot catalog must not boot:
# that is the checks' negative case.
#   make_boot_folders.sh OUT
#
# Prints the markers as "grub MARKER", "rescue MARKER" and "isolinux MARKER"
# lines; they are also in OUT/markers. Each marker carries a random part, so a run can never
# match a marker left from another one.
#
# The images want these options (xorriso shown; any El Torito writer):
#   GRUB:     -b boot/grub/i386-pc/eltorito.img -no-emul-boot -boot-load-size 4
#             -boot-info-table -eltorito-alt-boot -e efi.img -no-emul-boot
#             and, to start from a disk as well, --grub2-boot-info
#             --grub2-mbr boot/grub/i386-pc/boot_hybrid.img -efi-boot-part
#             --efi-boot-image --protective-msdos-label
#   ISOLINUX: -b isolinux/isolinux.bin -no-emul-boot -boot-load-size 4
#             -boot-info-table
#
# Exits 77 when a package is missing (grub-pc-bin, grub-efi-amd64-bin,
# grub-common, mtools, xorriso, isolinux, syslinux-common).
set -euo pipefail

out=${1:?usage: make_boot_folders.sh OUT}
grub_bios=/usr/lib/grub/i386-pc
grub_efi=/usr/lib/grub/x86_64-efi
isolinux_bin=/usr/lib/ISOLINUX/isolinux.bin
syslinux_modules=/usr/lib/syslinux/modules/bios

missing=()
command -v grub-mkimage >/dev/null 2>&1 || missing+=(grub-common)
command -v grub-mkrescue >/dev/null 2>&1 || missing+=(grub-common)
command -v mformat >/dev/null 2>&1 || missing+=(mtools)
command -v xorriso >/dev/null 2>&1 || missing+=(xorriso)
[[ -f $grub_bios/cdboot.img && -f $grub_bios/boot_hybrid.img ]] || missing+=(grub-pc-bin)
[[ -f $grub_efi/kernel.img ]] || missing+=(grub-efi-amd64-bin)
[[ -f $isolinux_bin ]] || missing+=(isolinux)
[[ -f $syslinux_modules/ldlinux.c32 ]] || missing+=(syslinux-common)
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "SKIP: not installed: ${missing[*]} (tools/install-deps.sh installs them)" >&2
  exit 77
fi

rm -rf -- "$out"
mkdir -p -- "$out"
nonce=$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')
grub_marker="kestrel-boot-marker-grub-$nonce"
rescue_marker="kestrel-boot-marker-rescue-$nonce"
isolinux_marker="kestrel-boot-marker-isolinux-$nonce"

# --- GRUB ---------------------------------------------------------------------
grub=$out/grub
mkdir -p -- "$grub/boot/grub/i386-pc"
printf '%s\n' "$grub_marker" >"$grub/boot/grub/marker.txt"

# Both core images carry the same small configuration: find the disc by its
# configuration file (the BIOS image starts on the disc, the UEFI one on its
# FAT image) and read the rest from there. Every module they need is built
# in, so nothing else of GRUB has to be on the disc.
cat >"$out/embedded.cfg" <<'CFG'
search --no-floppy --file --set=root /boot/grub/grub.cfg
set prefix=($root)/boot/grub
configfile $prefix/grub.cfg
CFG
cat >"$grub/boot/grub/grub.cfg" <<'CFG'
serial --unit=0 --speed=115200
terminal_output serial
echo "kestrel boot check: GRUB on $grub_platform reads the marker"
cat $prefix/marker.txt
halt
CFG
modules=(iso9660 udf fat part_msdos part_gpt search search_fs_file configfile normal
         echo cat test serial terminal halt)
grub-mkimage -O i386-pc-eltorito -p /boot/grub -c "$out/embedded.cfg" \
  -o "$grub/boot/grub/i386-pc/eltorito.img" biosdisk "${modules[@]}"
cp "$grub_bios/boot_hybrid.img" "$grub/boot/grub/i386-pc/"
grub-mkimage -O x86_64-efi -p /boot/grub -c "$out/embedded.cfg" \
  -o "$out/BOOTX64.EFI" "${modules[@]}"

# The UEFI El Torito image: a FAT file system of 4 MiB, room enough for the
# loader (about 1 MiB) and a whole number of 2048-byte sectors.
efi_kib=4096
truncate -s "${efi_kib}K" "$grub/efi.img"
mformat -i "$grub/efi.img" -v KESTRELEFI ::
mmd -i "$grub/efi.img" ::/EFI ::/EFI/BOOT
mcopy -i "$grub/efi.img" "$out/BOOTX64.EFI" ::/EFI/BOOT/BOOTX64.EFI
rm -f -- "$out/BOOTX64.EFI" "$out/embedded.cfg"

# --- A GRUB rescue disc -----------------------------------------------------------
# grub-mkrescue lays out a disc as live and installer discs have it: a small
# core image that loads every other module from /boot/grub by its name.
rescue_source=$out/rescue-source
mkdir -p -- "$rescue_source/boot/grub"
printf '%s\n' "$rescue_marker" >"$rescue_source/boot/grub/a-file-with-a-rather-long-name.txt"
cat >"$rescue_source/boot/grub/grub.cfg" <<'CFG'
insmod serial
serial --unit=0 --speed=115200
terminal_output serial
echo "kestrel boot check: a GRUB rescue disc on $grub_platform"
insmod part_acorn
insmod part_msdos
insmod regexp
insmod test
insmod cat
insmod halt
if test -f /boot/grub/a-file-with-a-rather-long-name.txt; then
  cat /boot/grub/a-file-with-a-rather-long-name.txt
fi
halt
CFG
grub-mkrescue -o "$out/rescue.iso" "$rescue_source" >/dev/null 2>&1 ||
  { echo "grub-mkrescue cannot make the rescue disc" >&2; exit 1; }
xorriso -osirrox on -indev "$out/rescue.iso" -extract / "$out/rescue" >/dev/null 2>&1 ||
  { echo "xorriso cannot copy the rescue disc's files" >&2; exit 1; }
chmod -R u+w -- "$out/rescue"
rm -rf -- "$rescue_source"

# --- ISOLINUX -----------------------------------------------------------------
# Text that ISOLINUX prints while it reads its configuration does not reach
# the serial line (the serial console opens after the file is read), so the
# default entry prints the marker with the cat module instead.
isolinux=$out/isolinux
mkdir -p -- "$isolinux/isolinux"
cp "$isolinux_bin" "$isolinux/isolinux/"
for module in ldlinux.c32 libcom32.c32 libutil.c32 cat.c32; do
  cp "$syslinux_modules/$module" "$isolinux/isolinux/"
done
printf '%s\n' "$isolinux_marker" >"$isolinux/isolinux/marker.txt"
cat >"$isolinux/isolinux/isolinux.cfg" <<'CFG'
SERIAL 0 115200
DEFAULT marker
LABEL marker
  COM32 cat.c32
  APPEND marker.txt
CFG

printf 'grub %s\nrescue %s\nisolinux %s\n' "$grub_marker" "$rescue_marker" "$isolinux_marker" |
  tee "$out/markers"
