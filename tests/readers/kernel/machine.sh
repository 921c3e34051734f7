# shellcheck shell=bash
# The reader machine: a small QEMU guest that mounts disc images with the
# Linux kernel's own isofs and udf drivers and lists them on its serial line
# (guest_init.sh). Source this file, then:
#
#   kernel_machine_prepare SCRATCH        finds QEMU and the installed kernel
#                                         and builds the initramfs once
#   kernel_machine_run LISTING SPEC...    boots once with one read-only virtio
#                                         disk per SPEC, IMAGE:FS[+FS], and
#                                         writes the listing to LISTING; the
#                                         disks are named disk1, disk2, ...
#
# QEMU's software emulation is used on purpose: it needs no /dev/kvm and
# behaves the same on every machine. A boot takes about ten seconds, so a
# caller lists as many images as it can in one run.
#
# Exits with status 77 (skipped) when QEMU, a kernel or busybox is missing.

kernel_machine_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
kernel_machine_kernel=""
kernel_machine_initramfs=""
kernel_machine_scratch=""

kernel_machine_prepare() {
  kernel_machine_scratch=$1
  need_tool qemu-system-x86_64 modprobe cpio timeout
  # The guest has no C library: only the static busybox runs there.
  local linkage
  linkage=$(LC_ALL=C ldd /bin/busybox 2>&1 || true)
  if [[ ! -x /bin/busybox || $linkage != *"not a dynamic executable"* ]] ||
     ! /bin/busybox --list | grep -qx sha256sum; then
    echo "SKIP: busybox-static is not installed (tools/install-deps.sh installs it)" >&2
    exit 77
  fi
  # The newest kernel whose image is readable and whose modules are there.
  local version candidate
  version=""
  while read -r candidate; do
    if [[ -r /boot/vmlinuz-$candidate && -f /lib/modules/$candidate/modules.dep ]]; then
      version=$candidate
    fi
  done < <(find /lib/modules -mindepth 1 -maxdepth 1 -printf '%f\n' 2>/dev/null | sort -V)
  if [[ -z "$version" ]]; then
    echo "SKIP: no readable kernel in /boot with modules (linux-image-amd64)" >&2
    exit 77
  fi
  kernel_machine_kernel=/boot/vmlinuz-$version
  kernel_machine_initramfs=$kernel_machine_scratch/reader-initramfs.cpio
  bash "$kernel_machine_dir/make_initramfs.sh" "$version" "$kernel_machine_initramfs" ||
    fail "cannot build the initramfs for kernel $version"
}

kernel_machine_run() {
  local listing=$1
  shift
  local console=$listing.console plan="" drives=() number=0 spec image
  for spec in "$@"; do
    number=$((number + 1))
    image=${spec%:*}
    [[ -f "$image" ]] || fail "no image $image"
    drives+=(-drive "file=$image,format=raw,if=none,id=d$number,readonly=on"
             -device "virtio-blk-pci,drive=d$number,serial=disk$number")
    plan+="${plan:+,}disk$number:${spec##*:}"
  done
  rm -f -- "$listing" "$console"
  local status=0
  timeout 600 qemu-system-x86_64 -machine pc,accel=tcg -m 512 -smp 1 -nodefaults \
    -display none -no-reboot -monitor none \
    -kernel "$kernel_machine_kernel" -initrd "$kernel_machine_initramfs" \
    -append "console=ttyS0 panic=-1 quiet kestrel_disks=$plan" \
    -serial "file:$console" -serial "file:$listing" "${drives[@]}" || status=$?
  if [[ $status -ne 0 ]] || ! tr -d '\r' <"$listing" | grep -qx DONE; then
    tail -n 30 "$console" >&2 || true
    fail "the reader machine did not finish its listing (QEMU exit status $status)"
  fi
}
