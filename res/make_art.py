#!/usr/bin/env python3
"""Draws the setup program's bitmaps and icon.

    python3 make_art.py OUTDIR           write every picture into OUTDIR
    python3 make_art.py --check OUTDIR   verify the pictures in OUTDIR

Only the standard library is used.  Everything is drawn on an in-memory
RGBA canvas of floats with anti-aliased shapes described by signed distance
functions, then written as bottom-up BMP files (24 or 32 bits, BI_RGB) and
one ICO file with 32-bit images and AND masks.
"""

import math
import os
import struct
import sys

# Colour of the background pixels that lie outside the window's region.
KEY = (255, 0, 255)
# Fill behind the check box and radio marks, the same as the check box
# control paints around its bitmap.
MARK_FILL = (71, 93, 173)

BG_W, BG_H = 584, 411

# Key-coloured pixels per row, from the outer edge inwards, for each corner
# of the background: 71 pixels in all, at most 8 rows and 7 pixels deep.
CORNER_ROWS = {
    "top-left": [6, 4, 3, 2, 1, 1, 1],
    "top-right": [6, 4, 3, 2, 1, 1, 1],
    "bottom-left": [6, 4, 3, 2, 1, 1, 1],
    "bottom-right": [6, 4, 3, 2, 1, 1],
}
KEY_PIXELS = 71
CORNER_MAX_ROWS, CORNER_MAX_WIDTH = 8, 7

# Where the wizard puts its controls over the background.
CLOSE_POS = (552, 11)
BUTTON_POS = [(312, 380), (451, 380)]
BUTTON_SIZE = (111, 22)
CLOSE_SIZE = (20, 17)

# Bands of the background, as (top, bottom) rows or (left, right) columns.
TITLE_BOTTOM = 44      # light grey title band: rows 0..43
HEADING_BOTTOM = 104   # dark blue heading band: rows 46..103
BUTTONS_TOP = 366      # grey button band: rows 366..410
PANEL_RIGHT = 190      # left picture panel: columns 0..189


# --------------------------------------------------------------------------
# Colour helpers


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(c0, c1, t):
    """Linear mix of two RGB colours, t = 0 gives c0."""
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def shade(c, f):
    """Darkens (f < 1) or lightens towards white (f > 1) an RGB colour."""
    if f <= 1:
        return tuple(v * f for v in c)
    return mix(c, (255, 255, 255), f - 1)


def ramp(*stops):
    """Colour at t in 0..1 along evenly spaced colour stops."""
    def at(t):
        t = clamp(t) * (len(stops) - 1)
        i = min(int(t), len(stops) - 2)
        return mix(stops[i], stops[i + 1], t - i)
    return at


def vgrad(y0, y1, *stops):
    """Paint function: vertical gradient from row y0 to row y1."""
    at = ramp(*stops)
    span = max(y1 - y0, 1e-6)
    return lambda x, y: at((y - y0) / span)


def hgrad(x0, x1, *stops):
    at = ramp(*stops)
    span = max(x1 - x0, 1e-6)
    return lambda x, y: at((x - x0) / span)


# --------------------------------------------------------------------------
# Signed distance functions: negative inside, positive outside, in pixels.


