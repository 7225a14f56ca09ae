#!/usr/bin/env python3
"""Draws the program's icon: a request form with a seal, on the blue of the
profile's title bars.

    python3 make-icons.py [OUTPUT_FOLDER]

Writes reqwiz.svg and reqwiz-SIZE.png for each size of the desktop's icon
theme into OUTPUT_FOLDER (default: the icons folder beside this script). The
picture is a list of simple shapes on a 256-unit square; the SVG says them as
they are and the PNGs are drawn from the same list, each pixel sampled 4x4
times, with the standard library alone. The output is the same byte for byte
on every run, so the committed files can be checked against the script.
"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
UNIT = 256.0

BLUE = (0x33, 0x66, 0x99)
DARK_BLUE = (0x1F, 0x3F, 0x66)
PAPER = (0xFF, 0xFF, 0xFF)
FOLD = (0xC8, 0xD6, 0xE6)
LINE = (0xA8, 0xC4, 0xE0)
GOLD = (0xE8, 0xA8, 0x20)
DARK_GOLD = (0xB0, 0x78, 0x10)


def rounded_rect(x, y, w, h, r, colour):
    return ("rrect", (x, y, w, h, r), colour)


def polygon(points, colour):
    return ("poly", tuple(points), colour)


def circle(cx, cy, r, colour):
    return ("circle", (cx, cy, r), colour)


# Back to front.
SHAPES = [
    rounded_rect(8, 8, 240, 240, 40, BLUE),
    # The form, its corner folded.
    polygon([(56, 32), (164, 32), (204, 72), (204, 224), (56, 224)], PAPER),
    polygon([(164, 32), (204, 72), (164, 72)], FOLD),
    # Its lines of text.
    rounded_rect(78, 88, 104, 12, 6, LINE),
    rounded_rect(78, 114, 104, 12, 6, LINE),
    rounded_rect(78, 140, 64, 12, 6, LINE),
    # The seal with its two ribbons.
    polygon([(150, 196), (170, 196), (160, 246), (146, 232)], DARK_GOLD),
    polygon([(178, 196), (198, 196), (202, 232), (188, 246)], DARK_GOLD),
    circle(174, 180, 38, GOLD),
    circle(174, 180, 24, DARK_GOLD),
    circle(174, 180, 17, GOLD),
]


def inside(shape, x, y):
    kind, geometry, _ = shape
    if kind == "circle":
        cx, cy, r = geometry
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    if kind == "rrect":
        rx, ry, w, h, r = geometry
        if not (rx <= x <= rx + w and ry <= y <= ry + h):
            return False
        # Distance to the inner rectangle the corners are drawn around.
        dx = max(rx + r - x, 0.0, x - (rx + w - r))
        dy = max(ry + r - y, 0.0, y - (ry + h - r))
        return dx * dx + dy * dy <= r * r
    # Even-odd rule over the polygon's edges.
    points = geometry
    hit = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def bounds(shape):
    kind, g, _ = shape
    if kind == "circle":
        return g[0] - g[2], g[1] - g[2], g[0] + g[2], g[1] + g[2]
    if kind == "rrect":
        return g[0], g[1], g[0] + g[2], g[1] + g[3]
    xs = [p[0] for p in g]
    ys = [p[1] for p in g]
    return min(xs), min(ys), max(xs), max(ys)


def render(size):
    """RGBA rows of the icon at size x size pixels."""
    samples = 4
    scale = UNIT / size
    # Premultiplied colour and coverage per pixel.
    acc = [[0.0, 0.0, 0.0, 0.0] for _ in range(size * size)]
    for shape in SHAPES:
        colour = shape[2]
        x0, y0, x1, y1 = bounds(shape)
        px0, py0 = max(0, int(x0 / scale)), max(0, int(y0 / scale))
        px1, py1 = min(size, int(math.ceil(x1 / scale))), min(size, int(math.ceil(y1 / scale)))
        for py in range(py0, py1):
            for px in range(px0, px1):
                hits = 0
                for sy in range(samples):
                    for sx in range(samples):
                        x = (px + (sx + 0.5) / samples) * scale
                        y = (py + (sy + 0.5) / samples) * scale
                        if inside(shape, x, y):
                            hits += 1
                if hits == 0:
                    continue
                a = hits / (samples * samples)
                cell = acc[py * size + px]
                for c in range(3):
                    cell[c] = colour[c] / 255.0 * a + cell[c] * (1 - a)
                cell[3] = a + cell[3] * (1 - a)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r, g, b, a = acc[py * size + px]
            if a > 0:
                row += bytes(round(v / a * 255) for v in (r, g, b))
            else:
                row += b"\0\0\0"
            row.append(round(a * 255))
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg():
    def hexcolour(c):
        return "#%02x%02x%02x" % c

    def num(v):
        return ("%g" % v)

    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" '
           'viewBox="0 0 256 256">']
    for kind, g, colour in SHAPES:
        fill = hexcolour(colour)
        if kind == "circle":
            out.append('  <circle cx="%s" cy="%s" r="%s" fill="%s"/>' %
                       (num(g[0]), num(g[1]), num(g[2]), fill))
        elif kind == "rrect":
            out.append('  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>' %
                       (num(g[0]), num(g[1]), num(g[2]), num(g[3]), num(g[4]), fill))
        else:
            points = " ".join("%s,%s" % (num(x), num(y)) for x, y in g)
            out.append('  <polygon points="%s" fill="%s"/>' % (points, fill))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "reqwiz.svg"), "w", encoding="ascii") as f:
        f.write(svg())
    for size in SIZES:
        with open(os.path.join(folder, "reqwiz-%d.png" % size), "wb") as f:
            f.write(png(size, render(size)))


if __name__ == "__main__":
    main()
