"""What the ISO 9660 readers of check_iso9660.sh must see of a source folder,
in each view of an ISO 9660 volume, and the comparisons with what they show.

Views: "iso9660" (the primary identifiers, version included), "rockridge"
(the source names as their bytes) and "joliet" (the Joliet names, without
the version). A manifest line is "F<TAB>path-hex<TAB>size<TAB>sha256" for a
file and "D<TAB>path-hex" for a folder, paths joined by "/".

  iso_manifest.py expected SOURCE VIEW
  iso_manifest.py pycdlib IMAGE SOURCE VIEW
  iso_manifest.py listing MANIFEST READER all|files VIEW < LISTING
  iso_manifest.py contents MANIFEST READER FOLDER VIEW
"""
import hashlib
import os
import sys

from iso_identifiers import identifier, joliet_names

VIEWS = ("iso9660", "rockridge", "joliet")


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            block = f.read(1 << 20)
            if not block:
                break
            digest.update(block)
    return digest.hexdigest()


def names_in(entries, view):
    """The name each entry of one folder has in the view, as bytes."""
    if view == "joliet":
        joliet = joliet_names([e.name for e in entries])
        return {e.name: joliet[e.name].encode("utf-8", "surrogateescape") for e in entries}
    if view == "iso9660":
        return {e.name: identifier(e.name, e.is_dir(follow_symlinks=False)) for e in entries}
    return {e.name: os.fsencode(e.name) for e in entries}


def source_paths(source, view):
    """Path in the view -> (is folder, source path) for every source entry."""
    paths = {}

    def walk(folder, prefix):
        entries = sorted(os.scandir(folder), key=lambda e: e.name)
        names = names_in(entries, view)
        for entry in entries:
            is_dir = entry.is_dir(follow_symlinks=False)
            path = prefix + b"/" + names[entry.name]
            paths[path] = (is_dir, entry.path)
            if is_dir:
                walk(entry.path, path)

    walk(source, b"")
    return paths


def expected(source, view):
    lines = []
    for path, (is_dir, source_path) in source_paths(source, view).items():
        if is_dir:
            lines.append("D\t" + path.hex())
        else:
            lines.append("F\t%s\t%d\t%s" % (path.hex(), os.path.getsize(source_path),
                                             sha256_of(source_path)))
    return sorted(lines)


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
    """A file's bytes through its record and the records of its further
    extents, whatever its name."""
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


def record_name(record, view, in_root):
    """A record's name in the view; None for a record a reader of the view
    does not show (the Rock Ridge relocation folder of the root; pycdlib
    lists a relocated directory in its place under the record of its own)."""
    if view == "rockridge":
        if record.rock_ridge is None:
            return record.file_identifier()
        if in_root and record.rock_ridge.relocated_record():
            return None
        return record.rock_ridge.name()
    name = record.file_identifier()
    if view == "joliet":
        name = name.decode("utf-16-be", "surrogatepass")
        if name.endswith(";1"):
            name = name[:-2]
        return name.encode("utf-8", "surrogateescape")
    return name


def check_pycdlib(image, source, view):
    import pycdlib
    wanted = source_paths(source, view)
    iso = pycdlib.PyCdlib()
    iso.open(image)
    problems = []
    seen_paths = set()
    key = {"iso9660": "iso_path", "rockridge": "rr_path", "joliet": "joliet_path"}[view]
    encoding = "utf-8" if view != "iso9660" else "latin-1"

    def walk(path):
        seen = set()
        shown = path.decode(encoding, "surrogateescape") or "/"
        for record in iso.list_children(**{key: shown}):
            if record.is_dot() or record.is_dotdot():
                continue
            name = record_name(record, view, path == b"")
            # A multi-extent file has one record per extent; read it once.
            if name is None or name in seen:
                continue
            seen.add(name)
            child = path + b"/" + name
            seen_paths.add(child)
            if child not in wanted:
                problems.append("pycdlib (%s) lists %r, which is not in the source" % (view, child))
                continue
            is_dir, source_path = wanted[child]
            if is_dir != record.is_dir():
                problems.append("pycdlib (%s): %r has the wrong type" % (view, child))
            elif is_dir:
                walk(child)
            else:
                out = ComparingWriter(source_path)
                read_by_record(record, out)
                if not out.finish():
                    problems.append("pycdlib (%s): %r differs from the source (%d bytes read)" %
                                    (view, child, out.size))

    walk(b"")
    iso.close()
    for missing in sorted(set(wanted) - seen_paths):
        problems.append("pycdlib (%s) does not list %r" % (view, missing))
    return problems


def read_manifest(path):
    entries = []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            entries.append((fields[0], bytes.fromhex(fields[1]), *fields[2:]))
    return entries


def shown(path, view):
    """A path as readers show it: without versions; ISO 9660 identifiers
    in one case, as readers fold them."""
    parts = path.strip(b"/").split(b"/")
    if view != "rockridge":
        parts = [p[:-2] if p.endswith(b";1") else p for p in parts]
    joined = b"/".join(parts)
    return joined.upper() if view == "iso9660" else joined


def check_listing(manifest, reader, mode, view, listing):
    """`listing`: one path per line. mode "all": folders and files, "files":
    files only; "all-ascii": folders and files, those whose paths are not
    all ASCII by their number only (for a reader that shows them in an
    8-bit character set)."""
    entries = read_manifest(manifest)
    wanted = [e for e in entries if mode != "files" or e[0] == "F"]
    got = []
    for line in listing.split(b"\n"):
        line = line.rstrip(b"\r")
        if line.startswith(b"'") and line.endswith(b"'"):
            line = line[1:-1]
        if line.startswith(b"./"):
            line = line[1:]
        line = line.rstrip(b"/")
        if line in (b"", b"/", b"."):
            continue
        got.append(shown(line, view))
    problems = []
    if len(got) != len(wanted):
        problems.append("%s lists %d entries, expected %d" % (reader, len(got), len(wanted)))
    got_set = set(got)
    for e in wanted:
        if mode == "all-ascii" and any(b >= 0x80 for b in e[1]):
            continue
        if shown(e[1], view) not in got_set:
            problems.append("%s does not list %r" % (reader, e[1]))
    return problems


def check_contents(manifest, reader, folder, view):
    """Files extracted into `folder`: each at its place with its bytes."""
    entries = [e for e in read_manifest(manifest) if e[0] == "F"]
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            full = os.path.join(root, name)
            rel = os.fsencode(os.path.relpath(full, folder))
            found[shown(rel, view)] = (str(os.path.getsize(full)), sha256_of(full))
    problems = []
    if len(found) != len(entries):
        problems.append("%s extracted %d files, expected %d" % (reader, len(found), len(entries)))
    for e in entries:
        if found.get(shown(e[1], view)) != (e[2], e[3]):
            problems.append("%s: %r differs or is missing" % (reader, e[1]))
    return problems


def main():
    command = sys.argv[1]
    if command == "expected":
        print("\n".join(expected(sys.argv[2], sys.argv[3])))
        return
    if command == "pycdlib":
        problems = check_pycdlib(sys.argv[2], sys.argv[3], sys.argv[4])
    elif command == "listing":
        problems = check_listing(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5],
                                 sys.stdin.buffer.read())
    else:
        problems = check_contents(sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5])
    for p in problems[:20]:
        print("FAIL: " + p, file=sys.stderr)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
