#!/usr/bin/env python3
"""Draws the program's icon (a script page swept by a broom, on a blue tile) and writes resivex.ico with
48x48, 32x32 and 16x16 images (32-bit with alpha). Only the standard library: run it again after a change
of the drawing, and commit the .ico. With --png DIR it also writes each size as a PNG, to look at."""

import struct
import sys
import zlib
from pathlib import Path

SIZES = (48, 32, 16)
SAMPLES = 8  # samples per pixel side, for smooth edges


def in_rounded_rect(x, y, x0, y0, x1, y1, r):
    if not (x0 <= x <= x1 and y0 <= y <= y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_polygon(x, y, points):
    inside = False
    n = len(points)
    for i in range(n):
        (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
        if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
            inside = not inside
    return inside


def in_capsule(x, y, a, b, width):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2


PAGE = [(0.17, 0.12), (0.55, 0.12), (0.70, 0.27), (0.70, 0.86), (0.17, 0.86)]
FOLD = [(0.55, 0.12), (0.55, 0.27), (0.70, 0.27)]
BRISTLES = [(0.50, 0.60), (0.70, 0.78), (0.60, 0.95), (0.33, 0.83)]
BINDING = [(0.52, 0.57), (0.73, 0.77), (0.69, 0.81), (0.48, 0.61)]


def colour_at(x, y):
    """The colour (r, g, b, a) of the drawing at (x, y), both in 0..1 from the top left."""
    c = None
    if in_rounded_rect(x, y, 0.03, 0.03, 0.97, 0.97, 0.18):
        t = y
        c = (int(52 - 28 * t), int(132 - 54 * t), int(212 - 62 * t), 255)
    if in_polygon(x, y, PAGE):
        c = (250, 251, 253, 255)
        if in_polygon(x, y, FOLD):
            c = (196, 208, 226, 255)
        for top in (0.36, 0.49, 0.62):
            if 0.25 <= x <= 0.58 and top <= y <= top + 0.055:
                c = (104, 128, 166, 255)
    if in_capsule(x, y, (0.89, 0.20), (0.60, 0.68), 0.085):
        c = (128, 78, 34, 255)
    if in_polygon(x, y, BRISTLES):
        c = (247, 170, 38, 255)
        # Strands: darker streaks along the sweep.
        if int((x - y * 0.55) * 40) % 3 == 0:
            c = (214, 128, 20, 255)
    if in_polygon(x, y, BINDING):
        c = (178, 34, 34, 255)
    return c


def render(size):
    """Rows of (r, g, b, a), top row first, averaged over SAMPLES x SAMPLES points per pixel."""
    rows = []
    n = SAMPLES * SAMPLES
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    if c is not None:
                        r += c[0] * c[3]
                        g += c[1] * c[3]
                        b += c[2] * c[3]
                        a += c[3]
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(a / n)))
        rows.append(row)
    return rows


def dib(rows):
    """An icon image: BITMAPINFOHEADER, 32-bit BGRA rows bottom-up, then the 1-bit AND mask."""
    size = len(rows)
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + bytes(mask)


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = Path(__file__).resolve().parent
    images = {size: render(size) for size in SIZES}
    blobs = [dib(images[size]) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(SIZES))
    offset = 6 + 16 * len(SIZES)
    for size, blob in zip(SIZES, blobs):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    (here / "resivex.ico").write_bytes(out + b"".join(blobs))
    if len(sys.argv) == 3 and sys.argv[1] == "--png":
        for size in SIZES:
            (Path(sys.argv[2]) / f"resivex-{size}.png").write_bytes(png(images[size]))


if __name__ == "__main__":
    main()
