#!/usr/bin/env python3
"""Converts the 24-bit BMP window captures of the GUI tests to PNG with the
standard library only: bmp_to_png.py <from-folder> <to-folder> name..."""

import os
import struct
import sys
import zlib


def convert(source, target):
    data = open(source, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise SystemExit(f"{source}: {bits}-bit images are not handled")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        row_index = abs(height) - 1 - y if height > 0 else y
        row = data[offset + row_index * stride: offset + row_index * stride + width * 3]
        rgb = bytearray(width * 3)
        rgb[0::3] = row[2::3]
        rgb[1::3] = row[1::3]
        rgb[2::3] = row[0::3]
        rows.append(b"\x00" + bytes(rgb))

    def chunk(kind, payload):
        return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
    png += chunk(b"IEND", b"")
    with open(target, "wb") as f:
        f.write(png)


def main():
    source_dir, target_dir, *names = sys.argv[1:]
    for name in names:
        source = os.path.join(source_dir, name + ".bmp")
        if os.path.exists(source):
            convert(source, os.path.join(target_dir, name + ".png"))
        else:
            print(f"bmp_to_png: {source} missing", file=sys.stderr)


if __name__ == "__main__":
    main()
