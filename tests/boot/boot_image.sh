#!/usr/bin/env bash
# Boots a disc image in QEMU and watches the first serial port for a marker.
#
#   boot_image.sh IMAGE bios|uefi MARKER [SECONDS [cd|disk|usb]]
#
# bios starts the machine with SeaBIOS (QEMU's own firmware), uefi with OVMF
# (Debian's ovmf). The image is the machine's CD-ROM (cd, the default), its
# IDE hard disk (disk) or a USB stick on an xHCI controller (usb); a disk is
# never written (QEMU keeps the writes in a snapshot). The machine runs under
# software emulation unless KESTREL_BOOT_ACCEL=kvm, which check_boot.sh sets
# when KVM works. The run ends as soon as MARKER appears on the serial line
# (exit status 0), when the firmware reports that nothing on the device boots
# (exit status 1), or after SECONDS (default 120; exit status 1). Exit status
# 77: QEMU or OVMF is not installed; 2: wrong usage.
#
# The serial output is kept in IMAGE.bios.serial or IMAGE.uefi.serial, the
# firmware's own log (SeaBIOS and OVMF write it to port 0x402) beside it in
# .firmware and QEMU's messages in .qemu, for a look after a failure; boot
# each device from a file of its own to keep them apart.
set -euo pipefail

usage() { echo "usage: boot_image.sh IMAGE bios|uefi MARKER [SECONDS [cd|disk|usb]]" >&2; exit 2; }
[[ $# -ge 3 && $# -le 5 ]] || usage
image=$1 firmware=$2 marker=$3 seconds=${4:-120} media=${5:-cd} accel=${KESTREL_BOOT_ACCEL:-tcg}
[[ -f "$image" ]] || { echo "boot_image: no image $image" >&2; exit 2; }
[[ -n "$marker" && "$seconds" =~ ^[0-9]+$ && "$accel" =~ ^(tcg|kvm)$ ]] || usage

if ! command -v qemu-system-x86_64 >/dev/null 2>&1; then
  echo "SKIP: qemu-system-x86_64 is not installed (tools/install-deps.sh installs it)" >&2
  exit 77
fi

serial=$image.$firmware.serial
firmware_log=$image.$firmware.firmware
qemu_log=$image.$firmware.qemu
rm -f -- "$serial" "$firmware_log" "$qemu_log"
: >"$serial"

machine=(-machine "pc,accel=$accel" -m 256 -smp 1 -nodefaults -display none -no-reboot -monitor none
         -serial "file:$serial"
         -chardev "file,id=firmware,path=$firmware_log" -device "isa-debugcon,iobase=0x402,chardev=firmware")
case $media in
  cd) machine+=(-drive "file=$image,format=raw,media=cdrom,readonly=on,if=ide,index=2" -boot order=d) ;;
  disk) machine+=(-drive "file=$image,format=raw,if=ide,index=0,snapshot=on" -boot order=c) ;;
  usb) machine+=(-device "qemu-xhci,id=xhci" -drive "file=$image,format=raw,if=none,id=stick,snapshot=on"
                 -device "usb-storage,bus=xhci.0,drive=stick,bootindex=0") ;;
  *) usage ;;
esac
# Words with which each firmware gives up on the disc, or GRUB on its
# modules: the run ends there instead of waiting for the time-out.
case $firmware in
  bios)
    gave_up='No bootable device|Boot failed|grub rescue> '
    ;;
  uefi)
    code=/usr/share/OVMF/OVMF_CODE_4M.fd
    vars=/usr/share/OVMF/OVMF_VARS_4M.fd
    if [[ ! -f $code || ! -f $vars ]]; then
      echo "SKIP: OVMF is not installed (tools/install-deps.sh installs ovmf)" >&2
      exit 77
    fi
    # The variable store is written by the firmware: each run gets a fresh copy.
    cp -- "$vars" "$image.uefi.vars"
    machine+=(-drive "if=pflash,format=raw,unit=0,readonly=on,file=$code"
              -drive "if=pflash,format=raw,unit=1,file=$image.uefi.vars")
    gave_up='No bootable option or device was found|startup\.nsh|Shell> |grub rescue> '
    ;;
  *) usage ;;
esac

qemu-system-x86_64 "${machine[@]}" 2>"$qemu_log" &
qemu=$!
# shellcheck disable=SC2317  # called by the trap
stop_qemu() {
  if kill -0 "$qemu" 2>/dev/null; then
    kill "$qemu" 2>/dev/null || true
  fi
  wait "$qemu" 2>/dev/null || true
  rm -f -- "$image.uefi.vars"
}
trap stop_qemu EXIT

result=""
deadline=$((SECONDS + seconds))
while [[ -z "$result" ]]; do
  if grep -qaF -- "$marker" "$serial"; then
    result=booted
  elif grep -qaE -- "$gave_up" "$serial" "$firmware_log" 2>/dev/null; then
    result="the firmware found nothing to boot"
  elif ! kill -0 "$qemu" 2>/dev/null; then
    # A last look: the marker may have come just before the machine halted.
    if grep -qaF -- "$marker" "$serial"; then
      result=booted
    else
      result="the machine stopped: $(head -c 500 "$qemu_log")"
    fi
  elif ((SECONDS >= deadline)); then
    result="no marker after $seconds s"
  else
    sleep 0.5
  fi
done

if [[ $result == booted ]]; then
  echo "boot_image: $firmware: found '$marker' on the serial line"
  exit 0
fi
echo "boot_image: $firmware: $result (serial output in $serial)" >&2
exit 1
