#!/bin/busybox sh
# shellcheck shell=dash
# The /init of the reader machine (run by the kernel from the initramfs that
# make_initramfs.sh builds). It loads the block and file-system drivers,
# mounts every disk named on the kernel command line read-only with the file
# systems asked for, and writes a listing of each to the second serial port
# (the first carries the kernel's own console):
#
#   BEGIN <serial> <view>          a mount starts (view: rockridge, joliet,
#                                  iso9660 or folded, the views of an ISO
#                                  9660 volume, or udf)
#   D <path>                       a folder, "./" relative
#   S <size> <path>                a file and its size in bytes
#   H <sha256>  <path>             the SHA-256 of a file up to 64 MiB
#   R <offset> <sha256> <path>     the SHA-256 of 8 KiB at offset, for larger
#                                  files (see list_windows)
#   K <kernel message>             something the file-system drivers or the
#                                  disks logged meanwhile
#   END <serial> <view> <status>   0 when the mount and every read succeeded
#   DONE                           every mount was tried
#
# The disks are named by their virtio serial numbers; the command line says
# which views to mount from each: kestrel_disks=disk1:rockridge+joliet+iso9660+udf,...

/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

# A module that does not load shows as a failed mount; the reason is on the
# console.
while read -r module; do
  insmod "/lib/modules/$module" || echo "cannot load $module" >/dev/console
done </modules.order

# Above this size a file is read in windows rather than whole: reading
# gigabytes under software emulation would take minutes.
whole_limit=67108864
window=8192
stride=536870912

out=/dev/ttyS1
stty -F "$out" raw 2>/dev/null

# Prints the windows of a large file: one at every multiple of 512 MiB and
# at a third, half-way and the end, each 8 KiB on a 4 KiB boundary.
list_windows() {
  size=$1
  offset=0
  while [ "$offset" -lt "$size" ]; do
    echo "$offset"
    offset=$((offset + stride))
  done
  echo $((size / 3 / 4096 * 4096))
  echo $((size / 2 / 4096 * 4096))
  last=$((size - window))
  [ "$last" -lt 0 ] && last=0
  echo $((last / 4096 * 4096))
}

# Lists the mounted tree in the current folder; returns non-zero when a read
# failed.
list_tree() {
  status=0
  find . -type d | sed 's/^/D /' || status=1
  find . -type f -exec stat -c 'S %s %n' {} + || status=1
  find . -type f ! -size +${whole_limit}c -exec sha256sum {} + | sed 's/^/H /' || status=1
  find . -type f -size +${whole_limit}c | while IFS= read -r file; do
    size=$(stat -c %s "$file")
    list_windows "$size" | sort -n -u | while read -r offset; do
      sum=$(dd if="$file" bs=4096 skip=$((offset / 4096)) count=$((window / 4096)) 2>/dev/null |
            sha256sum) || exit 1
      echo "R $offset ${sum%% *} $file"
    done || exit 1
  done || status=1
  return $status
}

# The isofs driver reads Rock Ridge names where the volume has them, else
# Joliet's, else the primary identifiers: each view turns off the ones before.
mount_options() {
  case $1 in
    rockridge) echo ro ;;
    joliet) echo ro,norock,iocharset=utf8 ;;
    # The raw identifiers, version numbers included, so that they can be
    # compared byte for byte.
    iso9660) echo ro,norock,nojoliet,map=off ;;
    # The identifiers as Linux shows them by default: in lower case, without
    # the version number; names that differ in case only meet here.
    folded) echo ro,norock,nojoliet ;;
    udf) echo ro,iocharset=utf8 ;;
  esac
}

file_system() {
  case $1 in
    udf) echo udf ;;
    *) echo iso9660 ;;
  esac
}

plan=$(sed -n 's/.*kestrel_disks=\([^ ]*\).*/\1/p' /proc/cmdline)
mkdir -p /mnt
for entry in $(echo "$plan" | tr ',' ' '); do
  serial=${entry%%:*}
  device=""
  for block in /sys/block/vd*; do
    [ "$(cat "$block/serial" 2>/dev/null)" = "$serial" ] && device=/dev/${block##*/}
  done
  for fs in $(echo "${entry#*:}" | tr '+' ' '); do
    echo "BEGIN $serial $fs" >"$out"
    dmesg -c >/dev/null
    status=1
    if [ -n "$device" ] && mount -t "$(file_system "$fs")" -o "$(mount_options "$fs")" "$device" /mnt; then
      status=0
      (cd /mnt && list_tree) >"$out" || status=1
      umount /mnt || status=1
    fi
    # Only what the file systems and the disks report: under emulation the
    # kernel may also remark on its clocks, which says nothing of the image.
    dmesg -c | grep -iE 'udf|isofs|iso9660|vd[a-z]|i/o error' | sed 's/^/K /' >"$out"
    echo "END $serial $fs $status" >"$out"
  done
done
echo DONE >"$out"
sync
poweroff -f
