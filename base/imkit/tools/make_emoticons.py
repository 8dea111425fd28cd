#!/usr/bin/env python3
"""Draws the 30 emoticon faces into resource/9/emotions/<index>.ico.

Each face is a 32 x 32 icon with an alpha channel: a round face whose colour, eyes, mouth
and one extra mark together tell every entry apart at the 18 and 30 pixel sizes the chat
windows and the picker draw them at. Run it from anywhere:

    python3 base/imkit/tools/make_emoticons.py [output folder]
"""
import math
import os
import struct
import sys

SIZE = 32
SUB = 4  # samples per pixel side

YELLOW = (255, 214, 51)
ORANGE = (255, 160, 40)
RED = (235, 70, 50)
GREEN = (120, 210, 90)
BLUE = (120, 170, 250)
PINK = (250, 150, 190)
PURPLE = (190, 140, 240)
GREY = (200, 200, 200)
INK = (60, 40, 20)
WHITE = (255, 255, 255)
CHEEK = (245, 110, 120)
TEAR = (40, 120, 255)
TONGUE = (230, 60, 90)

# index: (face colour, eyes, mouth, extra), in the order of the code table
FACES = [
    (YELLOW, "dots", "smile", None),        # |:)
    (YELLOW, "dots", "frown", None),        # |:(
    (YELLOW, "dots", "small", "cheeks"),    # |:$
    (YELLOW, "dots", "kiss", None),         # |:*
    (YELLOW, "dots", "grin", None),         # |:D
    (YELLOW, "big", "o", None),             # |:O
    (YELLOW, "wink", "grin", None),         # |;D
    (YELLOW, "cross", "smile", None),       # |X)
    (BLUE, "closed", "flat", "zz"),         # |:Z
    (YELLOW, "wink", "tongue", None),       # |;P
    (YELLOW, "dots", "frown", "tear"),      # |'(
    (YELLOW, "dots", "tongue", None),       # |:P
    (YELLOW, "cross", "flat", None),        # |X|
    (ORANGE, "dots", "tee", None),          # |:T
    (YELLOW, "dots", "smirk", None),        # |:>
    (YELLOW, "big", "wave", "question"),    # |:?
    (YELLOW, "wink", "xmouth", None),       # |;X
    (GREEN, "dots", "smile", "hand"),       # |by
    (YELLOW, "shades", "smile", None),      # |-)
    (RED, "dots", "frown", "brows"),        # |:@
    (ORANGE, "big", "o", "bang"),           # |:!
    (GREY, "dots", "hash", None),           # |:#
    (PURPLE, "dots", "wave", None),         # |:S
    (GREY, "dots", "xmouth", None),         # |:X
    (PINK, "closed", "smile", "cheeks"),    # |ws
    (GREEN, "big", "flat", "sweat"),        # |st
    (BLUE, "closed", "frown", "tear"),      # |we
    (PINK, "dots", "kiss", "heart"),        # |xi
    (PURPLE, "shades", "grin", None),       # |mu
    (ORANGE, "closed", "grin", "cheeks"),   # |ro
]


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, w):
    inner, outer = (r - w / 2) ** 2, (r + w / 2) ** 2
    return lambda x, y: inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer


def segment(x0, y0, x1, y1, w):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (w / 2) ** 2
    return inside


def arc(cx, cy, r, w, start, end):
    """Ring between two angles in degrees, 0 pointing right, growing downwards."""
    band = ring(cx, cy, r, w)

    def inside(x, y):
        if not band(x, y):
            return False
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return start <= a <= end if start <= end else a >= start or a <= end
    return inside


def half_disc(cx, cy, r, lower=True):
    d = disc(cx, cy, r)
    return lambda x, y: d(x, y) and ((y >= cy) if lower else (y <= cy))


def eyes(kind):
    shapes = []
    for cx in (11, 21):
        if kind == "dots":
            shapes.append((disc(cx, 12.5, 2.0), INK))
        elif kind == "big":
            shapes.append((disc(cx, 12, 3.6), WHITE))
            shapes.append((ring(cx, 12, 3.6, 1.0), INK))
            shapes.append((disc(cx, 12.8, 1.6), INK))
        elif kind == "cross":
            shapes.append((segment(cx - 2.5, 10, cx + 2.5, 15, 1.6), INK))
            shapes.append((segment(cx - 2.5, 15, cx + 2.5, 10, 1.6), INK))
        elif kind == "closed":
            shapes.append((arc(cx, 11, 3, 1.5, 30, 150), INK))
        elif kind == "wink":
            if cx == 11:
                shapes.append((disc(cx, 12.5, 2.0), INK))
            else:
                shapes.append((segment(cx - 3, 13, cx + 3, 11, 1.6), INK))
        elif kind == "shades":
            shapes.append((disc(cx, 12.5, 4.0), INK))
    if kind == "shades":
        shapes.append((segment(11, 11, 21, 11, 1.6), INK))
    return shapes


