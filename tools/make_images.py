#!/usr/bin/env python3
"""Draws the Windows program's images with the standard library only:
resources/kestrel.ico (program icon, 16, 32, 48 and 64 pixels) and
resources/buttons.bmp (80 x 16 strip of five 16 x 16 button images:
options, target, source, target disabled, source disabled; transparent
pixels hold the mask colour STRIP_MASK, magenta).

Shapes are described in a unit square and rendered with 4 x 4 supersampling,
so every size is drawn from the same geometry. Output is 32-bit BGRA."""

import math
import os
import struct
import sys

SUPERSAMPLE = 4
# Colour of fully transparent pixels of the icon (its AND mask hides them).
BACKDROP = (240, 240, 240)
# Mask colour of the button strip: the program loads the strip into an image
# list with this colour as its mask, so the images sit on the button face of
# either theme. Pixels less than half covered become mask pixels; the rest
# keep their colour and coverage (renderers that use the alpha channel blend
# the edges, mask-only renderers draw them solid).
STRIP_MASK = (255, 0, 255)


def blend(dst, src):
    """Source-over blend of straight-alpha RGBA colours (0..1 floats)."""
    sa = src[3]
    da = dst[3]
    out_a = sa + da * (1 - sa)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = tuple((src[i] * sa + dst[i] * da * (1 - sa)) / out_a for i in range(3))
    return rgb + (out_a,)


def render(size, shapes):
    """Renders shapes (functions (x, y) -> RGBA or None, in unit coordinates)
    into size x size RGBA rows, top row first."""
    n = size * SUPERSAMPLE
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px * SUPERSAMPLE + sx + 0.5) / n
                    y = (py * SUPERSAMPLE + sy + 0.5) / n
                    colour = (0.0, 0.0, 0.0, 0.0)
                    for shape in shapes:
                        c = shape(x, y)
                        if c is not None:
                            colour = blend(colour, c)
                    a = colour[3]
                    for i in range(3):
                        acc[i] += colour[i] * a
                    acc[3] += a
            samples = SUPERSAMPLE * SUPERSAMPLE
            alpha = acc[3] / samples
            if alpha > 0:
                rgb = tuple(acc[i] / acc[3] for i in range(3))
            else:
                rgb = tuple(v / 255 for v in BACKDROP)
            row.append(tuple(int(round(v * 255)) for v in rgb) + (int(round(alpha * 255)),))
        rows.append(row)
    return rows


def rgb(hex_text, alpha=1.0):
    v = int(hex_text, 16)
    return ((v >> 16 & 255) / 255, (v >> 8 & 255) / 255, (v & 255) / 255, alpha)


def circle(cx, cy, r, colour):
    return lambda x, y: colour if (x - cx) ** 2 + (y - cy) ** 2 <= r * r else None


def ring(cx, cy, r_outer, r_inner, colour_fn):
    def shape(x, y):
        d = math.hypot(x - cx, y - cy)
        if r_inner <= d <= r_outer:
            return colour_fn(x, y, d)
        return None
    return shape


def rect(x0, y0, x1, y1, colour):
    return lambda x, y: colour if x0 <= x <= x1 and y0 <= y <= y1 else None


def polygon(points, colour):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return lambda x, y: colour if inside(x, y) else None


def disc_shapes(accent):
    """An optical disc: silver surface with a rainbow-free sheen, a clear hub."""
    def surface(x, y, d):
        angle = math.atan2(y - 0.5, x - 0.5)
        sheen = 0.5 + 0.5 * math.cos(2 * angle - 0.8)
        base = 0.70 + 0.25 * sheen
        return (base * 0.92, base * 0.95, base, 1.0)
    return [
        circle(0.5, 0.5, 0.47, rgb("5a6470")),
        ring(0.5, 0.5, 0.44, 0.17, surface),
        ring(0.5, 0.5, 0.17, 0.08, lambda x, y, d: rgb("c9d2dc")),
        ring(0.5, 0.5, 0.08, 0.0, lambda x, y, d: (0, 0, 0, 0)),
        circle(0.5, 0.5, 0.06, (0, 0, 0, 0)),
    ]


