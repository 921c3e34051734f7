#!/usr/bin/env bash
# Boot check: images of the boot loader folders of make_boot_folders.sh
# start in QEMU and print the marker that the loader reads from the image's
# own file system, with SeaBIOS and with OVMF (boot_image.sh); an image of
# the same GRUB folder without a boot catalog starts with neither.
#
# Images of xorriso prove the folders and the runner first, so that a
# Kestrel image that fails here fails for itself, not for the harness; so
# does the rescue disc that grub-mkrescue made. Then Kestrel's own images:
# the GRUB folder recognised and written as ISO 9660, as the bridge and as
# UDF 2.50 (with its ISO 9660 volume), the same folder with -no-boot, the
# ISOLINUX folder, the GRUB folder named by the boot switches with its
# recognition turned off by a renamed loader, and the files of the rescue
# disc as ISO 9660 and as the bridge, whose GRUB loads its modules and finds
# its marker by their long names.
#
#   check_boot.sh KESTREL_CLI
#
# Needs xorriso, QEMU, OVMF and the GRUB and ISOLINUX packages; skips (77)
# without them.
set -euo pipefail
cli=${1:?usage: check_boot.sh KESTREL_CLI}
boot_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$boot_dir/../readers/lib.sh"

need_tool xorriso qemu-system-x86_64
scratch=$(make_scratch boot_images)
folders=$scratch/folders
folder_status=0
bash "$boot_dir/make_boot_folders.sh" "$folders" >/dev/null || folder_status=$?
[[ $folder_status -eq 77 ]] && exit 77
[[ $folder_status -eq 0 ]] || fail "the boot folders cannot be built"
grub_marker=$(awk '$1 == "grub" { print $2 }' "$folders/markers")
isolinux_marker=$(awk '$1 == "isolinux" { print $2 }' "$folders/markers")
rescue_marker=$(awk '$1 == "rescue" { print $2 }' "$folders/markers")

status=0
# expect booted|refused IMAGE FIRMWARE MARKER
expect() {
  local wanted=$1 image=$2 firmware=$3 marker=$4 outcome=0
  bash "$boot_dir/boot_image.sh" "$image" "$firmware" "$marker" 120 >/dev/null 2>&1 || outcome=$?
  [[ $outcome -eq 77 ]] && exit 77
  local got=refused
  [[ $outcome -eq 0 ]] && got=booted
  if [[ $got == "$wanted" ]]; then
    echo "ok: ${image##*/} with $firmware: $got"
  else
    echo "FAIL: ${image##*/} with $firmware: $got, expected $wanted (serial output in $image.$firmware.serial)" >&2
    status=1
  fi
}

peer() { xorriso -as mkisofs -quiet "$@" 2>/dev/null || fail "xorriso cannot make the image: $*"; }
peer -o "$scratch/grub.iso" -b boot/grub/i386-pc/eltorito.img -no-emul-boot -boot-load-size 4 \
  -boot-info-table -eltorito-alt-boot -e efi.img -no-emul-boot "$folders/grub"
peer -o "$scratch/isolinux.iso" -b isolinux/isolinux.bin -no-emul-boot -boot-load-size 4 \
  -boot-info-table "$folders/isolinux"
peer -o "$scratch/plain.iso" "$folders/grub"

expect booted "$scratch/grub.iso" bios "$grub_marker"
expect booted "$scratch/grub.iso" uefi "$grub_marker"
expect booted "$scratch/isolinux.iso" bios "$isolinux_marker"
expect refused "$scratch/plain.iso" bios "$grub_marker"
expect refused "$scratch/plain.iso" uefi "$grub_marker"
expect booted "$folders/rescue.iso" bios "$rescue_marker"
expect booted "$folders/rescue.iso" uefi "$rescue_marker"

[[ $status -eq 0 ]] || fail "the harness does not boot the peer's images"

# kestrel FOLDER IMAGE [SWITCH...]
kestrel() {
  local folder=$1 image=$2
  shift 2
  "$cli" -quiet -yes -output "$image" "$@" "$folder" || fail "kestrel-cli cannot write $image"
}
kestrel "$folders/grub" "$scratch/k-grub-iso.iso" -fs iso9660
kestrel "$folders/grub" "$scratch/k-grub-bridge.iso" -fs bridge
kestrel "$folders/grub" "$scratch/k-grub-udf250.iso" -fs udf250
kestrel "$folders/grub" "$scratch/k-grub-plain.iso" -fs iso9660 -no-boot
kestrel "$folders/isolinux" "$scratch/k-isolinux.iso" -fs iso9660
# A loader under a name no layout has: booted only through the switches.
explicit=$scratch/explicit
cp -r -- "$folders/grub" "$explicit"
mv -- "$explicit/boot/grub/i386-pc/eltorito.img" "$explicit/boot/grub/i386-pc/core.bin"
mv -- "$explicit/efi.img" "$explicit/boot/uefi.fat"
kestrel "$explicit" "$scratch/k-explicit-none.iso" -fs iso9660
kestrel "$explicit" "$scratch/k-explicit.iso" -fs bridge -boot-bios boot/grub/i386-pc/core.bin \
  -boot-load-size 4 -boot-info-table -boot-efi boot/uefi.fat
kestrel "$folders/rescue" "$scratch/k-rescue-iso.iso" -fs iso9660
kestrel "$folders/rescue" "$scratch/k-rescue-bridge.iso" -fs bridge

# xorriso reads Kestrel's catalogs as it wrote its own: the GRUB loader with
# its boot information table, the UEFI image, and on the UDF 2.50 image the
# ISO 9660 volume that holds them.
for image in k-grub-iso k-grub-bridge k-grub-udf250 k-explicit; do
  report=$(xorriso -indev "$scratch/$image.iso" -report_el_torito plain 2>&1) ||
    fail "xorriso cannot read $image.iso"
  grep -qE 'El Torito boot img : +1 +BIOS +y +none .* 4 ' <<<"$report" &&
    grep -qE 'El Torito img opts : +1 +boot-info-table' <<<"$report" &&
    grep -qE 'El Torito boot img : +2 +UEFI +y +none ' <<<"$report" ||
    fail "xorriso reads another catalog in $image.iso: $report"
done

for firmware in bios uefi; do
  expect booted "$scratch/k-grub-iso.iso" "$firmware" "$grub_marker"
  expect booted "$scratch/k-grub-bridge.iso" "$firmware" "$grub_marker"
  expect booted "$scratch/k-explicit.iso" "$firmware" "$grub_marker"
  expect booted "$scratch/k-rescue-iso.iso" "$firmware" "$rescue_marker"
  expect booted "$scratch/k-rescue-bridge.iso" "$firmware" "$rescue_marker"
done
expect booted "$scratch/k-grub-udf250.iso" bios "$grub_marker"
expect booted "$scratch/k-isolinux.iso" bios "$isolinux_marker"
expect refused "$scratch/k-grub-plain.iso" bios "$grub_marker"
expect refused "$scratch/k-grub-plain.iso" uefi "$grub_marker"
expect refused "$scratch/k-explicit-none.iso" bios "$grub_marker"

[[ $status -eq 0 ]] || fail "the boot checks failed"
rm -rf -- "$scratch"
echo "PASS: the boot images start with the expected firmware and the plain ones do not"
