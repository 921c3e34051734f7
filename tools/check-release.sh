#!/usr/bin/env bash
# Makes the release archives and checks them as a user would get them:
#
#   tools/check-release.sh WINDOWS-BUILD...
#
# Each WINDOWS-BUILD is a configured Windows build folder (64- or 32-bit,
# Release); `cmake --build WINDOWS-BUILD --target package` builds its
# kestrel.exe if needed and packs it into kestrel-<version>-win64.zip or
# -win32.zip. The Linux packages are made in a fresh build-release exactly as
# the README says (`cmake -S . -B build -DCMAKE_BUILD_TYPE=Release` and
# `cmake --build build --target package`): a .tar.gz and a .deb. Packing
# must build what it packs and no test program. Every archive is unpacked
# and its contents checked: the program of the right machine type carrying
# the version in its title and its version resource, the documentation page
# and the licence; for Linux the stripped program, its manual page and bash
# completion, the Debian copyright and changelog, owners and modes, and
# lintian with no error and no warning. Then the Linux archives and the
# first Windows archive are made once more in fresh build folders, the same
# way, and must come out byte for byte the same. SOURCE_DATE_EPOCH defaults
# to the commit time.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${KESTREL_JOBS:-2}"
# The README's commands use CMake's default generator and name no job count.
export CMAKE_BUILD_PARALLEL_LEVEL="$jobs"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$repo" log -1 --format=%ct 2>/dev/null || echo 0)"
fi
export SOURCE_DATE_EPOCH

status=0
# Packing builds the programs it packs, never the unit tests: a build folder
# without them has none afterwards. Each build's output goes to its log.
unit_tests() { [ -e "$1/tests/kestrel_tests" ] || [ -e "$1/tests/kestrel_tests.exe" ]; }
packs_no_tests() {  # build-folder had-the-unit-tests-before (yes/no)
  if [ "$2" = no ] && unit_tests "$1"; then
    echo "FAILED  packing $1 built the unit tests" >&2; status=1
  else
    echo "ok      packing $1 built no unit tests it did not have"
  fi
}
had_tests() { if unit_tests "$1"; then echo yes; else echo no; fi; }
quietly() {  # log-file command...: runs it, showing its output only when it fails
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log" >&2; echo "check-release: $* failed" >&2; exit 1; }
}

windows_package() {  # build-folder; sets `zip` to the path of its archive
  local build=$1 before
  before="$(had_tests "$build")"
  rm -f "$build"/kestrel-*-win*.zip
  quietly "$build/package.log" cmake --build "$build" --target package
  packs_no_tests "$build" "$before"
  zip="$(ls "$build"/kestrel-*-win*.zip)"
}

linux_packages() {  # fresh build-folder
  local build=$1
  mkdir -p "$build"
  quietly "$build/configure.log" cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release
  quietly "$build/package.log" cmake --build "$build" --target package
  packs_no_tests "$build" no
}

linux_build="$repo/build-release"
rm -rf "$linux_build"
linux_packages "$linux_build"
version="$(sed -n 's/^#define KESTREL_VERSION_TEXT "\(.*\)"$/\1/p' \
  "$linux_build/generated/kestrel/version.h")"
echo "check-release: version $version"

zips=()
for build in "$@"; do windows_package "$build"; zips+=("$zip"); done

python3 - "$version" "$linux_build" "$repo/LICENSE" "${zips[@]}" <<'PY' || status=1
import gzip, io, os, stat, struct, subprocess, sys, tarfile, tempfile, zipfile

version, linux_build, licence_path, zips = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
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

def gzip_is_reproducible(data):
    # RFC 1952: no file name (FLG.FNAME, bit 3) and no time (MTIME 0).
    return data[:2] == b"\x1f\x8b" and not data[3] & 0x08 and data[4:8] == b"\0\0\0\0"

def is_stripped(path):
    sections = subprocess.run(["readelf", "-S", "-W", path], capture_output=True, text=True).stdout
    return ".symtab" not in sections and ".debug_" not in sections

