#!/usr/bin/env python3
"""Generate yorisen.ico: a mouse with its left button lit, and a lightning bolt.

Standard library only and free of randomness or timestamps, so re-running it
reproduces the committed icon byte for byte.

Usage: python3 make_icon.py [output.ico]   (default: yorisen.ico next to this file)
"""

import math
import os
import struct
import sys
import zlib

# The artwork is drawn in a 32x32 unit space (y down). Edges sit on odd units
# so that a 1 px stroke at 16 px and a 2 px stroke at 32 px land on whole pixels.
UNITS = 32.0

MOUSE_X0, MOUSE_X1 = 3.0, 19.0
MOUSE_Y0, MOUSE_Y1 = 7.0, 31.0
MOUSE_RADIUS = 8.0
BUTTON_SPLIT_X = 11.0   # gap between left and right buttons
BUTTON_BOTTOM_Y = 17.0  # where the buttons end and the palm begins

BOLT = [(21.0, 1.0), (31.0, 1.0), (26.0, 11.0), (31.0, 11.0),
        (17.0, 31.0), (21.0, 17.0), (16.0, 17.0)]

# Motion ticks above the left button: short strokes that read as "clicking fast".
# Placed on pixel centres at 16 px so they stay solid instead of blurring.
TICKS = [((1.0, 3.0), (3.0, 5.0)), ((7.0, 1.0), (7.0, 4.0))]

# Stroke width in pixels per icon size: kept near 1 px at small sizes so the
# outline stays a single crisp pixel, thicker at larger sizes to keep weight.
STROKE_PX = {16: 1.0, 20: 1.25, 24: 1.5, 32: 2.0, 48: 2.75}

# Standard 16-colour VGA palette in the order Windows expects for 4 bpp icons.
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
VGA_INDEX = {"ink": 0, "body": 15, "shade": 7, "button": 9, "bolt": 11, "tick": 9}


# --- signed distance helpers (negative inside) -------------------------------

def sd_round_box(x, y, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    qx = abs(x - cx) - (x1 - x0) / 2 + r
    qy = abs(y - cy) - (y1 - y0) / 2 + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def sd_segment(x, y, a, b):
    ax, ay = a
    bx, by = b
    px, py = x - ax, y - ay
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - dx * t, py - dy * t)


def sd_polygon(x, y, pts):
    d = float("inf")
    inside = False
    n = len(pts)
    for i in range(n):
        a, b = pts[i], pts[(i + 1) % n]
        d = min(d, sd_segment(x, y, a, b))
        if (a[1] > y) != (b[1] > y):
            xc = a[0] + (y - a[1]) * (b[0] - a[0]) / (b[1] - a[1])
            if x < xc:
                inside = not inside
    return -d if inside else d


# --- scene ---------------------------------------------------------------------

def scene(x, y, w):
    """Return the material at unit-space point (x, y); w is stroke width in units."""
    h = w / 2
    # Front to back, so the first hit wins.
    db = sd_polygon(x, y, BOLT)
    if db < -h:
        return "bolt"
    if db <= h:
        return "ink"
    dm = sd_round_box(x, y, MOUSE_X0, MOUSE_Y0, MOUSE_X1, MOUSE_Y1, MOUSE_RADIUS)
    if dm < -h:
        if y < BUTTON_BOTTOM_Y + h and abs(x - BUTTON_SPLIT_X) <= h:
            return "ink"
        if abs(y - BUTTON_BOTTOM_Y) <= h:
            return "ink"
        if y < BUTTON_BOTTOM_Y and x < BUTTON_SPLIT_X:
            return "button"
        # Lower-right rim of the palm in a darker tone for a bit of volume.
        if dm > -h - w * 0.9 and x > (MOUSE_X0 + MOUSE_X1) / 2 and y > BUTTON_BOTTOM_Y:
            return "shade"
        return "body"
    if dm <= h:
        return "ink"
    for a, b in TICKS:
        if sd_segment(x, y, a, b) <= max(h, 0.5 * UNITS / 16):
            return "tick"
    return None


def colour(mat, x, y):
    """Straight RGB for the 32-bit images; gentle gradients add depth."""
    t = y / UNITS
    if mat == "ink":
        return (0x1B, 0x23, 0x33)
    if mat == "body":
        return lerp((0xFF, 0xFF, 0xFF), (0xDD, 0xE3, 0xEC), t)
    if mat == "shade":
        return (0xB4, 0xBE, 0xCC)
    if mat == "button":
        return lerp((0xFF, 0x5A, 0x3C), (0xD8, 0x1E, 0x1E), (y - MOUSE_Y0) / (BUTTON_BOTTOM_Y - MOUSE_Y0))
    if mat == "bolt":
        return lerp((0xFF, 0xE8, 0x4A), (0xFF, 0xA4, 0x00), t)
    if mat == "tick":
        return (0xFF, 0x4A, 0x2A)
    raise ValueError(mat)


