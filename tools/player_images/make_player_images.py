#!/usr/bin/env python3
"""Draws the player's images into resources/QXCorePlayer.bundle as small PNGs.

Every picture is drawn here from simple shapes (no outside artwork): white glyphs on a
transparent ground for buttons (grey when highlighted, blue when selected), gradients
for the bar backgrounds and flat strips for the seekbar. Run it again after changing a
shape; the output is deterministic.

    python3 tools/player_images/make_player_images.py [bundle-dir]
"""
import math
import os
import struct
import sys
import zlib

SIZE = 30  # buttons and icons, in pixels


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(bytes(pixel(x + 0.5, y + 0.5)))
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def inside_polygon(x, y, points):
    hit = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def poly(*points):
    return lambda x, y: inside_polygon(x, y, points)


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in <= math.hypot(x - cx, y - cy) <= r_out


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def corners(inward):
    # four L-shaped corner marks; inward=True points them at the centre
    s, t, a, b = 4, 3, 9, 26
    shapes = []
    for cx, cy, dx, dy in ((a, a, 1, 1), (b, a, -1, 1), (a, b, 1, -1), (b, b, -1, -1)):
        if inward:
            cx, cy, dx, dy = cx, cy, -dx, -dy
        shapes.append(rect(min(cx, cx + dx * s), min(cy, cy + dy * t / 3), max(cx, cx + dx * s), max(cy, cy + dy * t / 3)))
        shapes.append(rect(min(cx, cx + dx * t / 3), min(cy, cy + dy * s), max(cx, cx + dx * t / 3), max(cy, cy + dy * s)))
    return union(*shapes)


SCREEN = minus(rect(4, 6, 26, 21), rect(6, 8, 24, 19))
GLYPHS = {
    "playbutton": poly((9, 6), (9, 24), (24, 15)),
    "pausebutton": union(rect(8, 6, 13, 24), rect(17, 6, 22, 24)),
    "airplaybutton": union(SCREEN, poly((15, 18), (9, 26), (21, 26))),
    "airplay_display": union(SCREEN, poly((15, 18), (9, 26), (21, 26))),
    "audioonly_display": union(rect(8, 18, 12, 24), rect(18, 16, 22, 22), rect(11, 6, 13, 22), rect(21, 5, 23, 20),
                               poly((11, 5), (23, 3), (23, 6), (11, 8))),
    "cc_button": minus(rect(4, 7, 26, 23), union(rect(6, 9, 24, 21),)) if False else union(
        minus(rect(4, 7, 26, 23), rect(6, 9, 24, 21)),
        minus(rect(8, 11, 14, 19), rect(10, 13, 14, 17)), minus(rect(16, 11, 22, 19), rect(18, 13, 22, 17))),
    "exitfullscreen": corners(True),
    "fullscreen": corners(False),
    "fullscreenbutton": corners(False),
    "pip": union(minus(rect(3, 6, 27, 24), rect(5, 8, 25, 22)), rect(15, 15, 23, 20)),
    "exitpip": union(minus(rect(3, 6, 27, 24), rect(5, 8, 25, 22)), rect(7, 10, 15, 15)),
    "icon_live": union(ring(15, 15, 5, 0), ring(15, 15, 10, 8)),
    "multiaudio_button": union(poly((6, 12), (10, 12), (16, 7), (16, 23), (10, 18), (6, 18)), ring(17, 15, 8, 6.5)),
}

STATES = {"normal": (255, 255, 255), "highlighted": (160, 160, 160), "selected": (64, 140, 255),
          "selected_highlighted": (40, 90, 170)}


def glyph_pixel(shape, colour):
    def pixel(x, y):
        # 4x supersampling for smooth edges
        hits = sum(shape(x - 0.375 + i * 0.25, y - 0.375 + j * 0.25) for i in range(4) for j in range(4))
        return (*colour, round(255 * hits / 16))
    return pixel


def gradient(top, bottom):
    def pixel(_x, y):
        return (0, 0, 0, round(top + (bottom - top) * y / 40))
    return pixel


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "resources",
                                                               "QXCorePlayer.bundle")
    os.makedirs(out, exist_ok=True)
    files = {
        "player_playbutton_normal": ("playbutton", "normal"),
        "player_playbutton_highlighted": ("playbutton", "highlighted"),
        "player_pausebutton_normal": ("pausebutton", "normal"),
        "player_pausebutton_highlighted": ("pausebutton", "highlighted"),
        "player_airplaybutton_normal": ("airplaybutton", "normal"),
        "player_airplaybutton_highlighted": ("airplaybutton", "highlighted"),
        "player_airplaybutton_selected": ("airplaybutton", "selected"),
        "player_airplaybutton_selected_highlighted": ("airplaybutton", "selected_highlighted"),
        "player_airplay_display_normal": ("airplay_display", "normal"),
        "player_audioonly_display_normal": ("audioonly_display", "normal"),
        "player_cc_button_normal": ("cc_button", "normal"),
        "player_exitfullscreen_normal": ("exitfullscreen", "normal"),
        "player_exitfullscreen_highlighted": ("exitfullscreen", "highlighted"),
        "player_fullscreen_normal": ("fullscreen", "normal"),
        "player_fullscreenbutton_highlighted": ("fullscreenbutton", "highlighted"),
        "player_pip_normal": ("pip", "normal"),
        "player_pip_highlighted": ("pip", "highlighted"),
        "player_exitpip_normal": ("exitpip", "normal"),
        "player_exitpip_highlighted": ("exitpip", "highlighted"),
        "player_icon_live_normal": ("icon_live", "normal"),
        "player_multiaudio_button_normal": ("multiaudio_button", "normal"),
    }
    for name, (glyph, state) in files.items():
        png(os.path.join(out, name + ".png"), SIZE, SIZE, glyph_pixel(GLYPHS[glyph], STATES[state]))
    png(os.path.join(out, "player_player_topbg_normal.png"), 1, 40, gradient(200, 0))
    png(os.path.join(out, "player_player_bottombg_normal.png"), 1, 40, gradient(0, 200))
    # 15 pixels wide strips, stretched sideways by the seekbar
    png(os.path.join(out, "player_seekbar_w15h0_normal.png"), 15, 4, lambda x, y: (64, 140, 255, 255))
    png(os.path.join(out, "player_seekbarbg_w15h0_normal.png"), 15, 4, lambda x, y: (255, 255, 255, 90))
    png(os.path.join(out, "player_seekbarknob_normal.png"), 16, 16,
        glyph_pixel(ring(8, 8, 7, 0), (255, 255, 255)))


if __name__ == "__main__":
    main()
