#!/usr/bin/env python3
"""Writes the seed corpora of fuzz_forwarded_command_line and
fuzz_stereo_folder under tests/fuzz/corpus (a few small files each).

    tests/fuzz/make_seed_corpus.py

Forwarded command-line blocks are laid out as the sender makes them: the
current directory and the command line as UTF-16LE, each with its NUL, in a
zero-filled block of 2 x (line length) + 522 bytes.

Movie folders come from tools/make_bluray_folder.py and are packed in the
fuzz target's input format: four u32 LE stream sizes (00001.m2ts to
00004.m2ts; 0xFFFFFFFF for the size the clip information declares), then index.bdmv, PLAYLIST/00000.mpls, PLAYLIST/00001.mpls and
CLIPINF/00001.clpi to 00004.clpi, each as a u16 LE length and its bytes
(0xFFFF for a file that is left out). Standard library only.
"""

import importlib.util
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
DIRECTORY_CHARS = 261
ABSENT = 0xFFFF
SIZE_FROM_CLIP_INFO = 0xFFFFFFFF


def command_line_block(directory, line):
    block = bytearray(2 * len(line) + 2 * DIRECTORY_CHARS)
    encoded_directory = directory.encode("utf-16-le")
    block[0:len(encoded_directory)] = encoded_directory
    start = len(encoded_directory) + 2
    encoded_line = line.encode("utf-16-le")
    block[start:start + len(encoded_line)] = encoded_line
    return bytes(block)


COMMAND_LINES = {
    "output_and_label": ("C:\\Users\\me",
                         '"C:\\Program Files\\Kestrel\\kestrel.exe" "d:\\foo" -output "d:\\foo.iso" -label "foo"'),
    "drive_root": ("D:\\", 'kestrel.exe "D:\\" /L "My Disc"'),
    "escaped_quotes": ("C:\\", 'kestrel.exe a\\\\\\"b "c d"" e" -o'),
}


def packed_folder(folder, playlists, sizes_from_clip_info=False):
    def read(relative):
        path = os.path.join(folder, "BDMV", relative)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    out = bytearray()
    for clip in range(1, 5):
        path = os.path.join(folder, "BDMV", "STREAM", "%05d.m2ts" % clip)
        if sizes_from_clip_info:
            out += struct.pack("<I", SIZE_FROM_CLIP_INFO)
        else:
            out += struct.pack("<I", os.path.getsize(path) if os.path.exists(path) else 0)
    files = [read("index.bdmv")] + playlists(read("PLAYLIST/00000.mpls"))
    files += [read("CLIPINF/%05d.clpi" % clip) for clip in range(1, 5)]
    for data in files:
        if data is None:
            out += struct.pack("<H", ABSENT)
        else:
            out += struct.pack("<H", len(data)) + data
    return bytes(out)


def stereo_seeds(scratch):
    seeds = {}
    variants = {
        "stereo_three_extents": ["--stereo", "--packets", "1536"],
        "stereo_one_extent": ["--stereo", "--packets", "96", "--extents", "1"],
        "plain": ["--packets", "96"],
    }
    for name, arguments in variants.items():
        folder = os.path.join(scratch, name)
        subprocess.run([sys.executable, os.path.join(REPO, "tools", "make_bluray_folder.py"), folder]
                       + arguments, check=True)
        seeds[name] = packed_folder(folder, lambda playlist: [playlist, None])
    # The same pairing in two playlists, and streams sized after their clip
    # information.
    seeds["stereo_two_playlists"] = packed_folder(os.path.join(scratch, "stereo_one_extent"),
                                                  lambda playlist: [playlist, playlist])
    seeds["stereo_sizes_from_clip_info"] = packed_folder(os.path.join(scratch, "stereo_three_extents"),
                                                         lambda playlist: [playlist, None], True)
    seeds["stereo_extents_beyond_one_descriptor"] = large_extent_seed()
    return seeds


def large_extent_seed():
    """Two extents of 6,000,000 source packets per clip: each extent is
    longer than one allocation descriptor can hold (0x7FFFE sectors), so the
    arrangement cuts it. The streams are sized after the clip information
    (sparse, about 2.3 GB each); only the navigation files are in the seed."""
    spec = importlib.util.spec_from_file_location("make_bluray_folder",
                                                  os.path.join(REPO, "tools", "make_bluray_folder.py"))
    folder = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(folder)
    out_time = folder.TITLE_SECONDS * folder.TICKS_45KHZ
    extent_packets = 6000000
    packets = 2 * extent_packets
    points = [0, extent_packets]
    files = [folder.index_file(True), folder.playlist_file(True, out_time), None,
             folder.clip_info_file(packets, folder.VIDEO_PID, folder.CODING_H264, out_time, points),
             folder.clip_info_file(packets, folder.DEPENDENT_VIDEO_PID, folder.CODING_MVC, out_time, points),
             None, None]
    out = bytearray(struct.pack("<IIII", SIZE_FROM_CLIP_INFO, SIZE_FROM_CLIP_INFO, 0, 0))
    for data in files:
        out += struct.pack("<H", ABSENT) if data is None else struct.pack("<H", len(data)) + data
    return bytes(out)


def write_corpus(name, seeds):
    folder = os.path.join(HERE, "corpus", name)
    os.makedirs(folder, exist_ok=True)
    for seed, data in seeds.items():
        with open(os.path.join(folder, seed), "wb") as f:
            f.write(data)


def main():
    write_corpus("fuzz_forwarded_command_line",
                 {name: command_line_block(*value) for name, value in COMMAND_LINES.items()})
    with tempfile.TemporaryDirectory() as scratch:
        write_corpus("fuzz_stereo_folder", stereo_seeds(scratch))
    return 0


if __name__ == "__main__":
    sys.exit(main())
