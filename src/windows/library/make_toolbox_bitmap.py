#!/usr/bin/env python3
"""Writes the control's 16 x 15, 16-colour toolbox bitmap: a small price chart.

Usage: make_toolbox_bitmap.py OUT.bmp
"""
import struct
import sys

# The standard 16-colour palette (B, G, R order in the file).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # RGB
# Top row first. '.' grey background, 'k' axes, 'g' rising bars, 'r' falling bars, 'b' price line.
PICTURE = [
    "................",
    ".k...........b..",
    ".k..........b.b.",
    ".k.....b...b....",
    ".k....b.b.b.....",
    ".k...b...b......",
    ".k..b.......g...",
    ".k.b....r...g...",
    ".kb.....r.g.g...",
    ".k..g.r.r.g.g...",
    ".k..g.r.r.g.g.r.",
    ".k..g.r.r.g.g.r.",
    ".k.gg.r.r.g.g.r.",
    ".kkkkkkkkkkkkkk.",
    "................",
]
COLOURS = {".": 7, "k": 0, "g": 2, "r": 9, "b": 12}
WIDTH, HEIGHT = 16, 15


def main():
    assert len(PICTURE) == HEIGHT and all(len(row) == WIDTH for row in PICTURE)
    rows = b""
    for row in reversed(PICTURE):  # bottom-up
        indices = [COLOURS[c] for c in row]
        rows += bytes(indices[i] << 4 | indices[i + 1] for i in range(0, WIDTH, 2))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(rows), 0, 0, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    with open(sys.argv[1], "wb") as out:
        out.write(header + info + palette + rows)


if __name__ == "__main__":
    main()
