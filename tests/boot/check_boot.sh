#!/usr/bin/env bash
# Boot check: images of the boot loader folders of make_boot_folders.sh
# start in QEMU and print the marker that the loader reads from the image's
# own file system, with SeaBIOS and with OVMF (boot_image.sh), from a CD, from
# an IDE hard disk and from a USB stick; an image without a boot catalog
# starts with neither, and one without partition tables from no disk.
#
# A disk is the image written to the start of a larger device, as dd writes
# it to a stick. OVMF also starts El Torito images from disks, which real
# firmware often does not, so every UEFI boot from a disk runs with the
# image's boot catalog zeroed: it proves the GPT's EFI system partition. The
# tables are checked too: sgdisk -v and sfdisk find the GPT, its EFI system
# partition is the El Torito UEFI image's sectors and holds the loader that
# mtools reads from it at its offset, and the MBR carries the loader's boot
# code.
#
# Images of xorriso prove the folders and the runner first, so that a
# Kestrel image that fails here fails for itself, not for the harness: an El
# Torito image starts from a CD but from no disk, one with GRUB's hybrid
# tables from both. Then Kestrel's own images: the GRUB folder (with
# boot_hybrid.img) recognised and written as ISO 9660, as the bridge and as
# UDF 2.50, the same folder named by the boot switches, the ISOLINUX folder
# with -boot-hybrid-mbr isohdpfx.bin and with isohdpfx.bin beside its loader,
# -no-hybrid, -no-boot, and a loader with a name no layout uses; and the
# files of the rescue disc that grub-mkrescue made, as ISO 9660 and as the
# bridge, whose GRUB loads its modules and finds its marker by their long
# names.
#
#   check_boot.sh KESTREL_CLI
#
# Runs two machines at a time, under KVM when /dev/kvm starts the firmware,
# else under software emulation. Needs xorriso, QEMU, OVMF, gdisk, fdisk,
# mtools and the GRUB and ISOLINUX packages; skips (77) without them.
set -euo pipefail
cli=${1:?usage: check_boot.sh KESTREL_CLI}
boot_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$boot_dir/../readers/lib.sh"

need_tool xorriso qemu-system-x86_64 sgdisk sfdisk mcopy
isohdpfx=/usr/lib/ISOLINUX/isohdpfx.bin
boot_hybrid=/usr/lib/grub/i386-pc/boot_hybrid.img
scratch=$(make_scratch boot_images)
folders=$scratch/folders
folder_status=0
bash "$boot_dir/make_boot_folders.sh" "$folders" >/dev/null || folder_status=$?
[[ $folder_status -eq 77 ]] && exit 77
[[ $folder_status -eq 0 ]] || fail "the boot folders cannot be built"
grub_marker=$(awk '$1 == "grub" { print $2 }' "$folders/markers")
isolinux_marker=$(awk '$1 == "isolinux" { print $2 }' "$folders/markers")
rescue_marker=$(awk '$1 == "rescue" { print $2 }' "$folders/markers")
parallel=2

# --- Boot runs -------------------------------------------------------------------

# The sector of an image's El Torito boot catalog, and the first sector of
# its UEFI boot image, as xorriso reads them.
catalog_sector() {
  xorriso -indev "$1" -report_el_torito plain 2>/dev/null | awk '/El Torito catalog/ { print $5 }'
}
uefi_image_sector() {
  xorriso -indev "$1" -report_el_torito plain 2>/dev/null |
    awk '/El Torito boot img/ && $7 == "UEFI" { print $NF }'
}

# stick IMAGE DEVICE: the image at the start of a device 8 MiB larger, its
# boot catalog zeroed (see above); prints the device's file.
stick() {
  local image=$1 catalog
  local device=$image.$2
  catalog=$(catalog_sector "$image")
  [[ -n $catalog ]] || fail "xorriso finds no boot catalog in ${image##*/}"
  cp --sparse=always -- "$image" "$device"
  truncate -s +8M -- "$device"
  dd if=/dev/zero of="$device" bs=2048 seek="$catalog" count=1 conv=notrunc status=none
  echo "$device"
}

