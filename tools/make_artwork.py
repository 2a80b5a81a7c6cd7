#!/usr/bin/env python3
"""Draws the button pictures and message-box icons as 24-bit BMP files.

    python3 tools/make_artwork.py [output folder]     (default: res/bitmaps)

Only the standard library is used: shapes are drawn from signed distances
(smooth edges without supersampling) and the labels from a small stroke font,
so the pictures can be redrawn at any time and stay identical.
"""
import math
import os
import struct
import sys

WHITE = (255, 255, 255)
LIGHT_BLUE = (207, 233, 254)          # message box background
LABEL_BLUE = (2, 77, 246)             # the product's blue


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Canvas:
    def __init__(self, w, h, background):
        self.w, self.h = w, h
        self.px = [[tuple(float(c) for c in background) for _ in range(w)] for _ in range(h)]

    def blend(self, x, y, color, alpha):
        if alpha <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        self.px[y][x] = mix(self.px[y][x], color, clamp(alpha))

    # Fills the area where sdf(px, py) < 0; color may be a function of (x, y).
    def fill_sdf(self, sdf, color, box=None, alpha=1.0):
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        for y in range(max(0, int(y0) - 1), min(self.h, int(math.ceil(y1)) + 1)):
            for x in range(max(0, int(x0) - 1), min(self.w, int(math.ceil(x1)) + 1)):
                d = sdf(x + 0.5, y + 0.5)
                cov = clamp(0.5 - d)
                if cov > 0:
                    c = color(x + 0.5, y + 0.5) if callable(color) else color
                    self.blend(x, y, c, cov * alpha)

    def save_bmp(self, path):
        row_len = (self.w * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.h - 1, -1, -1):  # bottom-up
            row = bytearray()
            for x in range(self.w):
                r, g, b = (int(round(clamp(c, 0, 255))) for c in self.px[y][x])
                row += bytes((b, g, r))
            row += b"\0" * (row_len - len(row))
            data += row
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        with open(path, "wb") as f:
            f.write(header + info + data)


# ----------------------------------------------------------------- shapes

def sdf_round_rect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(px, py):
        qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - r
    return f


def sdf_circle(cx, cy, r):
    return lambda px, py: math.hypot(px - cx, py - cy) - r


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    l2 = dx * dx + dy * dy
    t = 0.0 if l2 == 0 else clamp(((px - ax) * dx + (py - ay) * dy) / l2)
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def sdf_polygon(points):
    n = len(points)

    def f(px, py):
        d = min(seg_dist(px, py, *points[i], *points[(i + 1) % n]) for i in range(n))
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        return -d if inside else d
    return f


def stroke_segments(canvas, segments, width, color, alpha=1.0):
    """Draws round-capped strokes; overlapping strokes do not darken."""
    half = width / 2
    cover = {}
    for (ax, ay, bx, by) in segments:
        x0, x1 = int(min(ax, bx) - half - 2), int(max(ax, bx) + half + 2)
        y0, y1 = int(min(ay, by) - half - 2), int(max(ay, by) + half + 2)
        for y in range(max(0, y0), min(canvas.h, y1 + 1)):
            for x in range(max(0, x0), min(canvas.w, x1 + 1)):
                d = seg_dist(x + 0.5, y + 0.5, ax, ay, bx, by)
                c = clamp(half + 0.5 - d)
                if c > cover.get((x, y), 0.0):
                    cover[(x, y)] = c
    for (x, y), c in cover.items():
        canvas.blend(x, y, color, c * alpha)


# ------------------------------------------------------------- stroke font
# Glyphs on a grid with the cap height 6 (y down); each is a list of polylines.

def _ellipse(cx, cy, rx, ry, a0=0, a1=360, steps=24):
    pts = []
    for i in range(steps + 1):
        a = math.radians(a0 + (a1 - a0) * i / steps)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


