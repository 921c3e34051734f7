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
# Prints the markers as "grub MARKER" and "isolinux MARKER" lines; they are
# also in OUT/markers. Each marker carries a random part, so a run can never
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
# grub-common, mtools, isolinux, syslinux-common).
set -euo pipefail

out=${1:?usage: make_boot_folders.sh OUT}
grub_bios=/usr/lib/grub/i386-pc
grub_efi=/usr/lib/grub/x86_64-efi
isolinux_bin=/usr/lib/ISOLINUX/isolinux.bin
syslinux_modules=/usr/lib/syslinux/modules/bios

missing=()
command -v grub-mkimage >/dev/null 2>&1 || missing+=(grub-common)
command -v mformat >/dev/null 2>&1 || missing+=(mtools)
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

printf 'grub %s\nisolinux %s\n' "$grub_marker" "$isolinux_marker" | tee "$out/markers"
