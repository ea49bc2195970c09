#!/usr/bin/env python3
"""Draws the About box's logo, logo.png: a running shoe over three track
lanes, 48 x 44 pixels, at most 256 colours (an indexed PNG with
transparency). Standard library only:  python3 draw_logo.py [out.png]"""

import struct
import sys
import zlib

W, H = 48, 44
SAMPLES = 4  # per pixel and axis, for smooth edges

LANE = (40, 110, 200)
UPPER = (226, 72, 38)
UPPER_DARK = (170, 45, 25)
MIDSOLE = (250, 250, 245)
OUTSOLE = (55, 55, 60)
LACE = (255, 255, 255)

# Shapes in drawing order: (colour, polygon of (x, y) in pixels).
SHAPES = [
    # Three lanes of a track, fading into the shoe's wake.
    (LANE, [(0, 14), (14, 14), (14, 16), (0, 16)]),
    (LANE, [(2, 19.5), (12, 19.5), (12, 21.5), (2, 21.5)]),
    (LANE, [(4, 25), (10, 25), (10, 27), (4, 27)]),
    # Outsole, with a rounded toe.
    (OUTSOLE, [(9, 33), (40, 33), (44, 32), (46, 30), (46.5, 31.5), (45, 34.5), (41, 36.5),
               (10, 36.5), (8.5, 35)]),
    # Midsole.
    (MIDSOLE, [(9, 29), (38, 29), (44, 28), (46, 30), (44, 32), (40, 33), (9, 33)]),
    # Upper: heel, collar, tongue, lace line down to the toe.
    (UPPER, [(9, 29), (9.5, 17), (11, 13), (14, 12.5), (17, 16), (20, 15), (22, 10), (25, 10),
             (27, 16), (33, 20), (40, 23.5), (44, 25.5), (46, 28), (44, 28), (38, 29)]),
    # Heel counter and toe cap, a shade darker.
    (UPPER_DARK, [(9, 29), (9.5, 19), (14, 21), (15, 29)]),
    (UPPER_DARK, [(39, 23), (44, 25.5), (46, 28), (44, 28), (38, 29), (37, 25)]),
    # Laces.
    (LACE, [(23.5, 17), (27.5, 15.5), (28.3, 16.8), (24.3, 18.3)]),
    (LACE, [(26.5, 20), (30.5, 18), (31.3, 19.3), (27.3, 21.3)]),
    (LACE, [(29.5, 23), (33.5, 20.5), (34.3, 21.8), (30.3, 24.3)]),
]


def inside(x, y, poly):
    hit = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def render():
    pixels = []
    for py in range(H):
        row = []
        for px in range(W):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    colour = None
                    for c, poly in SHAPES:
                        if inside(x, y, poly):
                            colour = c
                    if colour:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        a += 1
            n = SAMPLES * SAMPLES
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((r // a, g // a, b // a, 255 * a // n))
        pixels.append(row)
    return pixels


def quantize(pixels, limit=256):
    step = 1
    while True:
        q = [[tuple(min(255, (v // step) * step) for v in p) if p[3] else (0, 0, 0, 0) for p in row]
             for row in pixels]
        colours = sorted({p for row in q for p in row}, key=lambda p: (p[3] == 255, p))
        if len(colours) <= limit:
            return q, colours
        step *= 2


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, pixels):
    q, palette = quantize(pixels)
    index = {c: i for i, c in enumerate(palette)}
    raw = b"".join(b"\0" + bytes(index[p] for p in row) for row in q)
    alphas = bytes(c[3] for c in palette)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 3, 0, 0, 0))
    png += chunk(b"PLTE", b"".join(bytes(c[:3]) for c in palette))
    png += chunk(b"tRNS", alphas.rstrip(b"\xff"))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    write_png(sys.argv[1] if len(sys.argv) > 1 else "logo.png", render())
