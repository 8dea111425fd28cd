#!/usr/bin/env python3
"""Writes the sample container settings and tab resources used by the demo.

config/pruv2.cfg and Container/<id>/plugres.cfg (8-bit text in code page 936, CRLF) and
four 32x32 24-bit tab icons per plug id (normal, hover, select, disable).
Run from anywhere; writes into the repository root.
"""
import math
import os
import struct

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

# plug id, tool-tip, base colour, glyph; the first is loaded at once and shown first.
TABS = [
    (-11, "首页", (36, 100, 170), "house"),
    (-1, "好友", (40, 150, 110), "people"),
    (-10, "欢迎", (52, 120, 200), "ring"),
    (-8, "个人信息", (60, 160, 90), "person"),
    (-13, "窗口管理", (200, 120, 40), "gear"),
    (-15, "动画", (170, 70, 160), "play"),
    (-14, "自助服务", (130, 90, 190), "ring"),
    (-19, "售后服务", (190, 70, 80), "parcel"),
    (51, "更换背景", (40, 140, 170), "gear"),
    (53, "精简界面", (90, 110, 130), "house"),
    (52, "会员注册", (200, 90, 40), "person"),
]


# The library of each plug id: the system's own plug-ins, and the stand-ins (outside/) of
# the configured panes outside this system: the home pane, the personal-information pane
# and the pane owner.
MODULES = {-11: "TilePane.dll", -1: "RostView.dll", -10: "WelcomePane.dll", -8: "InfoPane.dll",
           -13: "PaneOwner.dll", -15: "AnimTab.dll", -14: "HelpDesk.dll", -19: "AfterCare.dll",
           51: "setting.dll", 53: "CompactView.dll", 52: "MemberForm.dll"}
# Every plug-in is made with the container, as a host makes them.
IMMEDIATE = [t[0] for t in TABS]


def inside(glyph, x, y):
    cx, cy = x - 15.5, y - 15.5
    if glyph == "house":
        roof = y <= 14 and abs(cx) <= (y - 3) * 1.1 and y >= 4
        body = 14 <= y <= 27 and abs(cx) <= 9
        door = 20 <= y <= 27 and abs(cx) <= 2.5
        return (roof or body) and not door
    if glyph == "person":
        head = cx * cx + (cy + 7) ** 2 <= 25
        body = cy >= 1 and cx * cx / 121 + (cy - 11) ** 2 / 100 <= 1
        return head or body
    if glyph == "people":
        def one(dx, scale):
            head = (cx - dx) ** 2 + (cy + 6) ** 2 <= 16 * scale
            body = cy >= 0 and (cx - dx) ** 2 / (64 * scale) + (cy - 10) ** 2 / (81 * scale) <= 1
            return head or body
        return one(-5, 1.0) or one(7, 0.8)
    if glyph == "play":
        return -9 <= cx <= 10 and abs(cy) <= (10 - cx) * 0.55
    if glyph == "ring":
        r = math.hypot(cx, cy)
        return 7 <= r <= 12 and not (abs(cx) <= 2 or abs(cy) <= 2) or r <= 3
    if glyph == "parcel":
        box = abs(cx) <= 11 and abs(cy) <= 9
        tape = abs(cx) <= 1.5 or abs(cy + 3) <= 1
        return box and not tape
    r = math.hypot(cx, cy)
    angle = math.atan2(cy, cx)
    teeth = 11 + 2.5 * (1 if math.cos(8 * angle) > 0 else 0)
    return 4 <= r <= teeth


def icon(glyph, back, fore, frame):
    rows = []
    for y in range(31, -1, -1):  # bottom-up
        row = b""
        for x in range(32):
            if frame and (x in (0, 31) or y in (0, 31)):
                c = frame
            elif inside(glyph, x, y):
                c = fore
            else:
                c = back
            row += bytes((c[2], c[1], c[0]))
        rows.append(row)
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, 32, 32, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def lighter(c, f):
    return tuple(min(255, int(v + (255 - v) * f)) for v in c)


def darker(c, f):
    return tuple(int(v * f) for v in c)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    ids = ",".join(str(t[0]) for t in TABS)
    cfg = [
        "[UI]",
        "TabDeck=TabDeck.dll",
        "TabPlugs=" + ids,
        "SubPlugs=",
        "[PlugsLoadStyle]",
    ] + ["%d=immediately" % pid for pid in IMMEDIATE] + [
        "[PlugsModule]",
    ] + ["%d=%s" % (t[0], MODULES[t[0]]) for t in TABS]
    write(os.path.join(ROOT, "config", "pruv2.cfg"), ("\r\n".join(cfg) + "\r\n").encode("cp936"))
    for pid, tip, colour, glyph in TABS:
        folder = os.path.join(ROOT, "Container", str(pid))
        res = [
            "[TabPlugRes]",
            "tooltip=" + tip,
            "IconNormal=normal.bmp",
            "IconHover=hover.bmp",
            "IconSelect=select.bmp",
            "IconDisable=disable.bmp",
        ]
        write(os.path.join(folder, "plugres.cfg"), ("\r\n".join(res) + "\r\n").encode("cp936"))
        white = (255, 255, 255)
        write(os.path.join(folder, "normal.bmp"), icon(glyph, white, colour, None))
        write(os.path.join(folder, "hover.bmp"), icon(glyph, lighter(colour, 0.75), darker(colour, 0.8), None))
        write(os.path.join(folder, "select.bmp"), icon(glyph, colour, white, darker(colour, 0.6)))
        write(os.path.join(folder, "disable.bmp"), icon(glyph, white, (170, 170, 170), None))


if __name__ == "__main__":
    main()
