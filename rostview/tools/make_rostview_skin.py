#!/usr/bin/env python3
"""Writes the contact list's default skin and picture strips.

    python3 rostview/tools/make_rostview_skin.py [repository root]

Skins/Default/RostView.skn with its folder-header and tag pictures, and
resource/RostLedgerProf.cfg with the tree-image strip (6 cells, white is transparent) and
the service-icon strip (20 cells). Every picture is an uncompressed 24-bit BMP.
"""
import math
import os
import sys

# The dialog skin's writer of 24-bit bitmaps, and its colour mixing.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "skinframe", "tools"))
from make_skin import BLACK, WHITE, mix, write_bmp  # noqa: E402


def write_text(path, lines):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("ascii"))


# Header faces: top and bottom colours of the normal, hover and pressed states.
FACES = {
    "n": ((236, 243, 252), (200, 218, 242)),
    "h": ((246, 250, 255), (214, 230, 252)),
    "d": ((190, 208, 236), (220, 232, 248)),
}
EDGE = (120, 146, 190)


def middle(state):
    top, bottom = FACES[state]
    return lambda x, y: EDGE if y in (0, 19) else mix(top, bottom, y / 19.0)


def cap(state, left):
    top, bottom = FACES[state]

    def pixel(x, y):
        edge_x = 0 if left else 2
        # Rounded ends: the corner pixels take the edge colour blended into the face.
        if x == edge_x or y in (0, 19):
            corner = (y in (0, 19)) and x == edge_x
            return mix(EDGE, WHITE, 0.6) if corner else EDGE
        return mix(top, bottom, y / 19.0)
    return pixel


def tag(open_):
    """9 x 9 triangle on black (black is transparent when drawn)."""
    colour = (52, 84, 140)

    def pixel(x, y):
        if open_:
            return colour if 2 <= y <= 6 and abs(x - 4) <= 6 - y else BLACK
        return colour if 2 <= x <= 6 and abs(y - 4) <= 6 - x else BLACK
    return pixel


def folder(x, y, open_, selected):
    body = (240, 196, 80) if not selected else (250, 170, 40)
    dark = (176, 128, 32)
    if 2 <= x <= 6 and 3 <= y <= 4:
        return dark
    if 1 <= x <= 14 and 5 <= y <= 13:
        if open_ and y >= 8 and x <= 3 + (y - 8):
            return WHITE
        if x in (1, 14) or y in (5, 13):
            return dark
        return body
    return WHITE


def person(x, y, colour):
    cx = 7.5
    head = (x - cx) ** 2 + (y - 4.5) ** 2 <= 9
    body = y >= 9 and (x - cx) ** 2 / 36 + (y - 15) ** 2 / 36 <= 1
    if head or body:
        edge = (x - cx) ** 2 + (y - 4.5) ** 2 >= 6 and head
        return mix(colour, BLACK, 0.35) if edge else colour
    return WHITE


def tree_strip(x, y):
    cell, cx = divmod(x, 16)
    if cell == 0:
        return folder(cx, y, False, False)
    if cell == 1:
        return folder(cx, y, True, False)
    if cell == 2:
        return folder(cx, y, False, True)
    if cell == 3:
        return folder(cx, y, True, True)
    if cell == 4:
        return person(cx, y, (150, 150, 150))
    return person(cx, y, (40, 160, 70))


def envelope(x, y, colour):
    if 1 <= x <= 14 and 4 <= y <= 12:
        if x in (1, 14) or y in (4, 12) or abs((x - 7.5) * 0.55 - (y - 4)) < 0.6 or abs((7.5 - x) * 0.55 - (y - 4)) < 0.6:
            return colour
        return (255, 255, 240)
    return WHITE


def handset(x, y, colour):
    d = math.hypot(x - 8, y - 8)
    if 5.5 <= d <= 7.5 and (y >= 8 or abs(x - 8) > 4):
        return colour
    if (x - 3) ** 2 + (y - 10) ** 2 <= 4 or (x - 13) ** 2 + (y - 10) ** 2 <= 4:
        return colour
    return WHITE


def bubble(x, y, colour):
    inside = ((x - 8) / 7.0) ** 2 + ((y - 6.5) / 5.5) ** 2 <= 1
    tail = 3 <= x <= 6 and 11 <= y <= 14 and x - 3 <= 14 - y
    if inside or tail:
        if inside and ((x - 8) / 7.0) ** 2 + ((y - 6.5) / 5.5) ** 2 >= 0.6:
            return colour
        return mix(colour, WHITE, 0.7) if inside else colour
    return WHITE


def more(x, y, colour):
    for cx in (3, 8, 13):
        if (x - cx) ** 2 + (y - 8) ** 2 <= 2.5:
            return colour
    return WHITE


def service_strip(x, y):
    cell, cx = divmod(x, 16)
    normal, hover = (70, 110, 180), (230, 110, 20)
    if cell == 0:
        return more(cx, y, normal)
    if cell in (1, 3):
        return envelope(cx, y, normal if cell == 1 else hover)
    if cell in (4, 6):
        return handset(cx, y, normal if cell == 4 else hover)
    if cell in (16, 18):
        return bubble(cx, y, (40, 150, 70) if cell == 16 else hover)
    return WHITE


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    skin = os.path.join(root, "Skins", "Default")
    for state in "nhd":
        write_bmp(os.path.join(skin, "rv_bk%s.bmp" % state), 4, 20, middle(state))
        write_bmp(os.path.join(skin, "rv_lc%s.bmp" % state), 3, 20, cap(state, True))
        write_bmp(os.path.join(skin, "rv_rc%s.bmp" % state), 3, 20, cap(state, False))
    write_bmp(os.path.join(skin, "rv_tagopen.bmp"), 9, 9, tag(True))
    write_bmp(os.path.join(skin, "rv_tagclose.bmp"), 9, 9, tag(False))
    write_text(os.path.join(skin, "RostView.skn"), [
        "; Contact list: folder-bar colours, header pictures and the open and closed tags.",
        "[FolderBar]",
        "bkgndl=214,228,248",
        "bkgndr=176,198,232",
        "selFontColor=0,51,153",
        "norFontColor=40,40,40",
        "tagOpen=rv_tagopen.bmp",
        "tagClose=rv_tagclose.bmp",
    ] + ["%s%s=rv_%s%s.bmp" % (part, state, part, state) for part in ("bk", "lc", "rc") for state in "nhd"])

    resource = os.path.join(root, "resource")
    write_bmp(os.path.join(resource, "RostTree.bmp"), 16 * 6, 16, tree_strip)
    write_bmp(os.path.join(resource, "RostService.bmp"), 16 * 20, 16, service_strip)
    write_text(os.path.join(resource, "RostLedgerProf.cfg"), [
        "; Picture strips of the contact list (16 x 16 cells), relative to the program folder.",
        "[UIResource]",
        "baseimage=resource\\RostTree.bmp",
        "serviceimage=resource\\RostService.bmp",
    ])


if __name__ == "__main__":
    main()
