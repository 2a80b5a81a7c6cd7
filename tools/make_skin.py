#!/usr/bin/env python3
"""Draws the main window's skin (bitmap 156) and the application icon (128).

    python3 tools/make_skin.py            writes res/skin.bmp and res/scourix.ico

Standard library only: the pictures are drawn into float RGB canvases with
anti-aliased strokes and polygons, then written as an 8-bit BMP (palette made
by median cut) and a .ico holding 16 x 16 and 32 x 32 images in 8 and 32 bits.

The skin is 527 x 338. The window shows exactly that area and the controls
are laid out on top of it, so the bands below follow the control rectangles
after the dialog is stretched to 600 x 337 (client coordinates = skin pixels):
  header   y   0..35   wordmark, close button X at (498, 4)
  banner   y  35..61   the family label (53..472 x 40..58) paints white on
                       RGB(2, 77, 246); the band is exactly that blue
  toolbar  y  61..104  SCAN (18, 64) and DOWNLOAD (325, 64), 180 x 33 each
  content  y 104..276  white: titles, status group, result list, DLINK
  footer   y 276..338  ULINK (132, 285), OK/CANCEL (219, 285), logo (476, 280)
The window's border draws the left and top edge; the skin draws the right
and bottom edge itself at x = 525 and y = 336 (the last pixels shown).
"""
import math
import os
import struct
import sys

W, H = 527, 338
BANNER_BLUE = (2, 77, 246)
WHITE = (255, 255, 255)
FRAME = (10, 22, 58)

HEADER = (0, 35)
BANNER = (35, 61)
TOOLBAR = (61, 104)
CONTENT = (104, 276)
FOOTER = (276, 338)


# ---------------------------------------------------------------- canvas

class Canvas:
    def __init__(self, w, h, colour=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[list(map(float, colour)) for _ in range(w)] for _ in range(h)]

    def blend(self, x, y, colour, alpha):
        if alpha <= 0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        alpha = min(alpha, 1.0)
        p = self.px[y][x]
        for i in range(3):
            p[i] += (colour[i] - p[i]) * alpha

    def get(self, x, y):
        return self.px[y][x]

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.h, y1)):
            row = self.px[y]
            for x in range(max(0, x0), min(self.w, x1)):
                row[x] = list(map(float, colour))

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        n = max(1, y1 - y0 - 1)
        for y in range(y0, y1):
            t = (y - y0) / n
            c = [top[i] + (bottom[i] - top[i]) * t for i in range(3)]
            self.fill(x0, y, x1, y + 1, c)

    def hline(self, x0, x1, y, colour, alpha=1.0):
        for x in range(x0, x1):
            self.blend(x, y, colour, alpha)

    def vline(self, x, y0, y1, colour, alpha=1.0):
        for y in range(y0, y1):
            self.blend(x, y, colour, alpha)

    def rgb_bytes(self):
        return [[tuple(int(max(0, min(255, round(v)))) for v in p) for p in row] for row in self.px]


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    l2 = dx * dx + dy * dy
    t = 0.0 if l2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / l2))
    qx, qy = ax + t * dx - px, ay + t * dy - py
    return math.sqrt(qx * qx + qy * qy)


def stroke(canvas, polylines, width, colour, alpha=1.0):
    """Round-capped strokes; coverage from the distance to the nearest segment."""
    r = width / 2.0
    segs = []
    for line in polylines:
        for a, b in zip(line, line[1:]):
            segs.append((a[0], a[1], b[0], b[1]))
    if not segs:
        return
    xs = [s[0] for s in segs] + [s[2] for s in segs]
    ys = [s[1] for s in segs] + [s[3] for s in segs]
    for y in range(int(min(ys) - r - 2), int(max(ys) + r + 3)):
        for x in range(int(min(xs) - r - 2), int(max(xs) + r + 3)):
            cx, cy = x + 0.5, y + 0.5
            d = min(seg_dist(cx, cy, *s) for s in segs)
            cov = r + 0.5 - d
            if cov > 0:
                canvas.blend(x, y, colour, min(1.0, cov) * alpha)


def inside_polygon(x, y, poly):
    inside = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def fill_polygon(canvas, poly, colour_at, samples=4):
    """colour_at(x, y) gives the fill colour; 4 x 4 samples per pixel."""
    xs = [p[0] for p in poly]
    ys = [p[1] for p in poly]
    step = 1.0 / samples
    for y in range(int(min(ys)) - 1, int(max(ys)) + 2):
        for x in range(int(min(xs)) - 1, int(max(xs)) + 2):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    if inside_polygon(x + (sx + 0.5) * step, y + (sy + 0.5) * step, poly):
                        hits += 1
            if hits:
                canvas.blend(x, y, colour_at(x, y), hits / (samples * samples))


