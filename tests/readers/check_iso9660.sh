#!/usr/bin/env bash
# ISO 9660 images built by kestrel-cli, read back by independent readers:
# isoinfo, xorriso, 7-Zip, bsdtar, iso-info and pycdlib. Every reader must
# list every file and folder, and the bytes read back must equal the source.
#
# Identifiers are d-characters in 8.3; names that meet in one identifier get
# "_N" (checked on a tree of its own, by contents), so the other trees keep
# their names unique under the 8.3 rule. The expected identifier of every
# source entry is computed by the same rule (iso_identifiers.py: upper case,
# "_" for every other character, 8 + "." + 3 + ";1" for files, 8 for
# folders); readers that show names in their own way (without ";1", in lower
# case) are compared on the entry count, the names, and the contents by hash.
#
# Usage: check_iso9660.sh PATH_TO_KESTREL_CLI   (KESTREL_TEST_TMP = scratch)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

cli=${1:?usage: check_iso9660.sh PATH_TO_KESTREL_CLI}
[[ -x "$cli" ]] || fail "kestrel-cli not found at $cli"
need_tool isoinfo xorriso 7zz bsdtar iso-info truncate dd sha256sum cmp

# pycdlib may be installed for the system interpreter only.
python=""
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null 2>&1 && "$candidate" -c "import pycdlib" >/dev/null 2>&1; then
    python=$candidate
    break
  fi
done
if [[ -z "$python" ]]; then
  echo "SKIP: python module pycdlib is not installed (python3-pycdlib)" >&2
  exit 77
fi

scratch=$(make_scratch iso9660_readers)
# The large image and its source take gigabytes: never leave them behind.
trap 'rm -rf -- "$scratch"' EXIT

helper=$scratch/iso_manifest.py
cat >"$helper" <<'PY'
"""ISO 9660 identifiers expected for a source folder, the image read back
through pycdlib, and comparisons with other readers' output.

A manifest line is "F<TAB>path-hex<TAB>size<TAB>sha256" for a file and
"D<TAB>path-hex" for a folder; paths are the ISO 9660 identifiers joined by
"/", files with their ";1"."""
import hashlib
import os
import sys

from iso_identifiers import identifier


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                break
            digest.update(block)
    return digest.hexdigest()


def expected(source):
    lines = []

    def walk(folder, prefix):
        for entry in sorted(os.scandir(folder), key=lambda e: e.name):
            is_dir = entry.is_dir(follow_symlinks=False)
            path = prefix + b"/" + identifier(entry.name, is_dir)
            if is_dir:
                lines.append("D\t" + path.hex())
                walk(entry.path, path)
            else:
                lines.append("F\t%s\t%d\t%s" % (path.hex(), entry.stat().st_size, sha256_of(entry.path)))

    walk(source, b"")
    return lines


class ComparingWriter:
    """Receives a file's bytes from pycdlib and compares them with the source
    file as they come, so that gigabytes need no hashing."""

    def __init__(self, source_path):
        self.source = open(source_path, "rb")
        self.size = 0
        self.equal = True

    def write(self, data):
        if self.equal and self.source.read(len(data)) != data:
            self.equal = False
        self.size += len(data)
        return len(data)

    def finish(self):
        at_end = self.source.read(1) == b""
        self.source.close()
        return self.equal and at_end


def read_by_record(record, out):
    from pycdlib import inode
    while record is not None and record.get_data_length() > 0:
        with inode.InodeOpenData(record.inode, 2048) as (data, length):
            while length > 0:
                block = data.read(min(length, 1 << 20))
                if not block:
                    raise IOError("short read")
                out.write(block)
                length -= len(block)
        record = record.data_continuation


def source_paths(source):
    """ISO 9660 path -> (is folder, source path) for every source entry."""
    paths = {}

    def walk(folder, prefix):
        for entry in os.scandir(folder):
            is_dir = entry.is_dir(follow_symlinks=False)
            path = prefix + b"/" + identifier(entry.name, is_dir)
            paths[path] = (is_dir, entry.path)
            if is_dir:
                walk(entry.path, path)

    walk(source, b"")
    return paths