def sd_box(x0, y0, x1, y1, r=0.0):
    """Rectangle [x0, x1) x [y0, y1) with corners rounded by radius r."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hw, hh = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def d(px, py):
        qx, qy = abs(px - cx) - hw, abs(py - cy) - hh
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return d


def sd_circle(cx, cy, r):
    return lambda px, py: math.hypot(px - cx, py - cy) - r


def sd_ellipse(cx, cy, rx, ry):
    # Scaled circle: exact enough for the soft shadows it is used for.
    k = min(rx, ry)
    return lambda px, py: (math.hypot((px - cx) / rx, (py - cy) / ry) - 1) * k


def _segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy or 1e-9))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def sd_line(x0, y0, x1, y1, width):
    """Stroke of the given width with round caps."""
    half = width / 2
    return lambda px, py: _segment_distance(px, py, x0, y0, x1, y1) - half


def sd_polyline(points, width):
    half = width / 2
    segs = list(zip(points, points[1:]))

    def d(px, py):
        return min(_segment_distance(px, py, a[0], a[1], b[0], b[1])
                   for a, b in segs) - half
    return d


def sd_polygon(points):
    edges = list(zip(points, points[1:] + points[:1]))

    def d(px, py):
        dist = min(_segment_distance(px, py, a[0], a[1], b[0], b[1])
                   for a, b in edges)
        inside = False
        for (ax, ay), (bx, by) in edges:
            if (ay > py) != (by > py):
                if px < ax + (py - ay) * (bx - ax) / (by - ay):
                    inside = not inside
        return -dist if inside else dist
    return d


def sd_ring(cx, cy, r, width):
    half = width / 2
    return lambda px, py: abs(math.hypot(px - cx, py - cy) - r) - half


# --------------------------------------------------------------------------
# Canvas


class Canvas:
    """RGBA picture of floats (0..255), alpha-blended drawing."""

    def __init__(self, w, h, color=(0, 0, 0), alpha=255.0):
        self.w, self.h = w, h
        self.px = [[float(color[0]), float(color[1]), float(color[2]),
                    float(alpha)] for _ in range(w * h)]

    def get(self, x, y):
        return self.px[y * self.w + x]

    def put(self, x, y, color, alpha=255.0):
        self.px[y * self.w + x] = [float(color[0]), float(color[1]),
                                   float(color[2]), float(alpha)]

    def blend(self, x, y, color, cov):
        """Draws color over pixel (x, y) with coverage cov (0..1)."""
        if cov <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        p = self.px[y * self.w + x]
        sa = clamp(cov)
        da = p[3] / 255.0
        oa = sa + da * (1 - sa)
        if oa <= 0:
            return
        for i in range(3):
            p[i] = (color[i] * sa + p[i] * da * (1 - sa)) / oa
        p[3] = oa * 255.0

    def fill(self, paint, x0=0, y0=0, x1=None, y1=None, alpha=1.0):
        """Paints every pixel of a rectangle; paint is a colour or f(x, y)."""
        x1 = self.w if x1 is None else x1
        y1 = self.h if y1 is None else y1
        fn = paint if callable(paint) else (lambda x, y: paint)
        for y in range(max(0, int(y0)), min(self.h, int(y1))):
            for x in range(max(0, int(x0)), min(self.w, int(x1))):
                self.blend(x, y, fn(x + 0.5, y + 0.5), alpha)

    def shape(self, dist, bbox, paint, alpha=1.0, feather=1.0):
        """Anti-aliased fill of the area where dist < 0, within bbox.

        feather widens the soft edge (in pixels) for glows and shadows.
        """
        fn = paint if callable(paint) else (lambda x, y: paint)
        x0, y0, x1, y1 = bbox
        pad = int(feather) + 1
        for y in range(max(0, int(y0) - pad), min(self.h, int(y1) + pad + 1)):
            for x in range(max(0, int(x0) - pad),
                           min(self.w, int(x1) + pad + 1)):
                px, py = x + 0.5, y + 0.5
                cov = clamp(0.5 - dist(px, py) / feather)
                if cov > 0:
                    self.blend(x, y, fn(px, py), cov * alpha)

    # Shape shortcuts over shape() ------------------------------------

    def rounded_rect(self, x0, y0, x1, y1, r, paint, alpha=1.0, feather=1.0):
        self.shape(sd_box(x0, y0, x1, y1, r), (x0, y0, x1, y1), paint,
                   alpha, feather)

    def circle(self, cx, cy, r, paint, alpha=1.0, feather=1.0):
        self.shape(sd_circle(cx, cy, r), (cx - r, cy - r, cx + r, cy + r),
                   paint, alpha, feather)

    def line(self, x0, y0, x1, y1, width, paint, alpha=1.0):
        h = width / 2 + 1
        self.shape(sd_line(x0, y0, x1, y1, width),
                   (min(x0, x1) - h, min(y0, y1) - h,
                    max(x0, x1) + h, max(y0, y1) + h), paint, alpha)

    def polyline(self, points, width, paint, alpha=1.0):
        h = width / 2 + 1
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        self.shape(sd_polyline(points, width),
                   (min(xs) - h, min(ys) - h, max(xs) + h, max(ys) + h),
                   paint, alpha)

    def polygon(self, points, paint, alpha=1.0):
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        self.shape(sd_polygon(points), (min(xs), min(ys), max(xs), max(ys)),
                   paint, alpha)

    def glow(self, cx, cy, r, color, alpha=1.0, clip=None):
        """Soft light falling off smoothly from (cx, cy) to nothing at r,
        drawn only inside clip (x0, y0, x1, y1) when given."""
        x0, y0, x1, y1 = clip or (cx - r, cy - r, cx + r, cy + r)
        x0, y0 = max(x0, cx - r), max(y0, cy - r)
        x1, y1 = min(x1, cx + r), min(y1, cy + r)
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)))):
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)))):
                t = 1 - math.hypot(x + 0.5 - cx, y + 0.5 - cy) / r
                if t > 0:
                    self.blend(x, y, color, alpha * t * t)

    def hline(self, x0, x1, y, color, alpha=1.0):
        self.fill(color, x0, y, x1, y + 1, alpha)

    def vline(self, x, y0, y1, color, alpha=1.0):
        self.fill(color, x, y0, x + 1, y1, alpha)

    def crop(self, x, y, w, h):
        out = Canvas(w, h)
        for j in range(h):
            for i in range(w):
                out.px[j * w + i] = list(self.get(x + i, y + j))
        return out


# --------------------------------------------------------------------------
# File writers

# 4 x 4 ordered dither: spreads gradient steps so that bands do not show.
# Whole-numbered colours (flat fills) pass through unchanged.
BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def quantize(canvas):
    """Rows of (r, g, b, a) byte tuples, top row first."""
    rows = []
    for y in range(canvas.h):
        row = []
        for x in range(canvas.w):
            d = (BAYER[y & 3][x & 3] + 0.5) / 16 - 0.5
            p = canvas.get(x, y)
            row.append(tuple(int(clamp(math.floor(v + d + 0.5), 0, 255))
                             for v in (p[0], p[1], p[2])) +
                       (int(clamp(round(p[3]), 0, 255)),))
        rows.append(row)
    return rows


def bmp_bytes(rows, bits):
    """Bottom-up BITMAPINFOHEADER bitmap, 24 or 32 bits, BI_RGB."""
    h, w = len(rows), len(rows[0])
    stride = (w * bits // 8 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, a in row:
            line += bytes((b, g, r)) if bits == 24 else bytes((b, g, r, 255))
        line += b"\0" * (stride - len(line))
        data += line
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(data),
                       2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0,
                       14 + len(info))
    return head + info + data


def write_bmp(path, canvas, bits=24):
    with open(path, "wb") as f:
        f.write(bmp_bytes(quantize(canvas), bits))


def write_ico(path, canvases):
    """Classic icon: each image a 32-bit BGRA DIB followed by its AND mask."""
    images = []
    for c in canvases:
        rows = quantize(c)
        xor = bytearray()
        mask = bytearray()
        mask_stride = ((c.w + 31) // 32) * 4
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x, (r, g, b, a) in enumerate(row):
                xor += bytes((b, g, r, a))
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0,
                           len(xor) + len(mask), 0, 0, 0, 0)
        images.append((c.w, c.h, info + xor + mask))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for w, h, blob in images:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32,
                           len(blob), offset)
        offset += len(blob)
    for _, _, blob in images:
        out += blob
    with open(path, "wb") as f:
        f.write(out)


# --------------------------------------------------------------------------
# Pictures


def draw_disk_array(c, ox, oy, s=1.0):
    """A desktop RAID enclosure with five drive trays, seen slightly from
    the upper right.  (ox, oy) is the top-left corner of the front face,
    s the scale (1.0: front face 100 x 170 pixels)."""
    def P(x, y):
        return (ox + x * s, oy + y * s)

    fw, fh, dx, dy = 100, 170, 16, -14

    # Shadow on the floor.
    c.shape(sd_ellipse(ox + (fw / 2 + 12) * s, oy + (fh + 2) * s,
                       74 * s, 10 * s),
            (ox - 40 * s, oy + (fh - 14) * s, ox + (fw + 60) * s,
             oy + (fh + 16) * s), (0, 0, 12), 0.55, feather=10 * s)

    # Top face and right side face give the box its depth.
    top = [P(0, 0), P(dx, dy), P(fw + dx, dy), P(fw, 0)]
    c.polygon(top, vgrad(oy + dy * s, oy, (196, 202, 214), (128, 134, 148)))
    side = [P(fw, 0), P(fw + dx, dy), P(fw + dx, fh + dy), P(fw, fh)]
    c.polygon(side, vgrad(oy, oy + fh * s, (78, 82, 94), (36, 38, 46)))
    for i in range(9):  # cooling slits along the side
        y = 20 + i * 14
        c.line(*P(fw + 4, y), *P(fw + dx - 4, y - 11), 1.6 * s,
               (24, 26, 32), 0.8)

    # Front bezel.
    x0, y0 = P(0, 0)
    x1, y1 = P(fw, fh)
    c.rounded_rect(x0, y0, x1, y1, 3 * s,
                   vgrad(y0, y1, (70, 74, 86), (44, 46, 54), (28, 30, 36)))
    c.hline(x0 + 3 * s, x1 - 3 * s, y0, (170, 176, 190), 0.8)  # lit top edge
    c.vline(x1 - 1, y0 + 2, y1 - 2, (20, 20, 26), 0.6)

    # Status strip: display window and power button.
    c.rounded_rect(*P(8, 7), *P(62, 24), 2 * s, (12, 16, 26))
    c.rounded_rect(*P(10, 9), *P(60, 22), 1.5 * s,
                   vgrad(oy + 9 * s, oy + 22 * s, (70, 160, 235),
                         (24, 86, 170)))
    for i, w in enumerate((30, 22, 38)):  # status lines on the display
        c.hline(ox + 13 * s, ox + (13 + w) * s, oy + (12 + i * 3.5) * s,
                (200, 236, 255), 0.75)
    c.circle(*P(84, 15.5), 9 * s, (60, 150, 255), 0.25, feather=4 * s)
    c.circle(*P(84, 15.5), 6 * s,
             vgrad(oy + 9 * s, oy + 22 * s, (120, 126, 140), (50, 54, 64)))
    c.shape(sd_ring(ox + 84 * s, oy + 15.5 * s, 6 * s, 1.4 * s),
            (ox + 76 * s, oy + 8 * s, ox + 92 * s, oy + 23 * s),
            (90, 190, 255))

    # Drive trays.
    leds = [((70, 235, 90), (80, 170, 255)), ((70, 235, 90), (255, 180, 40)),
            ((70, 235, 90), (80, 170, 255)), ((70, 235, 90), None),
            ((70, 235, 90), (80, 170, 255))]
    for i, (power, activity) in enumerate(leds):
        ty = 32 + i * 26
        tx0, ty0 = P(6, ty)
        tx1, ty1 = P(fw - 6, ty + 22)
        c.rounded_rect(tx0 - 1, ty0 - 1, tx1 + 1, ty1 + 1, 3 * s, (14, 15, 20))
        c.rounded_rect(tx0, ty0, tx1, ty1, 2.5 * s,
                       vgrad(ty0, ty1, (226, 230, 238), (186, 192, 204),
                             (146, 152, 166)))
        c.hline(tx0 + 2, tx1 - 2, ty0, (255, 255, 255), 0.7)
        # Handle recess with grip ridges.
        c.rounded_rect(*P(12, ty + 5), *P(40, ty + 17), 2 * s,
                       vgrad(ty0, ty1, (92, 98, 112), (132, 138, 152)))
        for g in range(5):
            gx = 16 + g * 5
            c.line(*P(gx, ty + 7.5), *P(gx, ty + 14.5), 1.4 * s,
                   (60, 64, 76), 0.8)
        # Ventilation holes.
        for row in range(2):
            for col in range(6):
                c.rounded_rect(*P(46 + col * 6, ty + 6 + row * 6),
                               *P(50 + col * 6, ty + 9 + row * 6), 1 * s,
                               (70, 74, 86), 0.85)
        # Activity and power lights with their glow.
        for k, colour in enumerate((power, activity)):
            lx, ly = P(86, ty + 7 + k * 8)
            if colour is None:
                c.circle(lx, ly, 2.2 * s, (70, 76, 88))
                continue
            c.circle(lx, ly, 5 * s, colour, 0.35, feather=4 * s)
            c.circle(lx, ly, 2.3 * s, colour)
            c.circle(lx - 0.6 * s, ly - 0.6 * s, 0.9 * s, (255, 255, 255),
                     0.8)

    # Vent grille under the trays and the feet.
    for i in range(7):
        c.rounded_rect(*P(14 + i * 11, 164), *P(21 + i * 11, 166), 1 * s,
                       (16, 17, 22), 0.9)
    for fx in (8, 80):
        c.rounded_rect(*P(fx, fh - 0.5), *P(fx + 12, fh + 3), 1.5 * s,
                       (18, 18, 22))

    # Glossy reflection across the front.
    c.polygon([P(0, 0), P(58, 0), P(0, 92)], (255, 255, 255), 0.07)


def draw_background():
    c = Canvas(BG_W, BG_H, (71, 93, 173))
    W, H = BG_W, BG_H

    # Title band.
    c.fill(vgrad(0, TITLE_BOTTOM, (248, 249, 251), (234, 236, 240),
                 (214, 218, 225)), 0, 0, W, TITLE_BOTTOM)
    c.hline(0, W, 1, (255, 255, 255), 0.9)
    # Faint diagonal pinstripes fading towards the close tab.
    for i in range(20):
        x = 380 + i * 8
        c.line(x, TITLE_BOTTOM, x + 36, 0, 1.0, (255, 255, 255),
               0.35 * (i + 1) / 20)
    c.hline(0, W, TITLE_BOTTOM, (150, 156, 170))
    c.hline(0, W, TITLE_BOTTOM + 1, (255, 255, 255), 0.6)

    # Green tab holding the close button.
    tab = (541, -8, 580, 38)
    c.rounded_rect(tab[0] - 1, tab[1] - 1, tab[2] + 1, tab[3] + 2, 7,
                   (0, 0, 0), 0.18, feather=2)
    c.rounded_rect(tab[0] - 1, tab[1], tab[2] + 1, tab[3] + 1, 7,
                   (34, 96, 34))
    c.rounded_rect(*tab, 6, vgrad(0, tab[3], (134, 206, 96), (86, 170, 64),
                                   (46, 130, 44)))
    c.rounded_rect(tab[0] + 2, 1, tab[2] - 2, 16, 4, (255, 255, 255), 0.18)

    # Heading band.
    hb0 = TITLE_BOTTOM + 2
    c.fill(vgrad(hb0, HEADING_BOTTOM, (16, 32, 86), (24, 48, 118),
                 (30, 58, 138)), 0, hb0, W, HEADING_BOTTOM)
    for r, a in ((260, 0.07), (300, 0.05), (340, 0.035)):  # light arcs
        c.shape(sd_ring(W - 40, 330, r, 2.0),
                (W - 40 - r - 2, hb0, W, HEADING_BOTTOM),
                (150, 190, 255), a)
    c.glow(W - 120, HEADING_BOTTOM + 20, 300, (90, 140, 230), 0.35,
           (0, hb0, W, HEADING_BOTTOM))
    c.hline(0, W, hb0, (60, 90, 170), 0.6)
    c.hline(0, W, HEADING_BOTTOM - 1, (104, 134, 214), 0.8)
    c.hline(0, W, HEADING_BOTTOM, (12, 22, 60))

    # Left picture panel.
    p0 = HEADING_BOTTOM + 1
    c.fill(vgrad(p0, BUTTONS_TOP, (52, 74, 152), (34, 50, 116),
                 (22, 32, 82)), 0, p0, PANEL_RIGHT, BUTTONS_TOP)
    c.glow(95, 225, 150, (120, 150, 235), 0.45,
           (0, p0, PANEL_RIGHT, BUTTONS_TOP))
    for i in range(10):
        c.hline(0, PANEL_RIGHT, p0 + i, (0, 0, 20), 0.3 * (1 - i / 10))
    draw_disk_array(c, 36, 150)
    c.vline(PANEL_RIGHT, p0, BUTTONS_TOP, (18, 28, 70))
    c.vline(PANEL_RIGHT + 1, p0, BUTTONS_TOP, (120, 142, 212), 0.55)

    # Content area: flat MARK_FILL where the labels, check box and progress
    # bar sit, with soft inner shadows at its edges and faint rings in the
    # lower right corner.
    a0 = PANEL_RIGHT + 2
    for i in range(8):
        c.hline(a0, W, p0 + i, (10, 20, 60), 0.22 * (1 - i / 8))
    for i in range(6):
        c.vline(a0 + i, p0, BUTTONS_TOP, (10, 20, 60), 0.18 * (1 - i / 6))
    for r in (60, 84, 108):
        c.shape(sd_ring(W + 6, BUTTONS_TOP + 20, r, 10),
                (W - r - 12, 272, W, BUTTONS_TOP),
                (140, 165, 240), 0.06)
    for i in range(6):
        c.hline(a0, W, BUTTONS_TOP - 1 - i, (10, 20, 60), 0.16 * (1 - i / 6))

    # Button band.
    c.hline(0, W, BUTTONS_TOP, (150, 156, 170))
    c.hline(0, W, BUTTONS_TOP + 1, (255, 255, 255), 0.9)
    c.fill(vgrad(BUTTONS_TOP + 2, H, (240, 242, 245), (222, 225, 231),
                 (204, 208, 216)), 0, BUTTONS_TOP + 2, W, H)

    apply_window_edge(c)
    return c


def corner_key_pixels():
    """The key-coloured pixel positions of the background's four corners."""
    pts = []
    for name, rows in CORNER_ROWS.items():
        bottom, right = name.startswith("bottom"), name.endswith("right")
        for depth, width in enumerate(rows):
            y = BG_H - 1 - depth if bottom else depth
            for i in range(width):
                pts.append((BG_W - 1 - i if right else i, y))
    return pts