def arc(cx, cy, rx, ry, t0, t1, n=24):
    pts = []
    for i in range(n + 1):
        t = math.radians(t0 + (t1 - t0) * i / n)
        pts.append((cx + rx * math.cos(t), cy + ry * math.sin(t)))
    return pts


# ---------------------------------------------------------------- stroke font
# Unit cap height, y down; each glyph is (width, [polylines]).

def _glyphs():
    g = {}
    g['A'] = (0.78, [[(0, 1), (0.39, 0), (0.78, 1)], [(0.14, 0.64), (0.64, 0.64)]])
    g['C'] = (0.78, [arc(0.47, 0.5, 0.47, 0.5, -48, -312)])
    g['E'] = (0.58, [[(0.58, 0), (0, 0), (0, 1), (0.58, 1)], [(0, 0.5), (0.5, 0.5)]])
    g['I'] = (0.0, [[(0, 0), (0, 1)]])
    g['J'] = (0.5, [[(0.5, 0), (0.5, 0.74)] + arc(0.25, 0.74, 0.25, 0.26, 0, 160)])
    g['L'] = (0.55, [[(0, 0), (0, 1), (0.55, 1)]])
    g['M'] = (0.9, [[(0, 1), (0, 0), (0.45, 0.72), (0.9, 0), (0.9, 1)]])
    g['N'] = (0.74, [[(0, 1), (0, 0), (0.74, 1), (0.74, 0)]])
    g['O'] = (0.96, [arc(0.48, 0.5, 0.48, 0.5, 0, 360, 40)])
    g['R'] = (0.66, [[(0, 1), (0, 0), (0.4, 0)] + arc(0.4, 0.26, 0.26, 0.26, -90, 90) + [(0, 0.52)],
                     [(0.34, 0.52), (0.66, 1)]])
    g['S'] = (0.64, [arc(0.32, 0.25, 0.3, 0.25, -25, -270, 20) + arc(0.32, 0.75, 0.32, 0.25, -90, 155, 20)])
    g['T'] = (0.7, [[(0, 0), (0.7, 0)], [(0.35, 0), (0.35, 1)]])
    g['U'] = (0.72, [[(0, 0), (0, 0.62)] + arc(0.36, 0.62, 0.36, 0.38, 180, 0) + [(0.72, 0)]])
    g['V'] = (0.78, [[(0, 0), (0.39, 1), (0.78, 0)]])
    g['X'] = (0.72, [[(0, 0), (0.72, 1)], [(0.72, 0), (0, 1)]])
    g['0'] = (0.6, [arc(0.3, 0.5, 0.3, 0.5, 0, 360, 32)])
    g['1'] = (0.3, [[(0, 0.2), (0.3, 0), (0.3, 1)]])
    g['.'] = (0.0, [[(0, 1), (0, 1)]])
    return g


GLYPHS = _glyphs()


def text_width(text, size, weight, spacing):
    w = 0.0
    for ch in text:
        if ch == ' ':
            w += size * 0.45
            continue
        gw, _ = GLYPHS[ch]
        w += gw * size + weight + spacing
    return w - spacing


def draw_text(canvas, text, x, y, size, weight, colour, spacing, alpha=1.0):
    """x, y: top-left of the cap height box (stroke centres)."""
    pen = x + weight / 2.0
    for ch in text:
        if ch == ' ':
            pen += size * 0.45
            continue
        gw, lines = GLYPHS[ch]
        scaled = [[(pen + px * size, y + py * size) for px, py in line] for line in lines]
        stroke(canvas, scaled, weight, colour, alpha)
        pen += gw * size + weight + spacing


# ---------------------------------------------------------------- shield mark

def shield_outline(x, y, w, h, n=16):
    """A heraldic shield: flat top with soft shoulders, curved sides to a point."""
    right = [(x + w * 0.5, y), (x + w * 0.78, y + h * 0.04), (x + w, y + h * 0.13)]
    # side: from (1, .13) bending down to the tip (0.5, 1)
    for i in range(1, n + 1):
        t = i / n
        # quadratic Bezier (1, .13) -> (1, .62) -> (.5, 1)
        bx = (1 - t) ** 2 * 1.0 + 2 * (1 - t) * t * 1.0 + t * t * 0.5
        by = (1 - t) ** 2 * 0.13 + 2 * (1 - t) * t * 0.62 + t * t * 1.0
        right.append((x + w * bx, y + h * by))
    left = [(2 * x + w - px, py) for px, py in reversed(right[1:-1])]
    return right + left


