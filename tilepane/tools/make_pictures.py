#!/usr/bin/env python3
"""Makes the sample pictures of the home tile pane: the frame pieces around its web area
under resource/tilepane/ and the skin's emblem drawn above the service links.

    python3 tilepane/tools/make_pictures.py

Pure white pixels of the corners and the emblem are drawn transparent by the pane.
"""
import os
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "skinframe", "tools"))
from make_skin import mix, write_bmp  # noqa: E402

WHITE = (255, 255, 255)
EDGE = (171, 171, 171)
SHADE_IN = (226, 233, 243)
SHADE_OUT = (246, 249, 254)
BLUE = (56, 104, 184)
LIGHT = (120, 168, 232)
GREEN = (76, 170, 96)
ORANGE = (238, 150, 52)


def tile(path):
    return os.path.join(ROOT, "resource", "tilepane", path)


def shade_down(x, y, height=12):
    return mix(SHADE_IN, SHADE_OUT, y / (height - 1))


def shade_side(width, inner_right):
    def pixel(x, y):
        t = (width - 1 - x) / (width - 1) if inner_right else x / (width - 1)
        return mix(SHADE_IN, SHADE_OUT, t)
    return pixel


def corner(left):
    """18 x 18: a quarter ring that joins the side strip to the bottom strip."""
    def pixel(x, y):
        cx = 17.5 if left else 0.5
        d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - 0.5) ** 2) ** 0.5
        if 8 <= d <= 9.2:
            return EDGE
        if d < 8 and y < 9:
            return SHADE_IN
        return WHITE
    return pixel


def gray(x, y):
    return (208, 208, 208) if (x // 4 + y // 4) % 2 else (224, 224, 224)


def emblem(x, y):
    """120 x 40: four rounded tiles in a row, the client's home tiles."""
    colours = [BLUE, LIGHT, GREEN, ORANGE]
    i = x // 30
    lx, ly = x - i * 30, y
    if i < 4 and 3 <= lx <= 26 and 8 <= ly <= 31:
        r = 4
        cx = min(max(lx, 3 + r), 26 - r)
        cy = min(max(ly, 8 + r), 31 - r)
        if (lx - cx) ** 2 + (ly - cy) ** 2 <= r * r:
            top = colours[i]
            return mix(top, (255, 255, 255), 0.25 * (1 - (ly - 8) / 23))
    return WHITE


def main():
    write_bmp(tile("ele_v.bmp"), 32, 12, shade_down)
    write_bmp(tile("ele_h_l.bmp"), 10, 32, shade_side(10, True))
    write_bmp(tile("ele_h_r.bmp"), 10, 32, shade_side(10, False))
    write_bmp(tile("c_l.bmp"), 18, 18, corner(True))
    write_bmp(tile("c_r.bmp"), 18, 18, corner(False))
    write_bmp(tile("gray.bmp"), 16, 16, gray)
    write_bmp(os.path.join(ROOT, "Skins", "Default", "tile_emblem.bmp"), 120, 40, emblem)
    print("wrote the tile pane pictures")


if __name__ == "__main__":
    main()
