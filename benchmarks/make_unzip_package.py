#!/usr/bin/env python3
"""Writes the unzip benchmark's package: about 64 MB in 70 deflated files, shaped like a software update.

    make_unzip_package.py PACKAGE.zip

Program modules (code-like bytes that deflate about 2.4:1), two media cabinets (random, incompressible), a manual (text),
icons (random) and language files (text). Always the same bytes (fixed seeds).
"""

import random
import sys
import zipfile

MIB = 1024 * 1024


def code_like(rng, size):
    """Instruction-like bytes: short sequences from a limited pool, some zero padding, some random data."""
    pool = [rng.randbytes(rng.randint(3, 12)) for _ in range(512)]
    parts, total = [], 0
    while total < size:
        kind = rng.random()
        if kind < 0.80:
            chunk = b"".join(rng.choices(pool, k=64))
        elif kind < 0.88:
            chunk = bytes(rng.randint(16, 512))
        else:
            chunk = rng.randbytes(rng.randint(64, 1024))
        parts.append(chunk)
        total += len(chunk)
    return b"".join(parts)[:size]


def text_like(rng, size):
    words = ["".join(rng.choices("abcdefghijklmnopqrstuvwxyz", k=rng.randint(2, 10))) for _ in range(3000)]
    lines, total = [], 0
    while total < size:
        line = " ".join(rng.choices(words, k=rng.randint(4, 16))) + ".\r\n"
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]


def main():
    rng = random.Random(2024)
    files = []
    for i in range(7):
        files.append((f"bin/module{i}.dll", code_like(rng, 5 * MIB + i * 4099)))
    for i in range(2):
        files.append((f"data/media{i}.cab", rng.randbytes(8 * MIB)))
    files.append(("docs/manual.txt", text_like(rng, 6 * MIB)))
    for i in range(40):
        files.append((f"res/icon{i:02}.png", rng.randbytes(rng.randint(16, 128) * 1024)))
    for i in range(20):
        files.append((f"lang/{i:02}.ini", text_like(rng, rng.randint(8, 64) * 1024)))
    with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as zf:
        for name, data in files:
            zf.writestr(zipfile.ZipInfo(name, (2024, 5, 1, 12, 0, 0)), data, zipfile.ZIP_DEFLATED)


if __name__ == "__main__":
    main()
