#!/usr/bin/env python3
"""Converts moravex-chart's 32-bit top-down BMP to PNG (zlib only) and checks it
is not blank: at least MIN_PIXELS pixels of the band's colour.
Usage: bmp_to_png.py IN.bmp OUT.png [R,G,B MIN_PIXELS]"""
import struct
import sys
import zlib


def main():
    data = open(sys.argv[1], "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    height = abs(height)  # top-down
    rows, band = [], 0
    color = tuple(int(c) for c in sys.argv[3].split(",")) if len(sys.argv) > 3 else None
    for y in range(height):
        line = bytearray(b"\0")  # filter: none
        for x in range(width):
            b, g, r, _ = data[offset + 4 * (y * width + x):offset + 4 * (y * width + x) + 4]
            line += bytes((r, g, b))
            band += color == (r, g, b)
        rows.append(bytes(line))
    chunk = lambda kind, body: struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    open(sys.argv[2], "wb").write(png)
    if color is not None and band < int(sys.argv[4]):
        sys.exit(f"blank chart: {band} pixels of the band's colour")
    print(f"{sys.argv[2]}: {width}x{height}, {band} band pixels")


main()
