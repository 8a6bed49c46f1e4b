#!/usr/bin/env python3
"""Draws the program's two icons (107 large, 108 small) as 32-bit .ico files.

The picture: a teal disc with a white bar and three nodes on it, a bus with
stations. Run it again only to change the picture; the .ico files are checked in.
"""
import math
import struct
import sys
from pathlib import Path


def pixel(x, y, size):
    """RGBA of one pixel, with a soft edge on the disc."""
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    d = math.hypot(x - c, y - c)
    if d > r + 0.5:
        return (0, 0, 0, 0)
    alpha = int(255 * max(0.0, min(1.0, r + 0.5 - d)))
    colour = (0x1F, 0x7A, 0x8C)
    bar_half = max(1, size // 16)
    if abs(y - c) <= bar_half and abs(x - c) <= r * 0.72:
        colour = (0xFF, 0xFF, 0xFF)
    node_r = max(1.5, size / 9.0)
    for nx in (c - r * 0.5, c, c + r * 0.5):
        if math.hypot(x - nx, y - c) <= node_r:
            colour = (0xFF, 0xD1, 0x4A) if nx == c else (0xFF, 0xFF, 0xFF)
    return colour + (alpha,)


def ico(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up, as a BMP
        row = b"".join(struct.pack("BBBB", b, g, r, a)
                       for r, g, b, a in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    mask_stride = ((size + 31) // 32) * 4
    image = (struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
             + b"".join(rows) + b"\0" * (mask_stride * size))
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return header + entry + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent
    (out / "icon_large.ico").write_bytes(ico(32))
    (out / "icon_small.ico").write_bytes(ico(16))


if __name__ == "__main__":
    main()