def mouth(kind):
    if kind == "smile":
        return [(arc(16, 16, 7, 1.8, 25, 155), INK)]
    if kind == "frown":
        return [(arc(16, 27, 6, 1.8, 210, 330), INK)]
    if kind == "small":
        return [(arc(16, 18, 4, 1.6, 30, 150), INK)]
    if kind == "kiss":
        return [(disc(16, 22, 2.6), TONGUE), (disc(16, 22, 1.0), INK)]
    if kind == "grin":
        return [(half_disc(16, 18, 7.5), INK), (lambda x, y: 18.5 <= y <= 20.5 and half_disc(16, 18, 6.5)(x, y), WHITE)]
    if kind == "o":
        return [(disc(16, 22, 3.6), INK), (disc(16, 22.6, 2.0), TONGUE)]
    if kind == "flat":
        return [(segment(11, 22, 21, 22, 1.8), INK)]
    if kind == "tongue":
        return [(segment(10, 20, 22, 20, 1.8), INK), (half_disc(18, 20.5, 3.8), TONGUE)]
    if kind == "tee":
        return [(segment(11, 20, 21, 20, 1.8), INK), (segment(16, 20, 16, 25, 1.8), INK)]
    if kind == "smirk":
        return [(segment(11, 22, 18, 22, 1.8), INK), (arc(18, 18, 4, 1.8, 330, 90), INK)]
    if kind == "wave":
        return [(segment(10, 22, 13, 20, 1.6), INK), (segment(13, 20, 16, 22.5, 1.6), INK),
                (segment(16, 22.5, 19, 20, 1.6), INK), (segment(19, 20, 22, 22, 1.6), INK)]
    if kind == "xmouth":
        return [(segment(13, 19, 19, 25, 1.8), INK), (segment(13, 25, 19, 19, 1.8), INK)]
    if kind == "hash":
        return [(segment(11, 20.5, 21, 20.5, 1.3), INK), (segment(11, 23.5, 21, 23.5, 1.3), INK),
                (segment(14, 18.5, 14, 25.5, 1.3), INK), (segment(18, 18.5, 18, 25.5, 1.3), INK)]
    raise ValueError(kind)


def extra(kind):
    if kind is None:
        return []
    if kind == "cheeks":
        return [(disc(7.5, 18, 2.4), CHEEK), (disc(24.5, 18, 2.4), CHEEK)]
    if kind == "tear":
        return [(disc(9, 20, 2.2), TEAR), (segment(9, 15.5, 9, 19, 1.6), TEAR)]
    if kind == "sweat":
        return [(disc(26, 8, 2.4), TEAR), (segment(26, 4, 26, 7.5, 1.8), TEAR)]
    if kind == "brows":
        return [(segment(7, 7, 13, 9.5, 1.8), INK), (segment(25, 7, 19, 9.5, 1.8), INK)]
    if kind == "zz":
        return [(segment(23, 2, 29, 2, 1.2), INK), (segment(29, 2, 23, 7, 1.2), INK), (segment(23, 7, 29, 7, 1.2), INK)]
    if kind == "question":
        return [(arc(27, 5, 2.4, 1.3, 180, 90), INK), (segment(27, 7.4, 27, 9, 1.3), INK), (disc(27, 11, 0.8), INK)]
    if kind == "bang":
        return [(segment(28, 1.5, 28, 7.5, 1.8), RED), (disc(28, 10, 1.1), RED)]
    if kind == "hand":
        return [(disc(27, 23, 3.6), YELLOW), (ring(27, 23, 3.6, 1.0), INK), (segment(27, 19.5, 27, 15, 1.4), INK),
                (segment(29, 20, 30.5, 16, 1.4), INK)]
    if kind == "heart":
        return [(disc(25, 5, 2.2), RED), (disc(29, 5, 2.2), RED),
                (lambda x, y: y >= 5 and abs(x - 27) <= 4.2 - (y - 5) * 0.85, RED)]
    raise ValueError(kind)


def face_shapes(colour, eye_kind, mouth_kind, extra_kind):
    shapes = [(disc(16, 16, 14.5), INK), (disc(16, 16, 13.3), colour)]
    shapes += eyes(eye_kind) + mouth(mouth_kind) + extra(extra_kind)
    return shapes


def render(shapes):
    """BGRA rows, top row first, each pixel the average of SUB x SUB samples."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            r = g = b = a = 0
            for sy in range(SUB):
                for sx in range(SUB):
                    x = px + (sx + 0.5) / SUB
                    y = py + (sy + 0.5) / SUB
                    hit = None
                    for inside, colour in shapes:
                        if inside(x, y):
                            hit = colour
                    if hit:
                        r, g, b, a = r + hit[0], g + hit[1], b + hit[2], a + 1
            n = SUB * SUB
            if a:
                row.append((b // a, g // a, r // a, 255 * a // n))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_file(rows):
    """One 32-bit image with its AND mask, in the icon file layout."""
    pixels = b"".join(bytes(p) for row in reversed(rows) for p in row)
    mask_row_bytes = ((SIZE + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    image = header + pixels + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "..", "resource", "9", "emotions")
    out = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else default)
    os.makedirs(out, exist_ok=True)
    seen = set()
    for index, face in enumerate(FACES):
        if face in seen:
            raise SystemExit("face %d repeats an earlier one" % index)
        seen.add(face)
        with open(os.path.join(out, "%d.ico" % index), "wb") as f:
            f.write(icon_file(render(face_shapes(*face))))
    print("wrote %d faces to %s" % (len(FACES), out))


if __name__ == "__main__":
    main()
