#!/usr/bin/env python3
"""Draws the program icon (a thermometer on a dark rounded tile) as a multi-size .ico with PNG frames.

Usage: make_icon.py OUTPUT.ico
"""
import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
TILE = (0x1E, 0x24, 0x2E)
GLASS = (0xE8, 0xEC, 0xF1)
HOT = (0xFF, 0x6A, 0x2B)


def rounded_box(px, py, x0, y0, x1, y1, r):
    """Signed distance to a rounded rectangle (negative inside)."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    dx, dy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(dx, 0), max(dy, 0))
    return outside + min(max(dx, dy), 0) - r


def capsule(px, py, x, y0, y1, r):
    """Signed distance to a vertical capsule from (x, y0) to (x, y1)."""
    cy = min(max(py, y0), y1)
    return math.hypot(px - x, py - cy) - r


def shade(u, v):
    """Colour and alpha at unit coordinates (0..1) of the icon."""
    layers = []
    layers.append((rounded_box(u, v, 0.04, 0.04, 0.96, 0.96, 0.2), TILE))
    bulb_y, bulb_r = 0.72, 0.15
    glass = min(capsule(u, v, 0.5, 0.16, bulb_y, 0.085), math.hypot(u - 0.5, v - bulb_y) - bulb_r)
    layers.append((glass, GLASS))
    fill = min(capsule(u, v, 0.5, 0.36, bulb_y, 0.045), math.hypot(u - 0.5, v - bulb_y) - bulb_r + 0.04)
    layers.append((fill, HOT))
    return layers


def render(size):
    samples = 4
    rows = []
    for y in range(size):
        row = bytearray([0])  # PNG filter byte
        for x in range(size):
            r = g = b = a = 0.0
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    cr = cg = cb = ca = 0.0
                    for dist, colour in shade(u, v):
                        if dist <= 0:
                            cr, cg, cb, ca = colour[0], colour[1], colour[2], 1.0
                    r += cr * ca
                    g += cg * ca
                    b += cb * ca
                    a += ca
            n = samples * samples
            if a > 0:
                row += bytes([round(r / a), round(g / a), round(b / a), round(255 * a / n)])
            else:
                row += bytes([0, 0, 0, 0])
        rows.append(bytes(row))
    return png(size, size, b"".join(rows))


def png(width, height, raw):
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    frames = [render(s) for s in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(frames)))
    offset = 6 + 16 * len(frames)
    for size, data in zip(SIZES, frames):
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in frames:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
