#!/usr/bin/env python3
"""Writes the small bitmaps the control tests load as resources.

    python3 make_test_bitmaps.py OUTDIR
"""

import os
import struct
import sys

KEY = (255, 0, 255)

# name: (width, height, colour, key pixels as (x, y))
BITMAPS = {
    "normal": (40, 20, (200, 0, 0), []),
    "pressed": (40, 20, (0, 200, 0), []),
    "hover": (40, 20, (0, 0, 200), []),
    "checked": (40, 20, (200, 200, 0), []),
    "disabled": (40, 20, (128, 128, 128), []),
    "disabled_checked": (40, 20, (0, 200, 200), []),
    "mark": (16, 18, (100, 0, 0), []),
    "mark_checked": (16, 18, (0, 100, 0), []),
    # A button face with key corners: the pixel at each corner and one beside it.
    "keyed": (12, 8, (10, 20, 30), [(0, 0), (1, 0), (11, 0), (10, 0), (0, 7), (11, 7)]),
}


def write_bmp(path, width, height, colour, keys):
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = KEY if (x, y) in keys else colour
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    with open(path, "wb") as f:
        f.write(file_header + header + pixels)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, (w, h, colour, keys) in BITMAPS.items():
        write_bmp(os.path.join(out, name + ".bmp"), w, h, colour, set(keys))


if __name__ == "__main__":
    main()
