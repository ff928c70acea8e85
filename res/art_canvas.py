"""The canvas the pictures are drawn on, and the BMP and ICO writers.

An in-memory RGBA canvas of floats with anti-aliased shapes described by signed
distance functions, written as bottom-up BMP files (24 or 32 bits, BI_RGB) and ICO
files with 32-bit images and AND masks.  Only the standard library is used.
"""

import math
import struct

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
