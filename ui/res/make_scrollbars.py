#!/usr/bin/env python3
"""Draws the library's default scroll-bar thumb images as PNG strips.

Each strip holds four frames side by side: normal, hover, pressed, disabled. A frame is a rounded bar with a
soft edge; the horizontal bar is 32 x 8 pixels per frame, the vertical one 8 x 32.

Usage: make_scrollbars.py OUTPUT_DIR   (writes scroll_h.png and scroll_v.png)
"""
import math
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "skins", "tools"))
from make_icon import png  # noqa: E402  (the project's one PNG writer)

LONG, SHORT = 32, 8
# (grey level, opacity) of the four states.
STATES = ((0x9E, 200), (0x7A, 230), (0x5A, 255), (0xC8, 110))


def coverage(px, py, w, h):
    """Share of pixel (px, py) inside a capsule that fills a w x h frame, 4 x 4 supersampled."""
    r = min(w, h) / 2 - 0.5
    inside = 0
    for sy in range(4):
        for sx in range(4):
            x = px + (sx + 0.5) / 4
            y = py + (sy + 0.5) / 4
            # Distance to the capsule's core segment, which runs along the long axis.
            if w >= h:
                cx, cy = min(max(x, h / 2), w - h / 2), h / 2
            else:
                cx, cy = w / 2, min(max(y, w / 2), h - w / 2)
            if math.hypot(x - cx, y - cy) <= r:
                inside += 1
    return inside / 16


def strip(w, h):
    rows = []
    for y in range(h):
        row = bytearray([0])  # PNG filter byte
        for grey, opacity in STATES:
            for x in range(w):
                a = round(opacity * coverage(x, y, w, h))
                row += bytes([grey, grey, grey, a]) if a else bytes(4)
        rows.append(bytes(row))
    return png(w * len(STATES), h, b"".join(rows))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "scroll_h.png"), "wb") as f:
        f.write(strip(LONG, SHORT))
    with open(os.path.join(out, "scroll_v.png"), "wb") as f:
        f.write(strip(SHORT, LONG))


if __name__ == "__main__":
    main()