def lerp(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# --- rasterising ----------------------------------------------------------------

def render_rgba(size, ss=8):
    """Supersampled render: rows top-down of (r, g, b, a) tuples, straight alpha."""
    scale = UNITS / size
    w = STROKE_PX[size] * scale
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(ss):
                for sx in range(ss):
                    x = (px + (sx + 0.5) / ss) * scale
                    y = (py + (sy + 0.5) / ss) * scale
                    mat = scene(x, y, w)
                    if mat is None:
                        continue
                    c = colour(mat, x, y)
                    acc[0] += c[0]
                    acc[1] += c[1]
                    acc[2] += c[2]
                    acc[3] += 1.0
            n = ss * ss
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                            round(acc[2] / acc[3]), round(255 * acc[3] / n)))
        rows.append(row)
    return rows


def render_indexed(size, ss=4):
    """Majority-vote render into VGA indices; None marks transparent pixels."""
    scale = UNITS / size
    w = STROKE_PX[size] * scale
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            votes = {}
            for sy in range(ss):
                for sx in range(ss):
                    x = (px + (sx + 0.5) / ss) * scale
                    y = (py + (sy + 0.5) / ss) * scale
                    mat = scene(x, y, w)
                    key = None if mat is None else VGA_INDEX[mat]
                    votes[key] = votes.get(key, 0) + 1
            # Ties resolve to the darkest/lowest index so outlines stay closed.
            best = max(votes.items(), key=lambda kv: (kv[1], -(99 if kv[0] is None else kv[0])))
            row.append(best[0])
        rows.append(row)
    return rows


# --- ICO encoding ---------------------------------------------------------------

def and_mask(rows, transparent):
    """1 bpp mask, bottom-up, rows padded to 32 bits; set bit = transparent."""
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if transparent(p):
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def bitmap_header(size, bpp, image_bytes, colours):
    # Height is doubled because the XOR image and the AND mask are stacked.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                       image_bytes, 0, 0, colours, 0)


def encode_rgba(rows):
    size = len(rows)
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask = and_mask(rows, lambda p: p[3] == 0)
    return bitmap_header(size, 32, len(xor) + len(mask), 0) + bytes(xor) + mask


def encode_4bpp(rows):
    size = len(rows)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    stride = ((size * 4 + 31) // 32) * 4
    xor = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, idx in enumerate(row):
            # Transparent pixels use index 0 (black) under a set mask bit: the
            # classic icon convention that keeps them invisible on any background.
            v = 0 if idx is None else idx
            line[x // 2] |= v << (4 if x % 2 == 0 else 0)
        xor += line
    mask = and_mask(rows, lambda p: p is None)
    return bitmap_header(size, 4, len(xor) + len(mask), 16) + palette + bytes(xor) + mask


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def encode_png(rows):
    """RGBA PNG: Vista and later read it in an icon at a quarter of the
    bytes. Each row takes the filter that leaves the smallest sum, the
    usual heuristic; no time or text chunks, so the bytes stay the same."""
    size = len(rows)
    raw = bytearray()
    previous = bytes(4 * size)
    for row in rows:
        line = bytes(v for pixel in row for v in pixel)
        candidates = []
        for kind in range(5):
            out = bytearray((kind,))
            for i, v in enumerate(line):
                left = line[i - 4] if i >= 4 else 0
                up = previous[i]
                corner = previous[i - 4] if i >= 4 else 0
                if kind == 1:
                    v -= left
                elif kind == 2:
                    v -= up
                elif kind == 3:
                    v -= (left + up) // 2
                elif kind == 4:
                    p = left + up - corner
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                    v -= left if pa <= pb and pa <= pc else up if pb <= pc else corner
                out.append(v & 0xFF)
            candidates.append((sum(b if b < 128 else 256 - b for b in out[1:]), kind, out))
        raw += min(candidates)[2]
        previous = line
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


# Sizes stored as PNG: every 32-bit one. An icon image resource may be a PNG
# from Vista on, at any size (The Old New Thing, "The format of icon
# resources, revisited", 2023-10-25); it is 3 KB less than bitmaps.
PNG_SIZES = (16, 20, 24, 32, 48)


def build_ico():
    images = [(32, 4, 16, encode_4bpp(render_indexed(32)))]
    for size in (16, 20, 24, 32, 48):
        encode = encode_png if size in PNG_SIZES else encode_rgba
        images.append((size, 32, 0, encode(render_rgba(size))))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bpp, ncol, data in images:
        out += struct.pack("<BBBBHHII", size, size, ncol, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, _, data in images:
        out += data
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "yorisen.ico")
    with open(path, "wb") as f:
        f.write(build_ico())


if __name__ == "__main__":
    main()
