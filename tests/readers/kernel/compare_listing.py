#!/usr/bin/env python3
"""Compares one mount of the reader machine's listing (guest_init.sh) with
the source folder that the image was built from.

    compare_listing.py LISTING DISK VIEW SOURCE [--extra PATH SIZE SHA256]...
                       [--boot-table PATH IMAGE]... [--contents-only]

VIEW is one of the mounts of the reader machine: rockridge, joliet or
iso9660 (the three views of an ISO 9660 volume, which the isofs driver reads
by default, with -o norock and with -o norock,nojoliet,map=off), folded (the
last with the driver's default map, lower case without versions; only with
--contents-only), or udf. Through udf
and rockridge every name must come back as in the source (as its bytes);
through joliet as the Joliet name Kestrel records (iso_identifiers.py), as
Linux shows it, without the version number; through iso9660 as the
identifier Kestrel records, version number included. Every folder, every
file size and every file's SHA-256 must match; files above 64 MiB are compared by the windows that the guest
reads (8 KiB at each multiple of 512 MiB, a third, half-way and the end).
--contents-only compares the names only by their number, all distinct, and
the files by their sizes and hashes, for a view whose names the checks do
not compute (ISO 9660 identifiers numbered to be unique). --extra names a
file that the image holds beyond the source, such as the
interleaved file of a stereoscopic Blu-ray title. --boot-table names a boot
file of the source whose copy in IMAGE carries the El Torito boot
information table: it must read back as the source with exactly its bytes 8
to 63 replaced by the table (primary descriptor sector 16, the file's sector
as the boot catalog gives it, its length, and the 32-bit sum of its words
from byte 64), computed here from the source.

The mount must have succeeded, and the drivers must have logged nothing
while the tree was read. Prints the differences and exits 1 when there are
any."""

import hashlib
import os
import sys
from collections import Counter

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from iso_identifiers import identifier, joliet_names  # noqa: E402

WHOLE_LIMIT = 64 << 20
WINDOW = 8192
STRIDE = 512 << 20
ALIGN = 4096


def section(listing, disk, fs):
    """The lines between BEGIN and END of one mount, and its END status."""
    with open(listing, "rb") as f:
        lines = [line.rstrip(b"\r") for line in f.read().split(b"\n")]
    begin = b"BEGIN %s %s" % (disk.encode(), fs.encode())
    end = b"END %s %s " % (disk.encode(), fs.encode())
    if begin not in lines:
        return None, None
    start = lines.index(begin) + 1
    for index in range(start, len(lines)):
        if lines[index].startswith(end):
            return lines[start:index], lines[index][len(end):]
    return lines[start:], None


