#!/usr/bin/env python3
"""Writes the benchmark source trees: the same bytes and names on every run.

  make_workloads.py DEST [WORKLOAD ...]

Workloads (all files written in full, none sparse):
  big       3 files of 1 GiB
  mixed     2,000 files, 1 GB in all, in 200 folders
  small     50,000 files of 0-8 KB in 2,500 folders
  wide20k   20,000 files of 0-4 KB in one folder
  wide100k  100,000 files of 0-4 KB in one folder
  million   1,000,000 empty files in 1,000 folders (peak memory of the tree)

A tree that is already complete (its marker file exists) is left as it is.
"""
import os
import random
import sys

MIB = 1 << 20
MARKER = ".complete"


def block_source(seed):
    """1 MiB of seeded random bytes; each block written differs in its head."""
    return random.Random(seed).randbytes(MIB)


def write_file(path, size, block, index):
    with open(path, "wb", buffering=0) as out:
        left = size
        part = 0
        while left > 0:
            chunk = min(left, MIB)
            head = (index * 1_000_003 + part).to_bytes(8, "little")
            out.write(head[:chunk] + block[8:chunk] if chunk > 8 else head[:chunk])
            left -= chunk
            part += 1


def shuffled_names(count, prefix, seed):
    """Names created in a shuffled order, so no listing order is sorted."""
    names = [f"{prefix}{i:07d}.bin" for i in range(count)]
    random.Random(seed).shuffle(names)
    return names


def make_big(root):
    block = block_source(1)
    for i in range(3):
        write_file(os.path.join(root, f"movie{i}.bin"), 1 << 30, block, i)


def make_mixed(root):
    rng = random.Random(2)
    block = block_source(2)
    folders = []
    for i in range(200):
        parent = folders[rng.randrange(len(folders))] if folders and i % 4 else root
        folder = os.path.join(parent, f"folder {i:03d}")
        os.makedirs(folder)
        folders.append(folder)
    # Sizes spread over five orders of magnitude, scaled to 1 GB in all.
    weights = [10 ** rng.uniform(0, 5) for _ in range(2000)]
    scale = 1_000_000_000 / sum(weights)
    for i, weight in enumerate(weights):
        folder = folders[i % len(folders)]
        write_file(os.path.join(folder, f"file {i:04d}.dat"), int(weight * scale), block, i)


def make_small(root):
    rng = random.Random(3)
    block = block_source(3)
    index = 0
    for top in range(50):
        for sub in range(50):
            folder = os.path.join(root, f"d{top:02d}", f"s{sub:02d}")
            os.makedirs(folder)
            for name in shuffled_names(20, "f", index):
                write_file(os.path.join(folder, name), rng.randrange(8193), block, index)
                index += 1


def make_wide(root, count, seed):
    rng = random.Random(seed)
    block = block_source(seed)
    for index, name in enumerate(shuffled_names(count, "entry_", seed)):
        write_file(os.path.join(root, name), rng.randrange(4097), block, index)


def make_million(root):
    for folder in range(1000):
        path = os.path.join(root, f"f{folder:03d}")
        os.makedirs(path)
        for name in shuffled_names(1000, "n", folder):
            os.close(os.open(os.path.join(path, name), os.O_CREAT | os.O_WRONLY, 0o644))


WORKLOADS = {
    "big": make_big,
    "mixed": make_mixed,
    "small": make_small,
    "wide20k": lambda root: make_wide(root, 20_000, 4),
    "wide100k": lambda root: make_wide(root, 100_000, 5),
    "million": make_million,
}


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    dest = sys.argv[1]
    names = sys.argv[2:] or ["big", "mixed", "small", "wide20k", "wide100k"]
    for name in names:
        if name not in WORKLOADS:
            print(f"unknown workload {name}", file=sys.stderr)
            return 2
        root = os.path.join(dest, name)
        if os.path.exists(os.path.join(dest, name + MARKER)):
            continue
        if os.path.exists(root):
            print(f"{root} exists but is incomplete: remove it first", file=sys.stderr)
            return 1
        os.makedirs(root)
        print(f"writing {name} ...", flush=True)
        WORKLOADS[name](root)
        open(os.path.join(dest, name + MARKER), "w").close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
