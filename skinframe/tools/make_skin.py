#!/usr/bin/env python3
"""Writes the pictures of the default dialog skin and the two window corner masks.

    python3 skinframe/tools/make_skin.py [repository root]

Every picture is an uncompressed 24-bit BMP, the form the window manager loads from a file
without help. The corner masks follow the radius-10 arcs of the drawn window frame: black
pixels stay inside the window, white ones are cut away.
"""
import os
import struct
import sys

SKIN = "Default"


def write_bmp(path, width, height, pixel):
    """pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(header + info + data)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GLYPH = (52, 72, 112)
BACK_TOP = (246, 249, 254)
BACK_BOTTOM = (219, 230, 246)
ACCENT = (78, 118, 186)


def glyph_strip(x, y):
    # Minimise glyph in x 0..10: a bar near the bottom.
    if x < 11:
        return GLYPH if 2 <= x <= 8 and 5 <= y <= 6 else WHITE
    # Close glyph in x 11..21: two crossed strokes two pixels wide.
    gx = x - 11
    d1 = gx - 1 - y
    d2 = (9 - gx) - y
    return GLYPH if 1 <= gx <= 9 and (0 <= d1 <= 1 or 0 <= d2 <= 1) else WHITE


def background(x, y):
    return mix(BACK_TOP, BACK_BOTTOM, y / 255.0)


def overlay(x, y):
    # An accent bar at the left end of the caption band.
    return ACCENT if x < 4 else mix(ACCENT, BACK_TOP, min(1.0, (x - 3) / 4.0))


def button(face_top, face_bottom, edge):
    def pixel(x, y):
        if x in (0, 59) or y in (0, 21):
            return edge
        return mix(face_top, face_bottom, y / 21.0)
    return pixel


def left_corner(x, y):
    return BLACK if x >= 10 or (x - 10) ** 2 + (y + 1) ** 2 <= 100 else WHITE


def right_corner(x, y):
    return BLACK if x <= 1 or (x - 1) ** 2 + (y + 1) ** 2 <= 100 else WHITE


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    skin = os.path.join(root, "Skins", SKIN)
    write_bmp(os.path.join(skin, "sysmenu.bmp"), 22, 8, glyph_strip)
    write_bmp(os.path.join(skin, "dlgbk.bmp"), 16, 256, background)
    write_bmp(os.path.join(skin, "dlgbkf.bmp"), 8, 25, overlay)
    write_bmp(os.path.join(skin, "btn_n.bmp"), 60, 22, button((252, 253, 255), (220, 228, 240), (120, 140, 170)))
    write_bmp(os.path.join(skin, "btn_h.bmp"), 60, 22, button((235, 244, 255), (190, 212, 244), (70, 110, 180)))
    write_bmp(os.path.join(root, "resource", "lcorner.bmp"), 12, 10, left_corner)
    write_bmp(os.path.join(root, "resource", "rcorner.bmp"), 12, 10, right_corner)


if __name__ == "__main__":
    main()
