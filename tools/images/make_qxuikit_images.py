#!/usr/bin/env python3
"""Draws the images of resources/QXUIKit.bundle.

generic_icon_pulltorefresh_normal.png: the loading view's spinner, a grey arc of
three quarters of a circle ending in an arrowhead, 28 x 28 pixels.
generic_icon_alert_normal.png: the notification view's icon, a grey ring around an
exclamation mark, 48 x 48 pixels. Drawn by
supersampling signed shapes, written with the standard library only, so the file is
the same on every machine. Run from the repository root:

    python3 tools/images/make_qxuikit_images.py
"""

import math
import os
import struct
import zlib

OUT = os.path.join("resources", "QXUIKit.bundle")


def png(path, width, height, rgba_rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rgba_rows)
    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(raw, 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def inside_triangle(px, py, a, b, c):
    def side(p, q, r):
        return (p[0] - r[0]) * (q[1] - r[1]) - (q[0] - r[0]) * (p[1] - r[1])

    d1 = side((px, py), a, b)
    d2 = side((px, py), b, c)
    d3 = side((px, py), c, a)
    neg = d1 < 0 or d2 < 0 or d3 < 0
    pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (neg and pos)


def spinner(size=28, samples=4):
    cx = cy = size / 2.0
    radius = size * 0.34
    thickness = size * 0.12
    # The arc runs clockwise from 12 o'clock over 270 degrees (screen y points down).
    start, sweep = -math.pi / 2, math.pi * 1.5
    end = start + sweep
    ex, ey = cx + radius * math.cos(end), cy + radius * math.sin(end)
    # Arrowhead at the arc's end, pointing along the direction of travel.
    tx, ty = -math.sin(end), math.cos(end)
    nx, ny = math.cos(end), math.sin(end)
    head = size * 0.2
    tip = (ex + tx * head, ey + ty * head)
    left = (ex + nx * head * 0.9, ey + ny * head * 0.9)
    right = (ex - nx * head * 0.9, ey - ny * head * 0.9)
    grey = (110, 110, 110)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    px = x + (sx + 0.5) / samples
                    py = y + (sy + 0.5) / samples
                    dx, dy = px - cx, py - cy
                    r = math.hypot(dx, dy)
                    angle = math.atan2(dy, dx)
                    rel = (angle - start) % (2 * math.pi)
                    on_arc = abs(r - radius) <= thickness / 2 and rel <= sweep
                    if on_arc or inside_triangle(px, py, tip, left, right):
                        hits += 1
            alpha = round(255 * hits / (samples * samples))
            row.extend([grey[0], grey[1], grey[2], alpha])
        rows.append(row)
    return size, size, rows


def alert(size=48, samples=4):
    cx = cy = size / 2.0
    outer, ring = size * 0.46, size * 0.07
    bar_half_width = size * 0.05
    bar_top, bar_bottom = size * 0.24, size * 0.60
    dot_y, dot_r = size * 0.73, size * 0.065
    grey = (110, 110, 110)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    px = x + (sx + 0.5) / samples
                    py = y + (sy + 0.5) / samples
                    r = math.hypot(px - cx, py - cy)
                    on_ring = outer - ring <= r <= outer
                    # The bar narrows a little toward its foot.
                    t = (py - bar_top) / (bar_bottom - bar_top)
                    half = bar_half_width * (1.0 - 0.35 * t)
                    on_bar = 0 <= t <= 1 and abs(px - cx) <= half
                    on_dot = math.hypot(px - cx, py - dot_y) <= dot_r
                    if on_ring or on_bar or on_dot:
                        hits += 1
            alpha = round(255 * hits / (samples * samples))
            row.extend([grey[0], grey[1], grey[2], alpha])
        rows.append(row)
    return size, size, rows


def main():
    os.makedirs(OUT, exist_ok=True)
    w, h, rows = spinner()
    png(os.path.join(OUT, "generic_icon_pulltorefresh_normal.png"), w, h, rows)
    w, h, rows = alert()
    png(os.path.join(OUT, "generic_icon_alert_normal.png"), w, h, rows)


if __name__ == "__main__":
    main()