def window_offsets(size):
    offsets = set(range(0, size, STRIDE))
    for point in (size // 3, size // 2, max(size - WINDOW, 0)):
        offsets.add(point // ALIGN * ALIGN)
    return sorted(offsets)


def file_lines(path, shown, size, read):
    lines = [b"S %d %s" % (size, shown)]
    if size <= WHOLE_LIMIT:
        lines.append(b"H %s  %s" % (hashlib.sha256(read(0, size)).hexdigest().encode(), shown))
    else:
        for offset in window_offsets(size):
            digest = hashlib.sha256(read(offset, WINDOW)).hexdigest().encode()
            lines.append(b"R %d %s %s" % (offset, digest, shown))
    return lines


def reader_of(path):
    def read(offset, length):
        with open(path, "rb") as f:
            f.seek(offset)
            return f.read(length)
    return read


def le32(data, offset):
    return int.from_bytes(data[offset:offset + 4], "little")


def tabled_copy(source_file, image):
    """The boot file as the image must hold it: the source's bytes with the
    boot information table in bytes 8 to 63. The file's sector is the one of
    the catalog's entries whose data in the image continues as the source
    does from byte 64."""
    with open(source_file, "rb") as f:
        data = f.read()
    padded = data + bytes(-len(data) % 4)
    checksum = sum(le32(padded, at) for at in range(64, len(padded), 4)) & 0xFFFFFFFF
    with open(image, "rb") as f:
        def sector(number, count=1):
            f.seek(number * 2048)
            return f.read(count * 2048)
        catalog = sector(le32(sector(17), 71))
        for entry in range(32, 2048, 32):
            if catalog[entry] != 0x88:
                continue
            location = le32(catalog, entry + 8)
            copy = sector(location, (len(data) + 2047) // 2048)[:len(data)]
            if copy[64:] == data[64:]:
                table = b"".join(v.to_bytes(4, "little") for v in (16, location, len(data), checksum))
                return data[:8] + table + bytes(40) + data[64:]
    sys.exit("FAIL: no boot catalog entry of %s points at %s" % (image, source_file))


def expected_lines(source, fs, tabled=None):
    lines = [b"D ."]
    tabled = tabled or {}

    def names_of(entries):
        if fs == "joliet":
            joliet = joliet_names([e.name for e in entries])
            return {e.name: joliet[e.name].encode("utf-8", "surrogateescape") for e in entries}
        if fs in ("iso9660", "folded"):
            return {e.name: identifier(e.name, e.is_dir(follow_symlinks=False)) for e in entries}
        return {e.name: os.fsencode(e.name) for e in entries}

    def walk(folder, shown):
        entries = list(os.scandir(folder))
        names = names_of(entries)
        for entry in entries:
            is_dir = entry.is_dir(follow_symlinks=False)
            child = shown + b"/" + names[entry.name]
            if is_dir:
                lines.append(b"D " + child)
                walk(entry.path, child)
            else:
                size = entry.stat(follow_symlinks=False).st_size
                read = reader_of(entry.path)
                copy = tabled.get(os.path.relpath(entry.path, source))
                if copy is not None:
                    read = lambda offset, length, copy=copy: copy[offset:offset + length]  # noqa: E731
                lines.extend(file_lines(entry.path, child, size, read))

    walk(source, b".")
    return lines


def extra_lines(extras, present):
    """Lines for files the image holds beyond the source: size and whole
    hash (they are small), and their folders when the source lacks them."""
    lines = []
    for path, size, digest in extras:
        shown = b"./" + os.fsencode(path).strip(b"/")
        parts = shown.split(b"/")
        for depth in range(2, len(parts)):
            folder = b"D " + b"/".join(parts[:depth])
            if folder not in present and folder not in lines:
                lines.append(folder)
        lines.append(b"S %d %s" % (int(size), shown))
        lines.append(b"H %s  %s" % (digest.encode(), shown))
    return lines


def without_names(lines):
    """The lines with their names left out: the kind of each entry, the size
    and hash of each file, in one order."""
    out = []
    for line in lines:
        kind = line[:1]
        if kind == b"D":
            out.append(b"D")
        elif kind == b"S":
            out.append(b" ".join(line.split(b" ", 2)[:2]))
        elif kind == b"H":
            out.append(line.split(b"  ", 1)[0])
        elif kind == b"R":
            out.append(b" ".join(line.split(b" ", 3)[:3]))
    return sorted(out)


def main(argv):
    if len(argv) < 5:
        sys.exit(__doc__)
    listing, disk, fs, source = argv[1:5]
    extras, tabled = [], {}
    contents_only = False
    at = 5
    while at < len(argv):
        if argv[at] == "--contents-only":
            contents_only = True
            at += 1
        elif argv[at] == "--extra" and at + 3 < len(argv):
            extras.append(argv[at + 1:at + 4])
            at += 4
        elif argv[at] == "--boot-table" and at + 2 < len(argv):
            path = os.path.normpath(argv[at + 1])
            tabled[path] = tabled_copy(os.path.join(source, path), argv[at + 2])
            at += 3
        else:
            sys.exit(__doc__)
    what = "%s %s (%s)" % (disk, fs, source)

    got, status = section(listing, disk, fs)
    if got is None:
        sys.exit("FAIL: the reader machine did not list %s" % what)
    problems = []
    if status != b"0":
        problems.append("the mount or a read failed (status %r)" % status)
    logged = [line for line in got if line.startswith(b"K ")]
    problems += ["the driver logged: %r" % line[2:] for line in logged]

    wanted = expected_lines(source, fs, tabled)
    wanted += extra_lines(extras, set(wanted))
    listed = sorted(line for line in got if line and not line.startswith(b"K "))
    listed_twice = len(listed) != len(set(listed))
    if contents_only:
        wanted, listed = without_names(wanted), without_names(listed)
    # As multisets: without names, two files of one size and hash are two
    # lines alike.
    missing = sorted((Counter(wanted) - Counter(listed)).elements())
    unexpected = sorted((Counter(listed) - Counter(wanted)).elements())
    problems += ["missing or different: %r" % line for line in missing]
    problems += ["not in the source: %r" % line for line in unexpected]
    if listed_twice:
        problems.append("some entries are listed twice")

    for problem in problems[:25]:
        print("FAIL: %s: %s" % (what, problem), file=sys.stderr)
    if len(problems) > 25:
        print("FAIL: %s: ... %d more" % (what, len(problems) - 25), file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