def check_pycdlib(image, source):
    import pycdlib
    wanted = source_paths(source)
    iso = pycdlib.PyCdlib()
    iso.open(image)
    problems = []
    seen_paths = set()

    def walk(path):
        seen = set()
        for record in iso.list_children(iso_path=path.decode("latin-1") or "/"):
            name = record.file_identifier()
            # A multi-extent file has one record per extent; read it once.
            if name in (b".", b"..") or name in seen:
                continue
            seen.add(name)
            child = path + b"/" + name
            seen_paths.add(child)
            if child not in wanted:
                problems.append("pycdlib lists %r, which is not in the source" % child)
                continue
            is_dir, source_path = wanted[child]
            if is_dir != record.is_dir():
                problems.append("pycdlib: %r has the wrong type" % child)
            elif is_dir:
                walk(child)
            else:
                out = ComparingWriter(source_path)
                if all(b < 0x80 for b in child):
                    iso.get_file_from_iso_fp(out, iso_path=child.decode("ascii"), blocksize=1 << 20)
                else:
                    # pycdlib looks paths up as UTF-8 only: read an identifier
                    # with bytes above 0x7F through its record and the
                    # records of its further extents.
                    read_by_record(record, out)
                if not out.finish():
                    problems.append("pycdlib: %r differs from the source (%d bytes read)" % (child, out.size))

    walk(b"")
    iso.close()
    for missing in sorted(set(wanted) - seen_paths):
        problems.append("pycdlib does not list %r" % missing)
    return problems


def read_manifest(path):
    entries = []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            entries.append((fields[0], bytes.fromhex(fields[1]), *fields[2:]))
    return entries


def shown(path):
    """A path as readers show it: no version, upper case."""
    parts = [p[:-2] if p.endswith(b";1") else p for p in path.strip(b"/").split(b"/")]
    return b"/".join(parts).upper()


def is_ascii_name(path):
    return all(0x20 <= b < 0x7F for b in path) and b"?" not in path


def check_listing(manifest, reader, mode, listing):
    """`listing`: one path per line. mode "all": folders and files, "files":
    files only."""
    entries = read_manifest(manifest)
    wanted = [e for e in entries if mode == "all" or e[0] == "F"]
    got = []
    for line in listing.split(b"\n"):
        line = line.strip()
        if line.startswith(b"'") and line.endswith(b"'"):
            line = line[1:-1]
        if line.startswith(b"./"):
            line = line[1:]
        line = line.rstrip(b"/")
        if line in (b"", b"/", b"."):
            continue
        got.append(shown(line))
    problems = []
    if len(got) != len(wanted):
        problems.append("%s lists %d entries, expected %d" % (reader, len(got), len(wanted)))
    got_set = set(got)
    for e in wanted:
        if is_ascii_name(e[1]) and shown(e[1]) not in got_set:
            problems.append("%s does not list %r" % (reader, e[1]))
    return problems


def check_contents(manifest, reader, folder):
    """Files extracted into `folder`: the same multiset of (size, hash) as the
    source, and every ASCII-named file at its place."""
    entries = [e for e in read_manifest(manifest) if e[0] == "F"]
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            full = os.path.join(root, name)
            rel = os.fsencode(os.path.relpath(full, folder))
            found[shown(rel)] = (str(os.path.getsize(full)), sha256_of(full))
    problems = []
    if sorted(found.values()) != sorted((e[2], e[3]) for e in entries):
        problems.append("%s: extracted contents differ from the source (%d files, expected %d)" %
                        (reader, len(found), len(entries)))
    for e in entries:
        if is_ascii_name(e[1]) and found.get(shown(e[1])) != (e[2], e[3]):
            problems.append("%s: %r differs or is missing" % (reader, e[1]))
    return problems