def apply_window_edge(c):
    """Cuts the rounded corners with the key colour and draws a dark 1-pixel
    frame along the window's outline, softened where it follows a curve."""
    keyed = set(corner_key_pixels())
    frame = (34, 42, 66)
    edge, diagonal = [], []
    for y in range(c.h):
        for x in range(c.w):
            if (x, y) in keyed:
                continue
            if x in (0, c.w - 1) or y in (0, c.h - 1) or any(
                    (x + dx, y + dy) in keyed
                    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                edge.append((x, y))
            elif any((x + dx, y + dy) in keyed
                     for dx, dy in ((1, 1), (-1, 1), (1, -1), (-1, -1))):
                diagonal.append((x, y))
    for x, y in edge:
        c.blend(x, y, frame, 0.9)
    for x, y in diagonal:
        c.blend(x, y, frame, 0.45)
    for x, y in keyed:
        c.put(x, y, KEY)


def draw_push_button(base, look):
    """One of the 111 x 22 pictures of the large buttons, drawn over the
    piece of background it covers.  look: normal, pressed or hover."""
    c = base
    w, h = c.w, c.h
    if look == "hover":
        c.rounded_rect(0, 0, w, h, 6, (120, 190, 255), 0.55, feather=1.5)
        body = vgrad(1, h - 1, (112, 164, 242), (72, 124, 222),
                     (46, 96, 196), (58, 112, 210))
        rim = (28, 64, 150)
    elif look == "pressed":
        body = vgrad(1, h - 1, (22, 46, 118), (34, 66, 150), (44, 82, 170))
        rim = (14, 30, 84)
    else:
        body = vgrad(1, h - 1, (84, 130, 216), (52, 96, 192),
                     (30, 66, 160), (40, 80, 176))
        rim = (20, 44, 116)
    c.rounded_rect(1, 1, w - 1, h - 1, 5, rim)
    c.rounded_rect(2, 2, w - 2, h - 2, 4, body)
    if look == "pressed":
        # Inner shadow along the top: the button looks pushed in.
        c.rounded_rect(2, 2, w - 2, 7, 3, (0, 0, 30), 0.35)
        c.hline(4, w - 4, 2, (0, 0, 30), 0.3)
    else:
        # Glassy upper half and a lit top edge.
        c.rounded_rect(3, 3, w - 3, h // 2, 3, (255, 255, 255),
                       0.22 if look == "hover" else 0.16)
        c.hline(5, w - 5, 2, (255, 255, 255), 0.55)
    c.hline(5, w - 5, h - 1, (255, 255, 255), 0.35)  # sheen under the rim
    return c


def draw_close(base, look):
    """20 x 17 close button over its piece of the green tab."""
    c = base
    w, h = c.w, c.h
    cx, cy, arm = w / 2, h / 2, 4.2
    if look == "hover":
        c.rounded_rect(1, 0.5, w - 1, h - 0.5, 4, (120, 20, 16))
        c.rounded_rect(2, 1.5, w - 2, h - 1.5, 3,
                       vgrad(1, h - 1, (248, 120, 96), (214, 62, 44),
                             (176, 34, 26)))
        c.rounded_rect(2.5, 2, w - 2.5, h / 2, 2.5, (255, 255, 255), 0.2)
        cross = (255, 255, 255)
    elif look == "disabled":
        cross = (150, 196, 140)
    else:
        c.rounded_rect(1, 0.5, w - 1, h - 0.5, 4, (20, 80, 24), 0.45)
        c.rounded_rect(2, 1.5, w - 2, h - 1.5, 3, (255, 255, 255), 0.16)
        cross = (255, 255, 255)
    if look != "disabled":  # drop shadow under the cross
        for a, b in (((-1, -1), (1, 1)), ((-1, 1), (1, -1))):
            c.line(cx + a[0] * arm + 0.5, cy + a[1] * arm + 0.8,
                   cx + b[0] * arm + 0.5, cy + b[1] * arm + 0.8, 2.4,
                   (0, 40, 0), 0.35)
    for a, b in (((-1, -1), (1, 1)), ((-1, 1), (1, -1))):
        c.line(cx + a[0] * arm, cy + a[1] * arm, cx + b[0] * arm,
               cy + b[1] * arm, 2.4, cross)
    return c


def draw_check(checked):
    """21 x 24 check box mark on MARK_FILL."""
    c = Canvas(21, 24, MARK_FILL)
    x0, y0, x1, y1 = 3, 5, 18, 20
    c.rounded_rect(x0 - 1, y0, x1 + 1, y1 + 1.5, 3.5, (10, 20, 60), 0.35,
                   feather=1.5)
    c.rounded_rect(x0, y0, x1, y1, 3, (22, 36, 92))
    c.rounded_rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 2,
                   vgrad(y0, y1, (255, 255, 255), (236, 240, 250),
                         (206, 216, 240)))
    c.hline(x0 + 2, x1 - 2, y0 + 1, (150, 162, 200), 0.5)  # inner shadow
    if checked:
        tick = [(x0 + 3.2, y0 + 7.6), (x0 + 6.3, y0 + 10.8),
                (x0 + 12.8, y0 + 2.6)]
        c.polyline([(x + 0.4, y + 0.8) for x, y in tick], 3.0,
                   (10, 60, 20), 0.3)
        c.polyline(tick, 3.0, vgrad(y0, y1, (64, 196, 84), (22, 130, 46)))
    return c


