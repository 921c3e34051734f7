#!/usr/bin/env bash
# Installs every Debian package that Kestrel needs to build and test:
# the native tool chain and GoogleTest, clang with its sanitizer and fuzzer
# run-times, the MinGW-w64 cross compilers and Wine (64- and 32-bit) for the
# Windows build, the independent readers that the tests use to read images
# back, the tools that author a small DVD-video title for them, and the fonts
# of the window tests.
#
# The kernel is only booted by the tests, with an initramfs of their own:
# inside a container, where no boot loader will ever start it, the install
# skips the distribution's initramfs (INITRD=No), which would take minutes
# to build.
#
# Safe to run again: when every package is already installed, apt is not
# touched at all, so repeated runs take a second.
set -euo pipefail

packages=(
  # Native build and unit tests.
  build-essential cmake g++ ninja-build git googletest libgtest-dev
  # Fuzz targets and sanitizer builds with clang; the source format check.
  clang libclang-rt-14-dev clang-format shellcheck
  # kestrel-cli's manual page, checked as man shows it: man and lexgrog,
  # groff, col; the Debian package checked by lintian.
  man-db groff-base bsdextrautils lintian
  # Windows cross build, tested under Wine.
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64
  # The Windows program's window tests: a virtual X server, screenshots and
  # pixel checks.
  xvfb xauth imagemagick x11-apps
  # Independent readers and writers used as test peers.
  7zip genisoimage xorriso udftools libudfread-dev libdvdread-dev lsdvd
  libbluray-bin libbluray-dev python3 python3-pycdlib libarchive-tools
  libcdio-utils
  # Authoring of the short DVD-video title that the DVD reader check uses.
  ffmpeg dvdauthor
  # Virtual machines for the kernel reader check (the kernel's own udf and
  # isofs drivers, with busybox as the guest's tools) and the boot checks
  # (SeaBIOS and OVMF firmware, GRUB for BIOS and UEFI with mtools for its
  # FAT image, ISOLINUX), and the partition table readers that check the MBR
  # and GPT of images that start from USB sticks (sgdisk of gdisk, sfdisk of
  # fdisk).
  qemu-system-x86 linux-image-amd64 busybox-static kmod cpio ovmf
  grub-pc-bin grub-efi-amd64-bin grub-common mtools isolinux syslinux-common
  gdisk fdisk
  # The Windows program's window tests and screenshots: fonts close to the
  # Windows dialog fonts for the test prefix (tools/gui-prefix.sh): Open Sans
  # for Segoe UI (Latin, Greek, Cyrillic), WenQuanYi Micro Hei for Chinese,
  # Japanese and Korean, Noto Sans Arabic UI, Wine's own Marlett.
  fonts-open-sans fonts-wqy-microhei fonts-noto-ui-core fonts-wine
  # The 32-bit program under Wine: the 32-bit loader, from the i386
  # architecture that this script adds to dpkg, and QEMU's user-mode
  # emulator for kernels that cannot run 32-bit programs themselves.
  wine32:i386 qemu-user-static
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [[ "$status" != "install ok installed" ]]; then
    missing+=("$package")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#packages[@]} packages are installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "install-deps: run as root (or install sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi

# Passed through env so that sudo keeps them.
apt_env=(env DEBIAN_FRONTEND=noninteractive)
if [[ -f /.dockerenv || -f /run/.containerenv ]] ||
   systemd-detect-virt --quiet --container 2>/dev/null; then
  apt_env+=(INITRD=No)
fi
# wine32 is an i386 package; dpkg must know the architecture before apt-get
# update reads its package lists.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "install-deps: adding the i386 architecture"
  "${as_root[@]}" dpkg --add-architecture i386
fi
# Several installs may share a machine: wait for another one's lock instead
# of failing at once.
apt_options=(-y -q -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold
             -o DPkg::Lock::Timeout=600 --no-install-recommends)

# Writes to $1 a copy of apt's sources without those whose address begins
# with one of the remaining arguments: both the one-line form (sources.list,
# *.list) and the stanza form (*.sources) are copied, a stanza or a line being
# left out whole.
write_sources_without() {
  local into=$1
  shift
  mkdir -p "$into/parts"
  : >"$into/sources.list"
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $file ]] || continue
    local target="$into/sources.list"
    [[ $file == /etc/apt/sources.list ]] || target="$into/parts/${file##*/}"
    awk -v left_out="$*" '
      BEGIN { n = split(left_out, bases, " ") }
      { for (i = 1; i <= n; i++) if (index($0, bases[i]) > 0) next; print }
    ' "$file" >>"$target"
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [[ -f $file ]] || continue
    awk -v left_out="$*" '
      BEGIN { RS = ""; ORS = "\n\n"; n = split(left_out, bases, " ") }
      { for (i = 1; i <= n; i++) if (index($0, bases[i]) > 0) next; print }
    ' "$file" >"$into/parts/${file##*/}"
  done
}

# apt-get update, its output kept in $update_log as well as shown.
update_log=$(mktemp)
trap 'rm -rf "$update_log" "${degraded_sources:-}"' EXIT
update_lists() {
  "${as_root[@]}" apt-get update -q "$@" 2>&1 | tee "$update_log"
  return "${PIPESTATUS[0]}"
}

# A mirror may drop a connection half-way, or be caught mid-sync, when one
# of its package lists (often the i386 one of the security archive) has a
# size other than its index says. apt-get update then fails although every
# other list is fresh, and the install is tried all the same with what it
# read. That can fail for a reason of its own: a library that both
# architectures need must have one version in both, and with the security
# archive read for amd64 only, amd64 asks for its newer version, which i386
# cannot have. The install is then tried once more with the sources whose
# lists failed left out for both architectures, so that each library comes
# from the same point release in both; a warning names what was left out.
# Three tries, the waits growing, give a mirror that is syncing time to
# finish. The check below says whether everything got installed.
for attempt in 1 2 3; do
  if ! update_lists; then
    echo "install-deps: apt-get update failed; installing from the lists it did read" >&2
  fi
  if "${as_root[@]}" "${apt_env[@]}" apt-get install "${apt_options[@]}" "${missing[@]}"; then
    break
  fi
  mapfile -t failed_sources < <(sed -n 's|^E: Failed to fetch \([^ ]*\)/dists/.*|\1|p' "$update_log" | sort -u)
  if [[ ${#failed_sources[@]} -gt 0 ]]; then
    echo "install-deps: WARNING: installing without the package lists of ${failed_sources[*]} (they failed to download)" >&2
    rm -rf "${degraded_sources:-}"
    degraded_sources=$(mktemp -d)
    write_sources_without "$degraded_sources" "${failed_sources[@]}"
    degraded_options=(-o "Dir::Etc::SourceList=$degraded_sources/sources.list"
                      -o "Dir::Etc::SourceParts=$degraded_sources/parts")
    update_lists "${degraded_options[@]}" || true
    if "${as_root[@]}" "${apt_env[@]}" apt-get install "${apt_options[@]}" "${degraded_options[@]}" "${missing[@]}"; then
      break
    fi
  fi
  if [[ $attempt -eq 3 ]]; then
    echo "install-deps: apt-get install failed" >&2
    exit 1
  fi
  echo "install-deps: apt-get install failed, retrying in $((attempt * 30)) s" >&2
  sleep $((attempt * 30))
done

# Check the outcome rather than trusting apt's exit status alone.
still_missing=()
for package in "${missing[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || still_missing+=("$package")
done
if [[ ${#still_missing[@]} -gt 0 ]]; then
  echo "install-deps: still missing after install: ${still_missing[*]}" >&2
  exit 1
fi
echo "install-deps: done"