def main():
    command = sys.argv[1]
    if command == "expected":
        print("\n".join(sorted(expected(sys.argv[2]))))
    else:
        if command == "pycdlib":
            problems = check_pycdlib(sys.argv[2], sys.argv[3])
        elif command == "listing":
            problems = check_listing(sys.argv[2], sys.argv[3], sys.argv[4], sys.stdin.buffer.read())
        else:
            problems = check_contents(sys.argv[2], sys.argv[3], sys.argv[4])
        for p in problems[:20]:
            print("FAIL: " + p, file=sys.stderr)
        sys.exit(1 if problems else 0)


main()
PY

# The identifier rule is shared with the kernel reader check.
readers_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
manifest() { PYTHONPATH=$readers_dir "$python" "$helper" "$@"; }
status=0
check() {  # check DESCRIPTION COMMAND...: runs a comparison, remembers failures
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAIL: $what" >&2
    status=1
  fi
}
listing() { manifest listing "$@"; }
contents() { manifest contents "$@"; }

build() {  # build SOURCE IMAGE
  "$cli" -fs iso9660 -yes -quiet -output "$2" "$1" || fail "kestrel-cli failed for $1"
}

# 1. A varied tree: nested folders, an empty folder, 0-byte and odd-sized
#    files, 300 files in one folder, names with spaces and non-ASCII letters.
varied=$scratch/varied
make_varied_tree "$varied"
printf 'dotted\n' >"$varied/LEVEL1/archive.tar.gz"
printf 'x' >"$varied/LEVEL1/LEVEL2/odd.b"
build "$varied" "$scratch/varied.iso"
manifest expected "$varied" >"$scratch/varied.expected"
check "pycdlib reads every identifier and file of the varied tree" \
  manifest pycdlib "$scratch/varied.iso" "$varied"

check "isoinfo lists every entry" listing "$scratch/varied.expected" isoinfo all \
  < <(isoinfo -f -i "$scratch/varied.iso")
check "xorriso lists every file" listing "$scratch/varied.expected" xorriso files \
  < <(xorriso -indev "$scratch/varied.iso" -find / -type f 2>/dev/null)
check "bsdtar lists every entry" listing "$scratch/varied.expected" bsdtar all \
  < <(bsdtar -tf "$scratch/varied.iso")
check "7-Zip lists every file" listing "$scratch/varied.expected" 7zz files \
  < <(7zz l -slt -ba "$scratch/varied.iso" | awk '/^Path = /{p=substr($0,8)} /^Folder = -/{print p}')
check "iso-info lists every entry" listing "$scratch/varied.expected" iso-info all \
  < <(iso-info -f -i "$scratch/varied.iso" | awk '/^ *[0-9]+ \//{sub(/^ *[0-9]+ /,""); print}')

mkdir "$scratch/x7" "$scratch/xtar" "$scratch/xorriso"
7zz x -y -bd -o"$scratch/x7" "$scratch/varied.iso" >/dev/null
check "7-Zip extracts every file unchanged" contents "$scratch/varied.expected" 7zz "$scratch/x7"
bsdtar -xf "$scratch/varied.iso" -C "$scratch/xtar"
check "bsdtar extracts every file unchanged" contents "$scratch/varied.expected" bsdtar "$scratch/xtar"
xorriso -osirrox on -indev "$scratch/varied.iso" -extract / "$scratch/xorriso" >/dev/null 2>&1
chmod -R u+rwX "$scratch/xorriso"
check "xorriso extracts every file unchanged" contents "$scratch/varied.expected" xorriso "$scratch/xorriso"
rm -rf -- "$scratch/x7" "$scratch/xtar" "$scratch/xorriso" "$scratch/varied.iso"