def icon_shapes():
    """The program icon: a disc with a kestrel-orange wing stroke across it."""
    shapes = disc_shapes(rgb("d9822b"))
    wing = polygon([(0.10, 0.62), (0.55, 0.30), (0.95, 0.18), (0.62, 0.42), (0.30, 0.70)], rgb("d9822b"))
    tip = polygon([(0.55, 0.30), (0.95, 0.18), (0.78, 0.30)], rgb("8c4a12"))
    return shapes + [wing, tip]


def options_shapes(colour):
    # Three bars: the menu symbol.
    return [rect(0.16, y, 0.84, y + 0.12, colour) for y in (0.22, 0.44, 0.66)]


def folder_shapes(body, tab):
    return [
        polygon([(0.06, 0.22), (0.40, 0.22), (0.48, 0.32), (0.94, 0.32), (0.94, 0.84), (0.06, 0.84)], tab),
        rect(0.06, 0.40, 0.94, 0.84, body),
    ]


def target_shapes(disc_colour, arrow_colour):
    return [
        circle(0.5, 0.56, 0.40, disc_colour),
        circle(0.5, 0.56, 0.10, (0, 0, 0, 0)),
        ring(0.5, 0.56, 0.09, 0.0, lambda x, y, d: (1, 1, 1, 0)),
        polygon([(0.38, 0.02), (0.62, 0.02), (0.62, 0.24), (0.76, 0.24), (0.5, 0.46), (0.24, 0.24),
                 (0.38, 0.24)], arrow_colour),
    ]


def transparent_centre(rows, size, radius):
    """Clears the disc's centre hole (the blend cannot subtract alpha)."""
    c = (size - 1) / 2
    for y in range(size):
        for x in range(size):
            if math.hypot(x - c, y - c) < radius * size:
                rows[y][x] = BACKDROP + (0,)
    return rows


def keyed_strip(rows):
    """Turns the strip's transparent and barely covered pixels into the mask colour."""
    return [[STRIP_MASK + (0,) if a < 128 else (r, g, b, a) for r, g, b, a in row] for row in rows]


def bmp_pixels(rows):
    """Bottom-up BGRA bytes."""
    out = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            out += bytes((b, g, r, a))
    return bytes(out)


def write_bmp(path, rows):
    height = len(rows)
    width = len(rows[0])
    pixels = bmp_pixels(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    with open(path, "wb") as f:
        f.write(file_header + header + pixels)


def ico_image(rows):
    size = len(rows)
    pixels = bmp_pixels(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    # The icon's BITMAPINFOHEADER counts the colour and mask halves in height.
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + bytes(mask)


def write_ico(path, images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    data = b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    with open(path, "wb") as f:
        f.write(directory + entries + data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    images = []
    for size in (16, 32, 48, 64):
        rows = transparent_centre(render(size, icon_shapes()), size, 0.06)
        images.append((size, ico_image(rows)))
    write_ico(os.path.join(out, "kestrel.ico"), images)

    grey = rgb("9a9a9a")
    light_grey = rgb("c4c4c4")
    strip_parts = [
        render(16, options_shapes(rgb("6f7b88"))),
        render(16, target_shapes(rgb("7f8c99"), rgb("2f7fd0"))),
        render(16, folder_shapes(rgb("f0c24b"), rgb("d9a22b"))),
        render(16, target_shapes(light_grey, grey)),
        render(16, folder_shapes(light_grey, grey)),
    ]
    strip = [sum((part[y] for part in strip_parts), []) for y in range(16)]
    write_bmp(os.path.join(out, "buttons.bmp"), keyed_strip(strip))


if __name__ == "__main__":
    main()