def draw_radio(selected):
    """23 x 28 radio button mark on MARK_FILL."""
    c = Canvas(23, 28, MARK_FILL)
    cx, cy, r = 11.5, 14.0, 7.5
    c.circle(cx, cy + 0.8, r + 0.6, (10, 20, 60), 0.35, feather=1.5)
    c.circle(cx, cy, r, (22, 36, 92))
    c.circle(cx, cy, r - 1, vgrad(cy - r, cy + r, (255, 255, 255),
                                  (234, 238, 250), (200, 212, 238)))
    if selected:
        c.circle(cx, cy, 3.8, vgrad(cy - 4, cy + 4, (92, 150, 240),
                                    (28, 70, 170)))
        c.circle(cx - 1.1, cy - 1.3, 1.3, (255, 255, 255), 0.6)
    return c


def draw_icon(size):
    """Setup icon: a small drive enclosure with a green install arrow."""
    c = Canvas(size, size, (0, 0, 0), alpha=0.0)
    s = size / 48.0
    # Enclosure.
    c.rounded_rect(5 * s, 4 * s, 37 * s, 44 * s, 4 * s, (18, 20, 28))
    c.rounded_rect(6 * s, 5 * s, 36 * s, 43 * s, 3.2 * s,
                   vgrad(5 * s, 43 * s, (96, 102, 118), (46, 50, 60)))
    bays = 3 if size < 24 else 4
    pitch = 34.0 / bays
    for i in range(bays):
        y0 = (8 + i * pitch) * s
        y1 = y0 + (pitch - 2.2) * s
        c.rounded_rect(9 * s, y0, 33 * s, y1, 1.5 * s,
                       vgrad(y0, y1, (232, 236, 244), (160, 166, 180)))
        led = (255, 180, 40) if i == 1 else (70, 235, 90)
        c.circle(28.5 * s, (y0 + y1) / 2, max(2.2 * s, 1.0), led)
        if size >= 32:
            c.rounded_rect(12 * s, y0 + 2 * s, 22 * s, y1 - 2 * s, 1 * s,
                           (110, 116, 130))
    # Install arrow badge.
    bx, by, br = 35 * s, 35 * s, 11.5 * s
    c.circle(bx, by, br + 1 * s, (10, 60, 20))
    c.circle(bx, by, br, vgrad(by - br, by + br, (116, 220, 110),
                               (32, 146, 52)))
    arrow = [(bx - 2.6 * s, by - 7 * s), (bx + 2.6 * s, by - 7 * s),
             (bx + 2.6 * s, by - 1 * s), (bx + 6.5 * s, by - 1 * s),
             (bx, by + 7 * s), (bx - 6.5 * s, by - 1 * s),
             (bx - 2.6 * s, by - 1 * s)]
    c.polygon(arrow, (255, 255, 255))
    return c