def draw_shield(canvas, x, y, w, h, check_weight):
    outer = shield_outline(x, y, w, h)
    fill_polygon(canvas, outer, lambda px, py: (235, 242, 255))
    inset = max(1.0, w * 0.09)
    inner = shield_outline(x + inset, y + inset, w - 2 * inset, h - 2 * inset * 1.15)

    def inner_colour(px, py):
        t = max(0.0, min(1.0, (py - y) / h))
        top, bottom = (64, 140, 255), (2, 62, 200)
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))

    fill_polygon(canvas, inner, inner_colour)
    check = [(x + w * 0.27, y + h * 0.5), (x + w * 0.45, y + h * 0.68), (x + w * 0.76, y + h * 0.3)]
    stroke(canvas, [check], check_weight, (255, 255, 255))


# ---------------------------------------------------------------- the skin

def draw_skin():
    c = Canvas(W, H, WHITE)

    # header: deep navy, a little lighter towards the banner
    c.vgradient(0, HEADER[0], W, HEADER[1], (9, 24, 72), (16, 44, 128))
    # faint diagonal sheen over the right of the header
    for y in range(*HEADER):
        for x in range(300, W):
            d = (x - 300) - (y * 0.6)
            if 0 < d < 160:
                c.blend(x, y, (70, 120, 230), 0.10 * math.sin(math.pi * d / 160))
    c.hline(0, W, HEADER[1] - 1, (40, 90, 210), 0.6)

    # banner: exactly the family label's blue, light edges above and below
    c.fill(0, BANNER[0], W, BANNER[1], BANNER_BLUE)
    c.hline(0, W, BANNER[0], (90, 150, 255), 0.55)
    c.hline(0, W, BANNER[1] - 1, (1, 50, 170), 0.8)

    # The buttons, links and logo are drawn on white, as are the labels
    # (their background brush is white): the body is white, with light rules
    # between the toolbar, the content and the footer.
    c.fill(0, TOOLBAR[0], W, FOOTER[1], WHITE)
    rule = (206, 218, 240)
    c.hline(12, W - 14, TOOLBAR[1] - 1, rule)
    c.hline(12, W - 14, FOOTER[0], rule)
    for x in (5, W - 8):
        c.vline(x, CONTENT[0] + 6, CONTENT[1] - 6, (226, 234, 248))

    # header artwork: shield mark, wordmark, tagline
    draw_shield(c, 12, 4, 22, 27, 2.6)
    draw_text(c, 'SCOURIX', 44, 9.5, 16, 2.7, (255, 255, 255), 2.6)
    tag = 'TROJAN REMOVAL TOOL'
    tw = text_width(tag, 7, 1.15, 1.6)
    draw_text(c, tag, 190, 14, 7, 1.15, (150, 185, 245), 1.6)

    # footer: the version, bottom left
    draw_text(c, 'V1.0', 18, 302, 7, 1.15, (120, 140, 180), 1.4)

    # frame: the window border draws left and top; right and bottom here
    c.vline(W - 2, 0, H, FRAME)
    c.hline(0, W, H - 2, FRAME)
    return c


# ---------------------------------------------------------------- icon

def draw_icon(size):
    """RGBA pixels of the shield mark at size x size."""
    c = Canvas(size, size, (0, 0, 0))
    a = Canvas(size, size, (0, 0, 0))   # coverage, drawn in white
    w = size * 0.84
    h = size * 0.96
    x = (size - w) / 2
    y = size * 0.02
    draw_shield(c, x, y, w, h, max(1.6, size * 0.11))
    fill_polygon(a, shield_outline(x, y, w, h), lambda px, py: (255, 255, 255))
    out = []
    for yy in range(size):
        row = []
        for xx in range(size):
            alpha = a.get(xx, yy)[0] / 255.0
            p = c.get(xx, yy)
            if alpha > 0:
                # undo the blend against black so the edge keeps its colour
                col = tuple(min(255, round(v / alpha)) for v in p)
            else:
                col = (0, 0, 0)
            row.append(col + (round(alpha * 255),))
        out.append(row)
    return out


# ---------------------------------------------------------------- palette

# LR_LOADMAP3DCOLORS replaces these greys in a loaded bitmap's colour table
# with the system's 3-D colours; the magenta is the window shape's key.
AVOID = {(128, 128, 128), (192, 192, 192), (223, 223, 223), (255, 0, 255)}


