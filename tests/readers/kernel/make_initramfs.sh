#!/usr/bin/env bash
# Builds the initramfs of the reader machine from the installed packages:
# busybox-static as the guest's tools, guest_init.sh as /init, and the
# modules of the installed kernel that the machine needs (virtio disks, the
# isofs and udf file systems, UTF-8 names) with their dependencies, in load
# order.
#
#   make_initramfs.sh KERNEL_VERSION OUT.cpio
set -euo pipefail

version=${1:?usage: make_initramfs.sh KERNEL_VERSION OUT.cpio}
out=${2:?usage: make_initramfs.sh KERNEL_VERSION OUT.cpio}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
modules=(virtio_pci virtio_blk isofs udf nls_utf8)

root=$(mktemp -d)
trap 'rm -rf -- "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,mnt,lib/modules}
cp /bin/busybox "$root/bin/busybox"
cp "$here/guest_init.sh" "$root/init"
chmod 755 "$root/init"

# modprobe prints every module a driver needs before the driver itself; a
# module needed twice is loaded the first time only.
modprobe -S "$version" --show-depends -a "${modules[@]}" |
  awk '$1 == "insmod" && !seen[$2]++ { print $2 }' >"$root/modules.list"
[[ -s "$root/modules.list" ]] || { echo "no modules found for kernel $version" >&2; exit 1; }
while read -r path; do
  cp "$path" "$root/lib/modules/"
  basename "$path" >>"$root/modules.order"
done <"$root/modules.list"
rm "$root/modules.list"

(cd "$root" && find . -print0 | LC_ALL=C sort -z | cpio --quiet --null -o -H newc) >"$out"