cases=()
# expect booted|refused IMAGE FIRMWARE MARKER [cd|disk|usb]: queued, run by run_cases.
expect() { cases+=("$*"); }

run_case() {
  local wanted=$1 image=$2 firmware=$3 marker=$4 media=${5:-cd} outcome=0 device=$2
  [[ $media == cd ]] || device=$(stick "$image" "$media")
  bash "$boot_dir/boot_image.sh" "$device" "$firmware" "$marker" 120 "$media" >/dev/null 2>&1 ||
    outcome=$?
  local got=refused
  [[ $outcome -eq 0 ]] && got=booted
  if [[ $outcome -eq 77 ]]; then
    echo "SKIP: ${image##*/} with $firmware from $media"
  elif [[ $got == "$wanted" ]]; then
    echo "ok: ${image##*/} with $firmware from $media: $got"
  else
    echo "FAIL: ${image##*/} with $firmware from $media: $got, expected $wanted (serial output in $device.$firmware.serial)"
  fi
}

# Runs the queued cases, `parallel` at a time; false when one of them did
# not end as expected, or did not end with a verdict.
run_cases() {
  local results=$scratch/results count=${#cases[@]}
  : >"$results"
  for entry in "${cases[@]}"; do
    while [[ $(jobs -rp | wc -l) -ge $parallel ]]; do wait -n || true; done
    # shellcheck disable=SC2086  # the case's words
    run_case $entry >>"$results" &
  done
  wait
  cases=()
  sort "$results"
  grep -q '^SKIP' "$results" && exit 77
  [[ $(grep -c '^ok' "$results") -eq $count ]]
}

peer() { xorriso -as mkisofs -quiet "$@" 2>/dev/null || fail "xorriso cannot make the image: $*"; }
grub_boot=(-b boot/grub/i386-pc/eltorito.img -no-emul-boot -boot-load-size 4 -boot-info-table)
peer -o "$scratch/grub.iso" "${grub_boot[@]}" -eltorito-alt-boot -e efi.img -no-emul-boot \
  "$folders/grub"
peer -o "$scratch/grub-hybrid.iso" "${grub_boot[@]}" --grub2-boot-info --grub2-mbr "$boot_hybrid" \
  --efi-boot efi.img -efi-boot-part --efi-boot-image --protective-msdos-label "$folders/grub"
peer -o "$scratch/isolinux.iso" -b isolinux/isolinux.bin -no-emul-boot -boot-load-size 4 \
  -boot-info-table "$folders/isolinux"
peer -o "$scratch/plain.iso" "$folders/grub"

# KVM where it starts the firmware (a nested or restricted /dev/kvm may not).
export KESTREL_BOOT_ACCEL=tcg
if [[ -r /dev/kvm && -w /dev/kvm ]] &&
  KESTREL_BOOT_ACCEL=kvm bash "$boot_dir/boot_image.sh" "$scratch/grub.iso" bios "$grub_marker" 20 \
    >/dev/null 2>&1; then
  KESTREL_BOOT_ACCEL=kvm
fi
echo "boot checks run under $KESTREL_BOOT_ACCEL"

expect booted "$scratch/grub.iso" bios "$grub_marker"
expect booted "$scratch/grub.iso" uefi "$grub_marker"
expect booted "$scratch/isolinux.iso" bios "$isolinux_marker"
expect refused "$scratch/plain.iso" bios "$grub_marker"
expect refused "$scratch/plain.iso" uefi "$grub_marker"
expect booted "$folders/rescue.iso" bios "$rescue_marker"
expect booted "$folders/rescue.iso" uefi "$rescue_marker"
# From a disk an El Torito image starts with neither firmware once its
# catalog is out of the way; the image with GRUB's tables with both.
expect refused "$scratch/grub.iso" bios "$grub_marker" disk
expect refused "$scratch/grub.iso" uefi "$grub_marker" disk
expect booted "$scratch/grub-hybrid.iso" bios "$grub_marker" disk
expect booted "$scratch/grub-hybrid.iso" uefi "$grub_marker" usb
run_cases || fail "the harness does not boot the peer's images as it should"

# --- Kestrel's images ----------------------------------------------------------------

# kestrel FOLDER IMAGE [SWITCH...]
kestrel() {
  local folder=$1 image=$2
  shift 2
  "$cli" -yes -output "$image" -json "$image.json" "$@" "$folder" >"$image.summary" ||
    fail "kestrel-cli cannot write $image"
}
kestrel "$folders/grub" "$scratch/k-grub-iso.iso" -fs iso9660
kestrel "$folders/grub" "$scratch/k-grub-bridge.iso" -fs bridge
kestrel "$folders/grub" "$scratch/k-grub-udf250.iso" -fs udf250
kestrel "$folders/grub" "$scratch/k-grub-plain.iso" -fs iso9660 -no-boot
kestrel "$folders/grub" "$scratch/k-grub-no-hybrid.iso" -fs bridge -no-hybrid
kestrel "$folders/isolinux" "$scratch/k-isolinux.iso" -fs iso9660 -boot-hybrid-mbr "$isohdpfx"
found=$scratch/isolinux-found
cp -r -- "$folders/isolinux" "$found"
cp -- "$isohdpfx" "$found/isolinux/"
kestrel "$found" "$scratch/k-isolinux-found.iso" -fs bridge
# A loader under a name no layout has: booted only through the switches.
explicit=$scratch/explicit
cp -r -- "$folders/grub" "$explicit"
mv -- "$explicit/boot/grub/i386-pc/eltorito.img" "$explicit/boot/grub/i386-pc/core.bin"
mv -- "$explicit/efi.img" "$explicit/boot/uefi.fat"
kestrel "$explicit" "$scratch/k-explicit-none.iso" -fs iso9660
kestrel "$explicit" "$scratch/k-explicit.iso" -fs bridge -boot-bios boot/grub/i386-pc/core.bin \
  -boot-load-size 4 -boot-info-table -boot-efi boot/uefi.fat -boot-hybrid-mbr "$boot_hybrid"
kestrel "$folders/rescue" "$scratch/k-rescue-iso.iso" -fs iso9660
kestrel "$folders/rescue" "$scratch/k-rescue-bridge.iso" -fs bridge

# The summary names the MBR boot code found beside ISOLINUX.
grep -q "with BIOS (ISOLINUX's MBR boot code isolinux/isohdpfx.bin, found in the source)" \
  "$scratch/k-isolinux-found.iso.summary" ||
  fail "the summary does not name the MBR boot code found: $(cat "$scratch/k-isolinux-found.iso.summary")"

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

# check_tables IMAGE EFI_IMAGE|- MBR_CODE|-: the GPT as sgdisk and sfdisk
# read it, its EFI system partition (the El Torito UEFI image's sectors,
# holding the loader EFI_IMAGE holds), and the MBR's boot code.
check_tables() {
  local image=$1 efi=$2 code=$3 name=${1##*/} verify dump
  verify=$(sgdisk -v "$image" 2>&1) || fail "sgdisk -v fails on $name: $verify"
  grep -q 'No problems found' <<<"$verify" && ! grep -qiE 'creating new GPT|problem:|warning' <<<"$verify" ||
    fail "sgdisk -v: $name has no sound GPT: $verify"
  dump=$(sfdisk -d "$image" 2>&1) || fail "sfdisk finds no partition table in $name: $dump"
  grep -q '^label: gpt' <<<"$dump" || fail "sfdisk reads no GPT in $name: $dump"
  local mbr
  mbr=$(sfdisk --label-nested dos -d "$image" 2>&1) || fail "sfdisk reads no MBR in $name: $mbr"
  grep -qE 'start= +1, .*type=ee' <<<"$mbr" || fail "no protective partition in the MBR of $name: $mbr"
  if [[ $efi != - ]]; then
    local line start size sector
    line=$(grep -i 'type=C12A7328-F81F-11D2-BA4B-00A0C93EC93B' <<<"$dump") ||
      fail "no EFI system partition in $name: $dump"
    start=$(sed -E 's/.*start= *([0-9]+),.*/\1/' <<<"$line")
    size=$(sed -E 's/.*size= *([0-9]+),.*/\1/' <<<"$line")
    sector=$(uefi_image_sector "$image")
    [[ $start -eq $((sector * 4)) && $size -eq $((($(stat -c %s "$efi") + 511) / 512)) ]] ||
      fail "the EFI system partition of $name ($start+$size) is not the UEFI boot image (sector $sector)"
    grep -qE "start= +$start, size= +$size, type=ef" <<<"$mbr" ||
      fail "the MBR of $name lacks the EFI system partition: $mbr"
    mcopy -n -i "$image@@$((start * 512))" ::/EFI/BOOT/BOOTX64.EFI "$image.efi" ||
      fail "mtools reads no EFI/BOOT/BOOTX64.EFI from the EFI system partition of $name"
    mcopy -n -i "$efi" ::/EFI/BOOT/BOOTX64.EFI "$image.efi.source"
    cmp -s "$image.efi" "$image.efi.source" || fail "the loader in the EFI system partition of $name differs"
  fi
  if [[ $code != - ]]; then
    cmp -s -n 432 "$image" "$code" || fail "the MBR of $name does not carry the boot code of ${code##*/}"
    grep -qE 'bootable' <<<"$mbr" || fail "no active MBR record in $name: $mbr"
  fi
  echo "ok: ${name}: sgdisk -v, sfdisk, the EFI system partition and the MBR"
}
check_tables "$scratch/k-grub-iso.iso" "$folders/grub/efi.img" "$boot_hybrid"
check_tables "$scratch/k-grub-bridge.iso" "$folders/grub/efi.img" "$boot_hybrid"
check_tables "$scratch/k-grub-udf250.iso" "$folders/grub/efi.img" "$boot_hybrid"
check_tables "$scratch/k-explicit.iso" "$explicit/boot/uefi.fat" "$boot_hybrid"
check_tables "$scratch/k-isolinux.iso" - "$isohdpfx"
check_tables "$scratch/k-isolinux-found.iso" - "$isohdpfx"
if sfdisk -d "$scratch/k-grub-no-hybrid.iso" >/dev/null 2>&1; then
  fail "-no-hybrid wrote a partition table"
fi

for image in k-grub-iso k-grub-bridge k-grub-udf250 k-explicit; do
  for firmware in bios uefi; do
    for media in cd disk usb; do
      expect booted "$scratch/$image.iso" "$firmware" "$grub_marker" "$media"
    done
  done
done
for media in cd disk usb; do
  expect booted "$scratch/k-isolinux.iso" bios "$isolinux_marker" "$media"
done
# GRUB of the rescue disc's files reads its modules and marker by their long
# names.
for firmware in bios uefi; do
  expect booted "$scratch/k-rescue-iso.iso" "$firmware" "$rescue_marker"
  expect booted "$scratch/k-rescue-bridge.iso" "$firmware" "$rescue_marker"
done
expect booted "$scratch/k-isolinux-found.iso" bios "$isolinux_marker" usb
expect booted "$scratch/k-grub-no-hybrid.iso" bios "$grub_marker"
expect refused "$scratch/k-grub-no-hybrid.iso" bios "$grub_marker" disk
expect refused "$scratch/k-grub-no-hybrid.iso" uefi "$grub_marker" usb
expect refused "$scratch/k-grub-plain.iso" bios "$grub_marker"
expect refused "$scratch/k-grub-plain.iso" uefi "$grub_marker"
expect refused "$scratch/k-explicit-none.iso" bios "$grub_marker"
run_cases || fail "the boot checks failed"

rm -rf -- "$scratch"
echo "PASS: the boot images start with the expected firmware from CDs, disks and USB sticks, and the plain ones do not"
