#!/usr/bin/env python3
"""Checks the pictures that make_art.py wrote: sizes, depths, the key colour only in the
background's corners, opaque alpha, the icon's sizes.  It reads the files back on its own,
independently of the drawing code.

    python3 art_check.py OUTDIR
"""

import os
import struct
import sys

from art_layout import *  # noqa: F401,F403  the layout the files must follow

# Width, height and bits per pixel of each picture.
EXPECTED_BMPS = {"bg130.bmp": (584, 411, 24), "Lorvane.bmp": (400, 60, 24), "title_about.bmp": (300, 200, 24),
                 "close136.bmp": (20, 17, 24)}
for names, size in ((("btn131.bmp", "btn132.bmp", "btn133.bmp"), (111, 22, 24)),
                    (("close134.bmp", "close135.bmp"), (20, 17, 32)),
                    (("chk142.bmp", "chk143.bmp"), (21, 24, 24)),
                    (("radio139.bmp", "radio140.bmp"), (23, 28, 24))):
    EXPECTED_BMPS.update(dict.fromkeys(names, size))
EXPECTED_ICON_SIZES = [16, 32, 48]


def read_bmp(path):
    """(width, height, bits, rows top-down of (r, g, b, a)); raises on any
    header a resource compiler or LoadBitmapW would not take."""
    data = open(path, "rb").read()
    magic, size, _, _, off = struct.unpack_from("<2sIHHI", data, 0)
    if magic != b"BM" or size != len(data):
        raise ValueError("bad file header")
    (hsize, w, h, planes, bits, comp, _, _, _, used, _) = struct.unpack_from(
        "<IiiHHIIiiII", data, 14)
    if hsize != 40 or planes != 1 or comp != 0 or used != 0:
        raise ValueError("not a plain BITMAPINFOHEADER BI_RGB bitmap")
    if h <= 0:
        raise ValueError("not bottom-up")
    if bits not in (24, 32):
        raise ValueError("unexpected depth %d" % bits)
    stride = (w * bits // 8 + 3) & ~3
    if off != 54 or off + stride * h != len(data):
        raise ValueError("pixel data size does not match the header")
    step = bits // 8
    rows = []
    for y in range(h - 1, -1, -1):
        base = off + y * stride
        row = []
        for x in range(w):
            b, g, r = data[base + x * step: base + x * step + 3]
            a = data[base + x * step + 3] if bits == 32 else 255
            row.append((r, g, b, a))
        rows.append(row)
    return w, h, bits, rows


def check_background_keys(rows):
    """Errors for the corner rule of the background's key pixels."""
    errors = []
    h, w = len(rows), len(rows[0])
    keyed = [(x, y) for y in range(h) for x in range(w)
             if rows[y][x][:3] == KEY]
    if len(keyed) != KEY_PIXELS:
        errors.append("bg130.bmp: %d key pixels, want %d"
                      % (len(keyed), KEY_PIXELS))
    for x, y in keyed:
        near_x = min(x, w - 1 - x)
        near_y = min(y, h - 1 - y)
        if near_x >= CORNER_MAX_WIDTH or near_y >= CORNER_MAX_ROWS:
            errors.append("bg130.bmp: key pixel (%d, %d) outside the corners"
                          % (x, y))
    return errors


def check_icon(path):
    errors = []
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        return ["setup.ico: not an icon file"]
    sizes = []
    for i in range(count):
        w, h, _, _, planes, bits, length, off = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        sizes.append(w)
        hsize, dw, dh, _, dbits = struct.unpack_from("<IiiHH", data, off)
        mask = ((w + 31) // 32) * 4 * h
        if (hsize, dw, dh, dbits, bits) != (40, w, 2 * h, 32, 32) or \
                length != 40 + w * h * 4 + mask or off + length > len(data):
            errors.append("setup.ico: image %d x %d is malformed" % (w, h))
    if sorted(sizes) != EXPECTED_ICON_SIZES:
        errors.append("setup.ico: sizes %s, want %s"
                      % (sorted(sizes), EXPECTED_ICON_SIZES))
    return errors


def check_all(outdir):
    errors = []
    for name, (w, h, bits) in sorted(EXPECTED_BMPS.items()):
        path = os.path.join(outdir, name)
        try:
            gw, gh, gbits, rows = read_bmp(path)
        except (OSError, ValueError, struct.error) as e:
            errors.append("%s: %s" % (name, e))
            continue
        if (gw, gh, gbits) != (w, h, bits):
            errors.append("%s: %d x %d x %d bits, want %d x %d x %d bits"
                          % (name, gw, gh, gbits, w, h, bits))
            continue
        if gbits == 32 and any(p[3] != 255 for row in rows for p in row):
            errors.append("%s: alpha not opaque everywhere" % name)
        if name == "bg130.bmp":
            errors += check_background_keys(rows)
        elif any(p[:3] == KEY for row in rows for p in row):
            errors.append("%s: contains the key colour" % name)
        if name.startswith(("chk", "radio")) and rows[0][0][:3] != MARK_FILL:
            errors.append("%s: background is not the check box fill" % name)
    try:
        errors += check_icon(os.path.join(outdir, "setup.ico"))
    except (OSError, struct.error) as e:
        errors.append("setup.ico: %s" % e)
    return errors


def main(argv):
    if len(argv) != 2 or argv[1].startswith("-"):
        print(__doc__, file=sys.stderr)
        return 2
    errors = check_all(argv[1])
    for e in errors:
        print(e, file=sys.stderr)
    print("%d problem(s)" % len(errors) if errors else "art ok")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