def draw_banner():
    """400 x 60 title banner of the application."""
    w, h = 400, 60
    c = Canvas(w, h)
    c.fill(hgrad(0, w, (14, 28, 76), (30, 60, 140), (56, 96, 186)))
    c.fill(vgrad(0, h, (255, 255, 255), (0, 0, 0)), 0, 0, w, h, 0.12)
    for r, a in ((180, 0.10), (220, 0.07), (260, 0.05)):
        c.shape(sd_ring(w + 40, 220, r, 3.0), (w - 300, 0, w, h),
                (170, 205, 255), a)
    c.glow(32, 30, 70, (110, 150, 240), 0.45)
    c.hline(0, w, h - 3, (96, 200, 90))
    c.hline(0, w, h - 2, (40, 120, 50))
    draw_disk_array(c, 20, 12, 0.24)
    return c


def draw_about():
    """300 x 200 picture of the application's about box."""
    w, h = 300, 200
    c = Canvas(w, h)
    c.fill(vgrad(0, h, (40, 64, 150), (22, 36, 92), (10, 16, 44)))
    c.glow(150, 100, 170, (120, 156, 240), 0.5)
    c.fill(vgrad(150, h, (255, 255, 255), (255, 255, 255)), 0, 150, w, h,
           0.04)
    c.hline(0, w, 150, (160, 190, 255), 0.25)
    draw_disk_array(c, 112, 30, 0.72)
    for r, a in ((120, 0.08), (150, 0.05)):
        c.shape(sd_ring(-30, 230, r, 3.0), (0, 60, 150, h), (170, 205, 255), a)
    return c