GLYPHS = {
    "A": [[(0, 6), (2.1, 0), (4.2, 6)], [(0.75, 4), (3.45, 4)]],
    "B": [[(0, 3), (2.7, 3), (3.5, 3.5), (3.8, 4.4), (3.5, 5.5), (2.7, 6), (0, 6), (0, 0),
           (2.5, 0), (3.3, 0.5), (3.5, 1.5), (3.3, 2.5), (2.5, 3)]],
    "C": [_ellipse(2.1, 3, 2.1, 3, 35, 325)],
    "D": [[(0, 0), (0, 6), (1.9, 6)] + _ellipse(1.9, 3, 2.1, 3, 90, -90, 14)[1:] + [(0, 0)]],
    "E": [[(3.6, 0), (0, 0), (0, 6), (3.6, 6)], [(0, 3), (3, 3)]],
    "F": [[(3.6, 0), (0, 0), (0, 6)], [(0, 3), (3, 3)]],
    "G": [_ellipse(2.1, 3, 2.1, 3, 320, 40, 20)[::-1] + [], [(4.2, 3.5), (4.2, 5.0)], [(2.4, 3.5), (4.2, 3.5)]],
    "H": [[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]],
    "I": [[(0, 0), (0, 6)]],
    "J": [[(3, 0), (3, 4.4)] + _ellipse(1.5, 4.4, 1.5, 1.6, 0, 160, 8)[1:]],
    "K": [[(0, 0), (0, 6)], [(3.9, 0), (0, 3.9)], [(1.35, 2.55), (4.1, 6)]],
    "L": [[(0, 0), (0, 6), (3.4, 6)]],
    "M": [[(0, 6), (0, 0), (2.4, 4.6), (4.8, 0), (4.8, 6)]],
    "N": [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    "O": [_ellipse(2.3, 3, 2.3, 3, 0, 360, 28)],
    "P": [[(0, 6), (0, 0), (2.6, 0), (3.5, 0.6), (3.8, 1.6), (3.5, 2.6), (2.6, 3.2), (0, 3.2)]],
    "Q": [_ellipse(2.3, 3, 2.3, 3, 0, 360, 28), [(2.7, 4.3), (4.6, 6.3)]],
    "R": [[(0, 6), (0, 0), (2.6, 0), (3.5, 0.6), (3.8, 1.6), (3.5, 2.6), (2.6, 3.2), (0, 3.2)],
          [(2.1, 3.2), (3.9, 6)]],
    "S": [[(3.7, 0.9), (3.0, 0.15), (1.9, 0), (0.9, 0.2), (0.25, 0.9), (0.25, 1.9), (0.9, 2.6),
           (3.0, 3.3), (3.75, 4.0), (3.8, 5.0), (3.2, 5.8), (2.0, 6.0), (0.9, 5.85), (0.1, 5.1)]],
    "T": [[(0, 0), (4.2, 0)], [(2.1, 0), (2.1, 6)]],
    "U": [[(0, 0), (0, 4.2)] + _ellipse(2, 4.2, 2, 1.8, 180, 0, 12)[1:] + [(4, 0)]],
    "V": [[(0, 0), (2.1, 6), (4.2, 0)]],
    "W": [[(0, 0), (1.3, 6), (2.7, 1.2), (4.1, 6), (5.4, 0)]],
    "X": [[(0, 0), (4, 6)], [(4, 0), (0, 6)]],
    "Y": [[(0, 0), (2.1, 3.2), (4.2, 0)], [(2.1, 3.2), (2.1, 6)]],
    "Z": [[(0, 0), (4, 0), (0, 6), (4, 6)]],
    "0": [_ellipse(1.9, 3, 1.9, 3, 0, 360, 24)],
    "2": [_ellipse(1.9, 1.8, 1.8, 1.8, 200, 370, 10)[:-1] + [(3.5, 2.9), (0, 6), (3.8, 6)]],
    "9": [_ellipse(1.9, 1.9, 1.8, 1.9, 0, 360, 20), [(3.7, 1.9), (3.5, 4.4), (2.8, 5.7), (1.7, 6), (0.5, 5.4)]],
    "-": [[(0, 3.2), (2.2, 3.2)]],
    ">": [[(0, 0.8), (2.8, 3), (0, 5.2)]],
    ".": [[(0, 6), (0, 6)]],
    "?": [_ellipse(2, 1.7, 1.8, 1.7, 190, 360, 10) + [(3.6, 2.6), (2.0, 3.6), (2.0, 4.4)], [(2.0, 6), (2.0, 6)]],
    "!": [[(0, 0), (0, 4.2)], [(0, 6), (0, 6)]],
    " ": [],
}
SPACE_WIDTH = 2.4


def glyph_width(ch):
    pts = [p for line in GLYPHS[ch] for p in line]
    return max((p[0] for p in pts), default=SPACE_WIDTH)


def text_segments(text, cap, x, y, tracking=1.6, stroke=0.0):
    """Segments of text with cap height cap, top-left at (x, y)."""
    s = cap / 6.0
    segs = []
    pen = x
    for ch in text:
        for line in GLYPHS[ch]:
            for i in range(max(1, len(line) - 1)):
                a = line[i]
                b = line[i + 1] if i + 1 < len(line) else line[i]
                segs.append((pen + a[0] * s, y + a[1] * s, pen + b[0] * s, y + b[1] * s))
        pen += glyph_width(ch) * s + tracking * s + stroke
    return segs, pen - x - tracking * s - stroke


def draw_text(canvas, text, cap, cx, cy, stroke, color, shadow=None, tracking=1.6):
    """Draws text centred on (cx, cy)."""
    _, width = text_segments(text, cap, 0, 0, tracking, stroke * 0.35)
    segs, _ = text_segments(text, cap, cx - width / 2, cy - cap / 2, tracking, stroke * 0.35)
    if shadow:
        sh = [(a + 1, b + 1, c + 1, d + 1) for a, b, c, d in segs]
        stroke_segments(canvas, sh, stroke, shadow[0], shadow[1])
    stroke_segments(canvas, segs, stroke, color)


def text_width(text, cap, stroke, tracking=1.6):
    return text_segments(text, cap, 0, 0, tracking, stroke * 0.35)[1]


# ---------------------------------------------------------------- buttons

STYLES = {
    # top colour, bottom colour, border, text colour, glow (colour) or None
    "notfocus": ((58, 125, 246), (10, 66, 196), (6, 46, 140), WHITE, None),
    "focus": ((96, 160, 255), (28, 96, 232), (6, 46, 140), WHITE, (255, 176, 32)),
    "disable": ((226, 228, 232), (196, 199, 205), (160, 164, 170), (140, 144, 150), None),
}


def push_button(w, h, label, style, corner_bg, radius=None):
    top, bottom, border, text, glow = STYLES[style]
    c = Canvas(w, h, corner_bg)
    r = radius if radius is not None else min(6, h / 4)
    inset = 0.5
    if glow:
        # a warm ring marks the button under the mouse or with the focus
        c.fill_sdf(sdf_round_rect(0, 0, w, h, r + 0.5), glow)
        inset = 2.0
    grad = lambda x, y: mix(top, bottom, clamp((y - inset) / max(1.0, h - 2 * inset)))
    c.fill_sdf(sdf_round_rect(inset, inset, w - inset, h - inset, max(1, r - inset / 2)), border)
    c.fill_sdf(sdf_round_rect(inset + 1, inset + 1, w - inset - 1, h - inset - 1,
                              max(1, r - inset / 2 - 1)), grad)
    if style != "disable":
        # glassy highlight over the upper half
        hl = sdf_round_rect(inset + 2, inset + 1.5, w - inset - 2, h / 2, max(1, r - 2))
        c.fill_sdf(hl, WHITE, alpha=0.18)
    cap = round(h * 0.40)
    stroke = max(1.6, cap * 0.2)
    shadow = ((0, 20, 70), 0.45) if style != "disable" else ((255, 255, 255), 0.8)
    draw_text(c, label, cap, w / 2, h / 2, stroke, text, shadow)
    return c


def close_button(size, style):
    colours = {
        "notfocus": ((120, 150, 200), (70, 100, 160), (40, 60, 110)),
        "focus": ((250, 96, 80), (200, 30, 20), (130, 10, 0)),
    }
    top, bottom, border = colours[style]
    c = Canvas(size, size, WHITE)
    c.fill_sdf(sdf_round_rect(0.5, 0.5, size - 0.5, size - 0.5, 4), border)
    grad = lambda x, y: mix(top, bottom, y / size)
    c.fill_sdf(sdf_round_rect(1.5, 1.5, size - 1.5, size - 1.5, 3), grad)
    m = size * 0.31
    stroke_segments(c, [(m, m, size - m, size - m), (size - m, m, m, size - m)], 2.4, WHITE)
    return c


def link_banner(w, h, line1, line2, style):
    """A text link: bold first line, smaller second line, arrow, underline on focus."""
    c = Canvas(w, h, WHITE)
    main = (6, 60, 200) if style == "notfocus" else (230, 110, 0)
    sub = (70, 90, 130) if style == "notfocus" else (40, 60, 110)
    if style == "focus":
        c.fill_sdf(sdf_round_rect(0.5, 0.5, w - 0.5, h - 0.5, 6), (255, 244, 222))
        c.fill_sdf(sdf_round_rect(1.5, 1.5, w - 1.5, h - 1.5, 5), (255, 250, 240))
    cap1, cap2 = (h * 0.30, h * 0.2) if line2 else (h * 0.36, 0)
    # shrink the first line until it fits with its arrow and margins
    while True:
        s1 = max(1.5, cap1 * 0.2)
        arrow_w = cap1 * 0.8
        tw = text_width(line1, cap1, s1)
        if tw + arrow_w + cap1 <= w - 10 or cap1 < 6:
            break
        cap1 -= 0.25
    left = (w - (tw + arrow_w + cap1)) / 2
    y1 = h * 0.36 if line2 else h / 2
    # arrow disc before the text
    ax = left + arrow_w / 2
    c.fill_sdf(sdf_circle(ax, y1, arrow_w * 0.62), main)
    a = arrow_w * 0.28
    stroke_segments(c, [(ax - a * 0.6, y1 - a, ax + a * 0.6, y1), (ax + a * 0.6, y1, ax - a * 0.6, y1 + a)],
                    max(1.4, s1 * 0.8), WHITE)
    tx = left + arrow_w + cap1
    draw_text(c, line1, cap1, tx + tw / 2, y1, s1, main)
    if style == "focus":
        stroke_segments(c, [(tx, y1 + cap1 / 2 + 3, tx + tw, y1 + cap1 / 2 + 3)], 1.3, main)
    if line2:
        s2 = max(1.2, cap2 * 0.18)
        draw_text(c, line2, cap2, tx + tw / 2, h * 0.76, s2, sub)
    return c


def logo(w, h, style):
    """The maker's emblem: a blue shield with a white T."""
    c = Canvas(w, h, WHITE)
    cx = w / 2
    shield = [(cx, 1.0), (w - 3, 5), (w - 4, h * 0.55), (cx, h - 1.0), (4, h * 0.55), (3, 5)]
    if style == "focus":
        ring = [(cx, -0.8), (w - 1.2, 4), (w - 2.2, h * 0.57), (cx, h + 0.6), (2.2, h * 0.57), (1.2, 4)]
        c.fill_sdf(sdf_polygon(ring), (255, 176, 32))
    top, bottom = ((40, 110, 250), (2, 50, 170)) if style == "notfocus" else ((80, 150, 255), (20, 80, 220))
    c.fill_sdf(sdf_polygon(shield), lambda x, y: mix(top, bottom, y / h))
    inner = [(cx, 4.5), (w - 6, 7.2), (w - 6.8, h * 0.54), (cx, h - 4.5), (6.8, h * 0.54), (6, 7.2)]
    c.fill_sdf(sdf_polygon(inner), WHITE, alpha=0.12)
    stroke_segments(c, [(cx - 7, 11, cx + 7, 11), (cx, 11, cx, h - 9)], 3.2, WHITE)
    return c


# ------------------------------------------------------------------ icons

def speech_bubble(c, fill, border):
    w, h = c.w, c.h
    body = sdf_round_rect(3, 2, w - 3, h - 10, 9)
    tail = sdf_polygon([(11, h - 13), (21, h - 13), (9, h - 2)])
    outline = lambda x, y: min(body(x, y), tail(x, y))
    c.fill_sdf(outline, border)
    inner_body = sdf_round_rect(4.6, 3.6, w - 4.6, h - 11.6, 7.4)
    inner_tail = sdf_polygon([(12.6, h - 14), (19.5, h - 14), (10.8, h - 5.2)])
    c.fill_sdf(lambda x, y: min(inner_body(x, y), inner_tail(x, y)),
               lambda x, y: mix(WHITE, fill, clamp(y / h * 1.3)))


def icon_information():
    c = Canvas(42, 40, LIGHT_BLUE)
    speech_bubble(c, (215, 232, 255), (30, 90, 210))
    blue = (20, 80, 210)
    c.fill_sdf(sdf_circle(21, 8.6, 2.2), blue)
    stroke_segments(c, [(21, 13.5, 21, 25)], 4.0, blue)
    stroke_segments(c, [(18.2, 13.6, 21, 13.6), (18, 25.4, 24, 25.4)], 1.8, blue)
    return c


def icon_question():
    c = Canvas(42, 40, LIGHT_BLUE)
    speech_bubble(c, (215, 232, 255), (30, 90, 210))
    blue = (20, 80, 210)
    draw_text(c, "?", 19, 21, 15.5, 3.4, blue, tracking=0)
    return c


def icon_warning():
    c = Canvas(42, 40, LIGHT_BLUE)
    outer = [(21, 1.5), (40.5, 37.5), (1.5, 37.5)]
    inner = [(21, 5.8), (37.0, 35.3), (5.0, 35.3)]
    c.fill_sdf(lambda x, y: sdf_polygon(outer)(x, y) - 1.2, (150, 100, 0))
    c.fill_sdf(lambda x, y: sdf_polygon(inner)(x, y) - 0.8,
               lambda x, y: mix((255, 230, 90), (245, 180, 0), y / 40))
    dark = (40, 30, 0)
    stroke_segments(c, [(21, 14, 21, 26)], 3.8, dark)
    c.fill_sdf(sdf_circle(21, 31.2, 2.1), dark)
    return c


def icon_error():
    c = Canvas(42, 40, LIGHT_BLUE)
    c.fill_sdf(sdf_circle(21, 20, 18.5), (140, 10, 10))
    c.fill_sdf(sdf_circle(21, 20, 17.2), lambda x, y: mix((250, 90, 80), (200, 20, 20), y / 40))
    c.fill_sdf(sdf_round_rect(8, 5, 34, 19, 8), WHITE, alpha=0.15)
    stroke_segments(c, [(14, 13, 28, 27), (28, 13, 14, 27)], 4.2, WHITE)
    return c


# ------------------------------------------------------------------ table

def build(out):
    os.makedirs(out, exist_ok=True)
    pictures = {}
    for base, label in (("SCAN", "SCAN"), ("DOWNLOAD", "DOWNLOAD")):
        for style in ("focus", "notfocus", "disable"):
            pictures[f"{base}_{style.upper()}"] = push_button(180, 33, label, style, WHITE)
    # OK and CANCEL appear on the white main window and on the light-blue box
    for base, label, bg in (("OK", "OK", (231, 242, 254)), ("CANCEL", "CANCEL", (231, 242, 254)),
                            ("YES", "YES", LIGHT_BLUE), ("NO", "NO", LIGHT_BLUE)):
        for style in ("focus", "notfocus"):
            pictures[f"{base}_{style.upper()}"] = push_button(92, 24, label, style, bg, radius=5)
    for style in ("focus", "notfocus"):
        pictures[f"X_{style.upper()}"] = close_button(21, style)
        pictures[f"DLINK_{style.upper()}"] = link_banner(
            313, 43, "DOWNLOAD ARDENTIS ANTIVIRUS", "COMPLETE PROTECTION FROM TESSARO", style)
        pictures[f"ULINK_{style.upper()}"] = link_banner(244, 28, "MORE FREE TOOLS", None, style)
        pictures[f"TESSAROLOGO_{style.upper()}"] = logo(38, 36, style)
    for name, canvas in pictures.items():
        canvas.save_bmp(os.path.join(out, name.lower() + ".bmp"))
    icons = {"icon_information": icon_information(), "icon_question": icon_question(),
             "icon_warning": icon_warning(), "icon_error": icon_error()}
    for name, canvas in icons.items():
        canvas.save_bmp(os.path.join(out, name + ".bmp"))
    return sorted(pictures)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res", "bitmaps")
    names = build(target)
    print(f"{len(names)} button pictures and 4 icons written to {os.path.normpath(target)}")
