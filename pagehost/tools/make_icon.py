#!/usr/bin/env python3
"""Draws PageHost's program icon (pagehost/PageHost.ico): a blue rounded page with a white
window band and a green start arrow, 32 x 32 with an alpha channel.

    python3 pagehost/tools/make_icon.py
"""
import os
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "base", "imkit", "tools"))
from make_emoticons import icon_file  # noqa: E402

SIZE = 32
BLUE = (56, 104, 184)
WHITE = (255, 255, 255)
GREEN = (52, 168, 83)


def inside_rounded(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def pixel(x, y):
    px, py = x + 0.5, y + 0.5
    if not inside_rounded(px, py, 1, 3, 31, 29, 4):
        return None
    if 4 <= px <= 28 and 9 <= py <= 26:
        # the start arrow on the white page
        if 12 <= px <= 22 and abs(py - 17.5) <= (22 - px) * 0.65:
            return GREEN
        return WHITE
    return BLUE


def main():
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            c = pixel(x, y)
            row.append((c[2], c[1], c[0], 255) if c else (0, 0, 0, 0))
        rows.append(row)
    out = os.path.join(ROOT, "pagehost", "PageHost.ico")
    with open(out, "wb") as f:
        f.write(icon_file(rows))
    print("wrote", out)


if __name__ == "__main__":
    main()
