#!/usr/bin/env bash
# Makes the release archives and checks them as a user would get them:
#
#   tools/check-release.sh WINDOWS-BUILD...
#
# Each WINDOWS-BUILD is a configured Windows build folder (64- or 32-bit,
# Release); its kestrel.exe is built if needed and packed into
# kestrel-<version>-win64.zip or -win32.zip. The Linux kestrel-cli is built
# in build-release and packed into a .tar.gz and a .deb. Every archive is
# unpacked and its contents checked: the program of the right machine type
# carrying the version in its title and its version resource, the
# documentation page and the licence. Then the Linux archives and the first
# Windows archive are made once more in fresh build folders and must come
# out byte for byte the same. SOURCE_DATE_EPOCH defaults to the commit time.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${KESTREL_JOBS:-2}"
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$repo" log -1 --format=%ct 2>/dev/null || echo 0)"
fi
export SOURCE_DATE_EPOCH

windows_package() {  # build-folder -> path of its zip
  local build=$1
  cmake --build "$build" -j "$jobs" --target kestrel >/dev/null
  (cd "$build" && cpack -G ZIP >/dev/null)
  ls "$build"/kestrel-*-win*.zip
}

linux_packages() {  # build-folder
  local build=$1
  cmake -S "$repo" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DKESTREL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j "$jobs" >/dev/null
  cmake --build "$build" -j "$jobs" --target package >/dev/null
}

status=0
linux_build="$repo/build-release"
rm -rf "$linux_build"
linux_packages "$linux_build"
version="$(sed -n 's/^#define KESTREL_VERSION_TEXT "\(.*\)"$/\1/p' \
  "$linux_build/generated/kestrel/version.h")"
echo "check-release: version $version"

zips=()
for build in "$@"; do zips+=("$(windows_package "$build")"); done

python3 - "$version" "$linux_build" "${zips[@]}" <<'PY' || status=1
import io, os, struct, subprocess, sys, tarfile, tempfile, zipfile

version, linux_build, zips = sys.argv[1], sys.argv[2], sys.argv[3:]
failures = []

def check(condition, message):
    print(("ok      " if condition else "FAILED  ") + message)
    if not condition:
        failures.append(message)

def machine(program):
    pe = struct.unpack_from("<I", program, 0x3C)[0]
    return struct.unpack_from("<H", program, pe + 4)[0]

for path in zips:
    name = os.path.basename(path)
    platform = "win64" if name.endswith("-win64.zip") else "win32"
    check(name == f"kestrel-{version}-{platform}.zip", f"{name}: named for version {version}")
    folder = name[:-len(".zip")]
    with zipfile.ZipFile(path) as archive, tempfile.TemporaryDirectory() as unpacked:
        archive.extractall(unpacked)
        files = sorted(info.filename for info in archive.infolist() if not info.is_dir())
        check(files == [f"{folder}/LICENSE", f"{folder}/kestrel.exe", f"{folder}/kestrel.html"],
              f"{name}: holds the program, the documentation page and the licence: {files}")
        program = open(os.path.join(unpacked, folder, "kestrel.exe"), "rb").read()
        wanted = 0x8664 if platform == "win64" else 0x14C
        check(machine(program) == wanted, f"{name}: kestrel.exe is a {platform} program")
        bits = "x64" if platform == "win64" else "x86"
        title = f"Kestrel {version} ({bits}) ".encode("utf-16-le")
        check(title in program, f"{name}: kestrel.exe is titled 'Kestrel {version} ({bits}) '")
        for key in ("FileVersion", "ProductVersion"):
            entry = (key + "\0").encode("utf-16-le")
            at = program.find(entry)
            found = at >= 0 and (version + "\0").encode("utf-16-le") in program[at:at + 80]
            check(found, f"{name}: version resource {key} {version}")
        page = open(os.path.join(unpacked, folder, "kestrel.html"), encoding="utf-8").read()
        check("<h2 id=\"settings\">" in page and "example.invalid" not in page,
              f"{name}: kestrel.html is the documentation page")
        licence = open(os.path.join(unpacked, folder, "LICENSE"), encoding="utf-8").read()
        check(licence.startswith("MIT License"), f"{name}: LICENSE is the MIT licence")

tgz = os.path.join(linux_build, f"kestrel-cli-{version}-linux-x86_64.tar.gz")
check(os.path.exists(tgz), f"{os.path.basename(tgz)} made")
if os.path.exists(tgz):
    with tarfile.open(tgz) as archive, tempfile.TemporaryDirectory() as unpacked:
        archive.extractall(unpacked)
        folder = os.path.join(unpacked, f"kestrel-cli-{version}-linux-x86_64")
        program = os.path.join(folder, "bin", "kestrel-cli")
        said = subprocess.run([program, "-version"], capture_output=True, text=True).stdout
        check(said.strip() == f"kestrel-cli {version}", f"tar.gz: kestrel-cli -version says {said.strip()!r}")
        check(os.path.exists(os.path.join(folder, "share", "doc", "kestrel-cli", "LICENSE")),
              "tar.gz: holds the licence")
debs = [f for f in os.listdir(linux_build) if f.endswith(".deb")]
check(len(debs) == 1, f".deb made: {debs}")
if debs:
    deb = os.path.join(linux_build, debs[0])
    control = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Version"], capture_output=True,
                             text=True).stdout.split()
    check(control == ["Package:", "kestrel-cli", "Version:", version], f".deb control: {control}")
sys.exit(1 if failures else 0)
PY

# The same commit and SOURCE_DATE_EPOCH in other build folders give the
# same bytes.
again="$repo/build-release-again"
rm -rf "$again"
linux_packages "$again"
for archive in "$linux_build"/kestrel-cli*.tar.gz "$linux_build"/kestrel-cli*.deb; do
  if cmp -s "$archive" "$again/$(basename "$archive")"; then
    echo "ok      $(basename "$archive") is reproducible"
  else
    echo "FAILED  $(basename "$archive") differs between two builds" >&2; status=1
  fi
done
if [ $# -gt 0 ]; then
  first_again="$repo/build-release-again-windows"
  rm -rf "$first_again"
  toolchain="$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$1/CMakeCache.txt")"
  cmake -S "$repo" -B "$first_again" "${generator[@]}" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF >/dev/null
  zip_again="$(windows_package "$first_again")"
  if cmp -s "${zips[0]}" "$zip_again"; then
    echo "ok      $(basename "$zip_again") is reproducible"
  else
    echo "FAILED  $(basename "$zip_again") differs between two builds" >&2; status=1
  fi
  rm -rf "$first_again"
fi
rm -rf "$again"
exit "$status"
