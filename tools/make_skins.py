#!/usr/bin/env python3
"""Draws the percentage-bar skin bitmaps and writes them as 24-bit BMP files.

The output is committed (src/paint/skins/*.bmp) and compiled in as Qt resources, so the build never
runs this script. Run it again after changing a design:

    python3 tools/make_skins.py [output-folder]

Only the standard library is used; the BMP bytes are written here.
"""

import colorsys
import os
import struct
import sys

HEIGHT = 16


def write_bmp(path, width, pixels):
    """pixels[y][x] = (r, g, b), y = 0 is the top row. Uncompressed, bottom-up, 24 bits per pixel."""
    row_size = (width * 3 + 3) & ~3
    image_size = row_size * HEIGHT
    header_size = 14 + 40
    data = bytearray()
    data += struct.pack("<2sIHHI", b"BM", header_size + image_size, 0, 0, header_size)
    # 2835 pixels per metre is 72 dpi; 0 colours used and important means "all".
    data += struct.pack("<IiiHHIIiiII", 40, width, HEIGHT, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    for y in range(HEIGHT - 1, -1, -1):
        row = bytearray()
        for r, g, b in pixels[y]:
            row += bytes((b, g, r))
        row += bytes(row_size - len(row))
        data += row
    # Written beside the target and renamed over it, so an interrupted run never leaves half a file.
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def clamp(v):
    return max(0, min(255, int(round(v))))


def mix(a, b, t):
    return tuple(clamp(a[i] + (b[i] - a[i]) * t) for i in range(3))


def lighten(c, t):
    return mix(c, (255, 255, 255), t)


def darken(c, t):
    return mix(c, (0, 0, 0), t)


def gloss(y):
    """How much white a glossy bar shows at row y: a bright band in the upper half fading downwards."""
    if y < 7:
        return 0.55 - 0.06 * y
    return 0.0


def vertical_colour(top, bottom, y, shine):
    return lighten(mix(top, bottom, y / (HEIGHT - 1)), gloss(y) * shine)


def stretch_skin(width, top, bottom, outline, shine=1.0, inner=None):
    """A bar whose two outer columns on each side are its rounded ends: the stretch strategy keeps
    columns 0, 1, width-2 and width-1 unscaled and stretches everything between them."""
    pixels = []
    for y in range(HEIGHT):
        body = vertical_colour(top, bottom, y, shine)
        edge_inner = inner if inner is not None else mix(outline, body, 0.5)
        row = []
        for x in range(width):
            outer_col = x in (0, width - 1)
            inner_col = x in (1, width - 2)
            outer_row = y in (0, HEIGHT - 1)
            inner_row = y in (1, HEIGHT - 2)
            if outer_col and outer_row:
                # Rounded corner: blend the outline into the white cell background.
                row.append(mix(outline, (255, 255, 255), 0.6))
            elif outer_col or outer_row:
                row.append(outline)
            elif inner_col or inner_row:
                row.append(mix(edge_inner, body, 0.35))
            else:
                row.append(body)
        pixels.append(row)
    return pixels


def helix_skin(width):
    """Blue diagonal stripes; the stripe period divides the width, so tiles join without a seam."""
    period = 8
    assert width % period == 0
    dark = (14, 52, 140)
    light = (64, 124, 210)
    pixels = []
    for y in range(HEIGHT):
        row = []
        for x in range(width):
            phase = (x + y) % period
            t = 1.0 if phase < 4 else 0.0
            # Soften the stripe edges by one pixel so the diagonal does not look jagged.
            if phase in (0, 4):
                t = 0.5
            c = mix(dark, light, t)
            c = lighten(c, gloss(y) * 0.6)
            if y == HEIGHT - 1:
                c = darken(c, 0.35)
            row.append(c)
        pixels.append(row)
    return pixels


def spectrum_skin(width):
    """Green through yellow and orange to red, left to right, with a glossy top."""
    pixels = []
    for y in range(HEIGHT):
        row = []
        for x in range(width):
            hue = (1.0 - x / (width - 1)) * (120.0 / 360.0)
            r, g, b = colorsys.hsv_to_rgb(hue, 0.9, 0.95)
            c = (r * 255, g * 255, b * 255)
            c = lighten(tuple(clamp(v) for v in c), gloss(y) * 0.8)
            if y >= HEIGHT - 3:
                c = darken(c, 0.08 * (y - (HEIGHT - 4)))
            row.append(c)
        pixels.append(row)
    return pixels


# file name, width, drawing
SKINS = [
    ("cairo_helix.bmp", 32, lambda w: helix_skin(w)),
    ("crystal.bmp", 128, lambda w: stretch_skin(w, (200, 230, 252), (120, 190, 240), (70, 130, 190))),
    ("red_glass.bmp", 32, lambda w: stretch_skin(w, (236, 90, 90), (160, 16, 16), (110, 10, 10))),
    ("black_ice.bmp", 32,
     lambda w: stretch_skin(w, (150, 150, 158), (12, 12, 16), (200, 200, 210), shine=0.7, inner=(90, 90, 96))),
    ("blue_chip.bmp", 32,
     lambda w: stretch_skin(w, (80, 130, 230), (10, 40, 140), (140, 180, 250), shine=0.5, inner=(60, 100, 200))),
    ("brown_brick.bmp", 32,
     lambda w: stretch_skin(w, (222, 190, 140), (120, 70, 30), (90, 50, 20), shine=0.4)),
    ("center_court.bmp", 32, lambda w: stretch_skin(w, (214, 244, 190), (150, 212, 110), (70, 130, 40))),
    ("green_to_red.bmp", 320, lambda w: spectrum_skin(w)),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "paint", "skins")
    os.makedirs(out, exist_ok=True)
    for name, width, draw in SKINS:
        pixels = draw(width)
        assert len(pixels) == HEIGHT and all(len(row) == width for row in pixels)
        write_bmp(os.path.join(out, name), width, pixels)
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
