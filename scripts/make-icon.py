#!/usr/bin/env python3
"""Draws PLIMZOR's icon (a ball beside a small square on a transparent
ground) at 16, 32 and 48 pixels and writes resources/plimzor.ico.

Run it again only to change the picture; the .ico is committed."""
import os
import struct
import sys


def pixel(size, x, y):
    """RGBA of the icon at (x, y), with y counted from the top."""
    # Sample 4x4 points per pixel for smooth edges.
    total = [0.0, 0.0, 0.0, 0.0]
    for sy in range(4):
        for sx in range(4):
            u = (x + (sx + 0.5) / 4) / size
            v = (y + (sy + 0.5) / 4) / size
            rgba = sample(u, v)
            if rgba:
                a = rgba[3]
                for i in range(3):
                    total[i] += rgba[i] * a
                total[3] += a
    if total[3] == 0:
        return (0, 0, 0, 0)
    return (int(total[0] / total[3]), int(total[1] / total[3]), int(total[2] / total[3]),
            int(round(total[3] / 16 * 255)))


def sample(u, v):
    # The ball: centre (0.40, 0.56), radius 0.36, black outline, lit from the top left.
    du, dv = u - 0.40, v - 0.56
    d = (du * du + dv * dv) ** 0.5
    if d <= 0.36:
        if d > 0.33:
            return (0, 0, 0, 1.0)
        light = max(0.0, 1.0 - ((u - 0.30) ** 2 + (v - 0.44) ** 2) ** 0.5 * 2.2)
        return (int(40 + 215 * light), int(120 + 135 * light), 255, 1.0)
    # The square: top right, black outline, warm orange.
    if 0.70 <= u <= 0.96 and 0.06 <= v <= 0.32:
        if u < 0.73 or u > 0.93 or v < 0.09 or v > 0.29:
            return (0, 0, 0, 1.0)
        return (255, 170, 40, 1.0)
    return None


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up, as DIBs are stored
        row = b''
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b''.join(rows)
    mask_stride = ((size + 31) // 32) * 4
    mask = b''
    for y in range(size - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(size):
            if pixel(size, x, y)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'plimzor.ico')
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    data = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
