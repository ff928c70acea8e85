#!/usr/bin/env python3
"""Draws the setup program's bitmaps and icon.

    python3 make_art.py OUTDIR           write every picture into OUTDIR
    python3 make_art.py --check OUTDIR   verify the pictures in OUTDIR (art_check.py)

Only the standard library is used: the pictures are drawn on art_canvas.py's canvas,
over the layout of art_layout.py.
"""

import os
import sys

import art_check
from art_canvas import *  # noqa: F401,F403  canvas, shapes, colour helpers, writers
from art_layout import *  # noqa: F401,F403


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


def main(argv):
    if len(argv) == 3 and argv[1] == "--check":
        return art_check.main(argv[1:])
    if len(argv) == 2 and not argv[1].startswith("-"):
        make_all(argv[1])
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