# 2. A 5 GiB file, recorded as a multi-extent file (two records), between
#    small files whose data must still be found where their records say.
large=$scratch/large
mkdir -p "$large/SUB"
write_random_file "$large/A_FIRST.BIN" 5000 first
make_sparse_file "$large/BIG.BIN" 5G
write_random_file "$large/SUB/AFTER.BIN" 70001 after
: >"$large/Z_EMPTY.TXT"
build "$large" "$scratch/large.iso"
check "pycdlib reads the multi-extent file and its neighbours" \
  manifest pycdlib "$scratch/large.iso" "$large"
# Streamed and compared byte for byte: no extracted copy on disk, no hashing
# of gigabytes.
check "7-Zip reads the 5 GiB file unchanged" \
  cmp -s <(7zz x -so "$scratch/large.iso" BIG.BIN 2>/dev/null) "$large/BIG.BIN"
check "7-Zip lists one 5 GiB file" test "$(7zz l -slt -ba "$scratch/large.iso" |
  awk '/^Path = BIG.BIN$/{p=1} p && /^Size = /{print substr($0,8); exit}')" = 5368709120
xorriso_size=$(xorriso -indev "$scratch/large.iso" -find /BIG.BIN -exec lsdl 2>/dev/null |
  awk '/BIG.BIN/{print $5}')
check "xorriso sees one 5 GiB file" test "$xorriso_size" = 5368709120
mkdir "$scratch/xlarge"
xorriso -osirrox on -indev "$scratch/large.iso" -extract /SUB "$scratch/xlarge/SUB" \
  -extract /A_FIRST.BIN "$scratch/xlarge/A_FIRST.BIN" >/dev/null 2>&1
check "xorriso reads the files after the large one" test \
  "$(hash_file "$scratch/xlarge/SUB/AFTER.BIN") $(hash_file "$scratch/xlarge/A_FIRST.BIN")" = \
  "$(hash_file "$large/SUB/AFTER.BIN") $(hash_file "$large/A_FIRST.BIN")"
rm -rf -- "$scratch/xlarge" "$scratch/large.iso" "$large"

# 3. Names that shorten to one identifier: every file must still be found by
#    its own record, so each reader extracts as many distinct files as there
#    are in the source, with the same contents.
alike=$scratch/alike
mkdir -p "$alike/Programs (x86)" "$alike/Programs"
for i in 1 2 3 4 5 6 7 8 9 10 11; do write_random_file "$alike/document$i.txt" $((100 * i)) "doc$i"; done
write_random_file "$alike/Programs (x86)/a.bin" 10 x86
write_random_file "$alike/Programs/a.bin" 20 plain
build "$alike" "$scratch/alike.iso"
sorted_hashes() { find "$1" -type f -exec sha256sum {} + | awk '{print $1}' | sort; }
for reader in 7zz xorriso bsdtar; do
  out=$scratch/alike-$reader
  mkdir "$out"
  case $reader in
    7zz) 7zz x -y -o"$out" "$scratch/alike.iso" >/dev/null 2>&1 ;;
    xorriso) xorriso -osirrox on -indev "$scratch/alike.iso" -extract / "$out" >/dev/null 2>&1 ;;
    bsdtar) bsdtar -xf "$scratch/alike.iso" -C "$out" 2>/dev/null ;;
  esac
  chmod -R u+w "$out"
  check "$reader extracts every look-alike file with its own contents" \
    test "$(sorted_hashes "$out")" = "$(sorted_hashes "$alike")"
  rm -rf -- "$out"
done
check "isoinfo lists distinct identifiers" test \
  "$(isoinfo -f -i "$scratch/alike.iso" | sort | uniq -d)" = ""
check "pycdlib reads 15 distinct records" test "$("$python" - "$scratch/alike.iso" <<'PY'
import sys, pycdlib
iso = pycdlib.PyCdlib()
iso.open(sys.argv[1])
distinct = 0
for _, dirs, files in iso.walk(iso_path="/"):
    distinct += len(set(dirs + files))
print(distinct)
PY
)" = 15
rm -rf -- "$alike" "$scratch/alike.iso"

exit "$status"