def median_cut(counts, boxes):
    """counts: {colour: n}. Returns up to `boxes` representative colours."""
    work = [list(counts.items())]
    while len(work) < boxes:
        best, best_i, best_ch = -1, -1, 0
        for i, box in enumerate(work):
            if len(box) < 2:
                continue
            for ch in range(3):
                lo = min(col[ch] for col, _ in box)
                hi = max(col[ch] for col, _ in box)
                weight = (hi - lo) * math.log(2 + sum(n for _, n in box))
                if weight > best:
                    best, best_i, best_ch = weight, i, ch
        if best <= 0:
            break
        box = sorted(work.pop(best_i), key=lambda e: e[0][best_ch])
        total = sum(n for _, n in box)
        acc, cut = 0, 1
        for k, (_, n) in enumerate(box):
            acc += n
            if acc >= total / 2:
                cut = max(1, min(len(box) - 1, k + 1))
                break
        work.append(box[:cut])
        work.append(box[cut:])
    result = []
    for box in work:
        total = sum(n for _, n in box)
        result.append(tuple(round(sum(col[ch] * n for col, n in box) / total) for ch in range(3)))
    return result


def make_palette(pixels_rows, fixed, size=256):
    counts = {}
    for row in pixels_rows:
        for p in row:
            counts[p] = counts.get(p, 0) + 1
    rest = {k: v for k, v in counts.items() if k not in fixed}
    if len(rest) + len(fixed) <= size:
        palette = list(fixed) + sorted(rest)
    else:
        palette = list(fixed) + median_cut(rest, size - len(fixed))
    cleaned = []
    for p in palette:
        while p in AVOID or p in cleaned:
            p = (p[0], p[1] ^ 1, p[2]) if p[1] < 255 else (p[0], p[1] - 1, p[2])
        cleaned.append(p)
    while len(cleaned) < size:
        cleaned.append((0, 0, 0))
    cache = {}

    def index_of(col):
        i = cache.get(col)
        if i is None:
            best = None
            for k, q in enumerate(cleaned):
                d = (q[0] - col[0]) ** 2 * 3 + (q[1] - col[1]) ** 2 * 4 + (q[2] - col[2]) ** 2 * 2
                if best is None or d < best:
                    best, i = d, k
            cache[col] = i
        return i

    indices = [[index_of(p) for p in row] for row in pixels_rows]
    return cleaned, indices


# ---------------------------------------------------------------- writers

def bmp8(palette, indices):
    h, w = len(indices), len(indices[0])
    stride = (w + 3) & ~3
    data = bytearray()
    for row in reversed(indices):
        data += bytes(row) + b'\0' * (stride - w)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(data), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(pal)
    header = b'BM' + struct.pack('<IHHI', offset + len(data), 0, 0, offset)
    return header + info + pal + bytes(data)


def and_mask(rgba):
    size = len(rgba)
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rgba):
        bits = bytearray(stride)
        for x, p in enumerate(row):
            if p[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def icon_image_32(rgba):
    size = len(rgba)
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(rgba):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    return info + bytes(xor) + and_mask(rgba)


def icon_image_8(rgba):
    size = len(rgba)
    # opaque colours over the blue-grey of a typical desktop for the edge pixels
    rows = []
    for row in rgba:
        out = []
        for r, g, b, a in row:
            if a < 128:
                out.append((0, 0, 0))
            else:
                out.append((r, g, b))
        rows.append(out)
    palette, indices = make_palette(rows, [(0, 0, 0), WHITE])
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in palette)
    info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    xor = bytearray()
    for row in reversed(indices):
        xor += bytes(row)   # 16 and 32 are multiples of 4
    return info + pal + bytes(xor) + and_mask(rgba)


def ico(images):
    """images: list of (size, bits per pixel, image bytes)."""
    head = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b'', b''
    for size, bpp, blob in images:
        entries += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
        blobs += blob
    return head + entries + blobs


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    res = os.path.join(root, 'res')
    skin = draw_skin().rgb_bytes()
    palette, indices = make_palette(skin, [BANNER_BLUE, WHITE, FRAME])
    for row in indices:
        for i in row:
            assert palette[i] != (255, 0, 255)
    with open(os.path.join(res, 'skin.bmp'), 'wb') as f:
        f.write(bmp8(palette, indices))
    images = []
    for size in (32, 16):
        images.append((size, 8, icon_image_8(draw_icon(size))))
    for size in (32, 16):
        images.append((size, 32, icon_image_32(draw_icon(size))))
    with open(os.path.join(res, 'scourix.ico'), 'wb') as f:
        f.write(ico(images))
    print('wrote res/skin.bmp and res/scourix.ico')
    return 0


if __name__ == '__main__':
    sys.exit(main())