def make_all(outdir):
    os.makedirs(outdir, exist_ok=True)

    def out(name):
        return os.path.join(outdir, name)

    bg = draw_background()
    write_bmp(out("bg130.bmp"), bg)

    for name, look in (("btn131.bmp", "normal"), ("btn132.bmp", "pressed"),
                       ("btn133.bmp", "hover")):
        base = bg.crop(*BUTTON_POS[0], *BUTTON_SIZE)
        write_bmp(out(name), draw_push_button(base, look))

    for name, look, bits in (("close134.bmp", "normal", 32),
                             ("close135.bmp", "hover", 32),
                             ("close136.bmp", "disabled", 24)):
        base = bg.crop(*CLOSE_POS, *CLOSE_SIZE)
        write_bmp(out(name), draw_close(base, look), bits)

    write_bmp(out("chk142.bmp"), draw_check(False))
    write_bmp(out("chk143.bmp"), draw_check(True))
    write_bmp(out("radio139.bmp"), draw_radio(False))
    write_bmp(out("radio140.bmp"), draw_radio(True))
    write_ico(out("setup.ico"), [draw_icon(16), draw_icon(32), draw_icon(48)])
    write_bmp(out("Lorvane.bmp"), draw_banner())
    write_bmp(out("title_about.bmp"), draw_about())


# --------------------------------------------------------------------------
# Check mode: reads the files back, independently of the drawing code.

EXPECTED_BMPS = {
    "bg130.bmp": (584, 411, 24),
    "btn131.bmp": (111, 22, 24),
    "btn132.bmp": (111, 22, 24),
    "btn133.bmp": (111, 22, 24),
    "close134.bmp": (20, 17, 32),
    "close135.bmp": (20, 17, 32),
    "close136.bmp": (20, 17, 24),
    "chk142.bmp": (21, 24, 24),
    "chk143.bmp": (21, 24, 24),
    "radio139.bmp": (23, 28, 24),
    "radio140.bmp": (23, 28, 24),
    "Lorvane.bmp": (400, 60, 24),
    "title_about.bmp": (300, 200, 24),
}
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
    if len(argv) == 3 and argv[1] == "--check":
        errors = check_all(argv[2])
        for e in errors:
            print(e, file=sys.stderr)
        print("%d problem(s)" % len(errors) if errors else "art ok")
        return 1 if errors else 0
    if len(argv) == 2 and not argv[1].startswith("-"):
        make_all(argv[1])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
