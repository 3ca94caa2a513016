#!/usr/bin/env python3
"""Writes the desktop picture the demo and the end-to-end tests put behind
the saver: a 24-bit BMP with soft colour bands, a grid and a few discs, so
that the tiling and scrolling of the desktop seen through the shapes is easy
to follow. Usage: make-wallpaper.py OUT.bmp [WIDTHxHEIGHT] [#RRGGBB]
With a colour, the picture is that one colour (for exact pixel checks)."""
import math
import struct
import sys


def main():
    out = sys.argv[1]
    width, height = (int(v) for v in (sys.argv[2] if len(sys.argv) > 2 else '1024x768').split('x'))
    solid = None
    if len(sys.argv) > 3:
        c = sys.argv[3].lstrip('#')
        solid = (int(c[0:2], 16), int(c[2:4], 16), int(c[4:6], 16))
    stride = (width * 3 + 3) & ~3
    rows = []
    discs = [(0.25, 0.30, 0.12, (255, 220, 60)), (0.70, 0.62, 0.18, (90, 230, 255)),
             (0.45, 0.80, 0.10, (255, 120, 200))]
    for y in range(height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(width):
            if solid:
                r, g, b = solid
            else:
                u, v = x / width, y / height
                r = int(128 + 110 * math.sin(6.28 * u))
                g = int(128 + 110 * math.sin(6.28 * (v + 0.33)))
                b = int(128 + 110 * math.sin(6.28 * (u + v + 0.66)))
                for cx, cy, rad, col in discs:
                    if (u - cx) ** 2 * (width / height) ** 2 + (v - cy) ** 2 < rad * rad:
                        r, g, b = col
                if x % 64 == 0 or y % 64 == 0:
                    r, g, b = 255, 255, 255
            row[x * 3:x * 3 + 3] = bytes((b, g, r))
        rows.append(bytes(row))
    pixels = b''.join(rows)
    header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(out, 'wb') as f:
        f.write(header + info + pixels)


if __name__ == '__main__':
    main()
