#!/usr/bin/env python3
"""Draws the program's icon and writes it as a multi-size .ico file.

A blue tile holding a white page of log lines; the newest line is orange.
Every edge is an exact rounded rectangle, anti-aliased by its distance to
the pixel centre, and straight edges are snapped to whole pixels so the
small sizes stay sharp. Only the standard library is used and nothing
depends on the time or the machine, so the same script gives the same bytes.

Usage: draw_icon.py OUTPUT.ico
"""

import math
import struct
import sys
import zlib

# 16 and 32 for lists and the title bar at 100 %, 24 and 48 for 150 %,
# 64 and 256 for large icon views and high-dpi screens.
SIZES = (16, 24, 32, 48, 64, 256)
# Larger images are stored as PNG, as Windows Vista and later read them.
PNG_FROM = 256

TILE_TOP = (0x2F, 0x7A, 0xC8)
TILE_BOTTOM = (0x1B, 0x4D, 0x8C)
PAGE = (0xFF, 0xFF, 0xFF)
LINE = (0x6E, 0x80, 0x99)
NEWEST = (0xF2, 0x8C, 0x12)


def rounded_box_distance(px, py, left, top, right, bottom, radius):
    """Signed distance in pixels from (px, py) to a rounded rectangle."""
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def coverage(distance):
    return min(1.0, max(0.0, 0.5 - distance))


def shapes(size):
    """The icon as (box, radius, colour) layers, back to front, in pixels.

    A colour may be a function of the row, for the tile's gradient."""
    def snap(value):
        return float(round(value * size))

    def gradient(y):
        t = min(1.0, max(0.0, y / size))
        return tuple(a + (b - a) * t for a, b in zip(TILE_TOP, TILE_BOTTOM))

    layers = [((snap(0.03), snap(0.03), snap(0.97), snap(0.97)), 0.19 * size, gradient)]
    layers.append(((snap(0.20), snap(0.13), snap(0.80), snap(0.87)), 0.06 * size, PAGE))
    # Fewer, thicker lines when there are few pixels to draw them with.
    if size <= 24:
        rows = ((0.27, 0.67), (0.45, 0.57), (0.63, 0.71))
        thickness = 2.0 / 16
    else:
        rows = ((0.24, 0.68), (0.37, 0.58), (0.50, 0.66), (0.63, 0.52))
        thickness = 0.07
    for index, (top, right) in enumerate(rows):
        bottom = top + thickness
        colour = NEWEST if index == len(rows) - 1 else LINE
        layers.append(((snap(0.29), snap(top), snap(right), snap(bottom)), 0.0, colour))
    return layers


def render(size):
    """Rows of (r, g, b, a) bytes, top row first, straight (not premultiplied) alpha."""
    layers = shapes(size)
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            r = g = b = a = 0.0  # premultiplied while compositing
            for (left, top, right, bottom), radius, colour in layers:
                cover = coverage(rounded_box_distance(px, py, left, top, right, bottom, radius))
                if cover <= 0.0:
                    continue
                cr, cg, cb = colour(py) if callable(colour) else colour
                r = cr * cover + r * (1 - cover)
                g = cg * cover + g * (1 - cover)
                b = cb * cover + b * (1 - cover)
                a = cover + a * (1 - cover)
            if a > 0:
                row.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def bitmap_image(size, pixels):
    """A 32-bit DIB with its AND mask, as an .ico stores it: bottom row first."""
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         size * size * 4 + mask_stride * size, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (r, g, b, a) in enumerate(row):
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def png_image(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = bytearray()
    for row in pixels:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def icon_file(sizes):
    images = []
    for size in sizes:
        pixels = render(size)
        images.append(png_image(size, pixels) if size >= PNG_FROM else bitmap_image(size, pixels))
    directory = struct.pack("<HHH", 0, 1, len(sizes))
    offset = len(directory) + 16 * len(sizes)
    entries = b""
    for size, image in zip(sizes, images):
        side = size if size < 256 else 0  # 0 stands for 256
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], "wb") as out:
        out.write(icon_file(SIZES))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