def check_linux_tree(label, root, members):
    """The files every Linux package holds, below `root` (usr/ or the tarball's folder)."""
    program = os.path.join(root, "bin", "kestrel-cli")
    said = subprocess.run([program, "-version"], capture_output=True, text=True).stdout
    check(said.strip() == f"kestrel-cli {version}", f"{label}: kestrel-cli -version says {said.strip()!r}")
    check(is_stripped(program), f"{label}: kestrel-cli is stripped")
    page = open(os.path.join(root, "share", "man", "man1", "kestrel-cli.1.gz"), "rb").read()
    check(gzip_is_reproducible(page), f"{label}: kestrel-cli.1.gz has no name or time in its header")
    check(b".SH OPTIONS" in gzip.decompress(page), f"{label}: kestrel-cli.1.gz is the manual page")
    completion = open(os.path.join(root, "share", "bash-completion", "completions", "kestrel-cli")).read()
    check("complete -F _kestrel_cli kestrel-cli" in completion, f"{label}: holds the bash completion")
    docs = os.path.join(root, "share", "doc", "kestrel-cli")
    changelog = open(os.path.join(docs, "changelog.gz"), "rb").read()
    check(gzip_is_reproducible(changelog) and
          gzip.decompress(changelog).decode().startswith(f"kestrel-cli ({version}) "),
          f"{label}: changelog.gz is the changelog of {version}")
    report = open(os.path.join(docs, "report.md.gz"), "rb").read()
    check(gzip_is_reproducible(report) and
          gzip.decompress(report) == open(os.path.join(os.path.dirname(licence_path), "docs", "report.md"), "rb").read(),
          f"{label}: report.md.gz is docs/report.md, which the manual page refers to")
    copyright_text = open(os.path.join(docs, "copyright"), encoding="utf-8").read()
    # The licence text of LICENSE, as the copyright format writes it.
    licence = open(licence_path, encoding="utf-8").read().split("\n")
    body = "\n".join(" " + line if line else " ." for line in licence[4:]).rstrip(" .\n")
    check(copyright_text.startswith("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
          and body in copyright_text, f"{label}: copyright is machine-readable and holds LICENSE")
    wrong = []
    for member in members:
        mode = stat.S_IMODE(member.mode)
        wanted = 0o755 if member.isdir() or member.name.endswith("/bin/kestrel-cli") else 0o644
        if (member.uname, member.gname, member.uid, member.gid) != ("root", "root", 0, 0) or mode != wanted:
            wrong.append(f"{member.name} {member.uname}:{member.gname} {oct(mode)}")
    check(not wrong and members, f"{label}: every entry root:root, 0755 or 0644: {wrong}")
    return page, completion

tgz = os.path.join(linux_build, f"kestrel-cli-{version}-linux-x86_64.tar.gz")
check(os.path.exists(tgz), f"{os.path.basename(tgz)} made")
tarball_files = None
if os.path.exists(tgz):
    with tarfile.open(tgz) as archive, tempfile.TemporaryDirectory() as unpacked:
        archive.extractall(unpacked)
        folder = os.path.join(unpacked, f"kestrel-cli-{version}-linux-x86_64")
        tarball_files = check_linux_tree("tar.gz", folder, archive.getmembers())
debs = [f for f in os.listdir(linux_build) if f.endswith(".deb")]
check(len(debs) == 1, f".deb made: {debs}")
if debs:
    deb = os.path.join(linux_build, debs[0])
    control = subprocess.run(["dpkg-deb", "-f", deb, "Package", "Version"], capture_output=True,
                             text=True).stdout.split()
    check(control == ["Package:", "kestrel-cli", "Version:", version], f".deb control: {control}")
    with tempfile.TemporaryDirectory() as unpacked:
        data = subprocess.run(["dpkg-deb", "--fsys-tarfile", deb], capture_output=True).stdout
        with tarfile.open(fileobj=io.BytesIO(data)) as archive:
            archive.extractall(unpacked)
            deb_files = check_linux_tree(".deb", os.path.join(unpacked, "usr"), archive.getmembers())
    check(deb_files == tarball_files, ".deb and tar.gz carry the same page and completion")
    # Lintian as a Debian user would run it; info tags are listed, not failed.
    lint = subprocess.run(["lintian", "--info", "--pedantic", "--fail-on", "error,warning", deb],
                          capture_output=True, text=True)
    for line in lint.stdout.splitlines():
        if not line.startswith("N:"):
            print("        lintian: " + line)
    check(lint.returncode == 0, f"lintian finds no error and no warning in {debs[0]}")
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
  mkdir -p "$first_again"
  quietly "$first_again/configure.log" cmake -S "$repo" -B "$first_again" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
  windows_package "$first_again"
  zip_again=$zip
  if cmp -s "${zips[0]}" "$zip_again"; then
    echo "ok      $(basename "$zip_again") is reproducible"
  else
    echo "FAILED  $(basename "$zip_again") differs between two builds" >&2; status=1
  fi
  rm -rf "$first_again"
fi
rm -rf "$again"
exit "$status"
