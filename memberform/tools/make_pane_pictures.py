#!/usr/bin/env python3
"""Makes the sample pictures of the native panes under resource/: the tab backgrounds of
the settings pane, the compact view's strip and buttons, the member form's background,
send button and animated GIF. Run from anywhere; rewrites the files in place."""
import os
import struct
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))


# The skin's picture writer: 24-bit bitmaps, pixel(x, y) with y counted from the top.
sys.path.insert(0, os.path.join(ROOT, "skinframe", "tools"))
from make_skin import mix, write_bmp as bmp  # noqa: E402


def gradient(top, bottom, height):
    return lambda x, y: mix(top, bottom, y / max(1, height - 1))


def lzw_roots(indexes, m):
    """Code stream of plain root codes, with a clear whenever the table would grow, so
    that the code size stays m + 1."""
    clear, size = 1 << m, m + 1
    out, acc, bits = bytearray(), 0, 0

    def put(code):
        nonlocal acc, bits
        acc |= code << bits
        bits += size
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    run = clear - 2
    for i, v in enumerate(indexes):
        if i % run == 0:
            put(clear)
        put(v)
    put(clear + 1)
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for at in range(0, len(data), 255):
        chunk = data[at:at + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif(path, width, height, palette, frames, delay):
    """Animated GIF: palette of 16 (r, g, b), frames as functions index(x, y)."""
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x03, 0, 0)
    for r, g, b in palette:
        out += bytes((r, g, b))
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for frame in frames:
        out += b"\x21\xF9\x04\x00" + struct.pack("<H", delay) + b"\x00\x00"
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
        out.append(4)
        indexes = [frame(x, y) for y in range(height) for x in range(width)]
        out += sub_blocks(lzw_roots(indexes, 4))
    out.append(0x3B)
    with open(path, "wb") as f:
        f.write(out)


def folder(*parts):
    path = os.path.join(ROOT, *parts)
    os.makedirs(path, exist_ok=True)
    return path


def main():
    deck = folder("resource", "TabDeck")
    bmp(os.path.join(deck, "sky.bmp"), 240, 220, gradient((70, 130, 220), (200, 225, 250), 220))
    bmp(os.path.join(deck, "meadow.bmp"), 240, 220, gradient((150, 210, 120), (40, 120, 60), 220))
    bmp(os.path.join(deck, "dusk.bmp"), 240, 220, gradient((250, 170, 90), (90, 40, 110), 220))

    compact = folder("resource", "compactview")
    bmp(os.path.join(compact, "title.bmp"), 200, 18, gradient((190, 214, 240), (150, 185, 225), 18))

    def arrows(x, y):
        inside = 3 <= x <= 13 and abs(y - 8) <= (x - 3) // 2
        return (40, 100, 170) if inside else (255, 255, 255)

    def cross(x, y):
        return (170, 40, 40) if 3 <= x <= 13 and (abs(x - y) <= 1 or abs(x + y - 16) <= 1) else (255, 255, 255)

    bmp(os.path.join(compact, "switch.bmp"), 17, 17, arrows)
    bmp(os.path.join(compact, "close.bmp"), 17, 17, cross)

    form = folder("resource", "memberform")
    bmp(os.path.join(form, "formbk.bmp"), 330, 300, gradient((246, 249, 253), (214, 228, 244), 300))
    bmp(os.path.join(form, "send.bmp"), 75, 23, gradient((250, 252, 255), (200, 218, 240), 23))
    palette = [(255, 255, 255), (230, 240, 250), (40, 110, 200), (240, 140, 40),
               (60, 170, 90), (200, 50, 60), (120, 120, 120), (20, 20, 20)] + [(0, 0, 0)] * 8
    w, h = 200, 80

    def frame(step):
        def index(x, y):
            cx = 40 + step * 60
            if (x - cx) ** 2 + (y - 40) ** 2 <= 22 ** 2:
                return 2 + step
            if y >= 70:
                return 6 if (x // 10 + step) % 2 else 1
            return 1
        return index

    gif(os.path.join(form, "welcome.gif"), w, h, palette, [frame(s) for s in range(3)], 25)


if __name__ == "__main__":
    main()
