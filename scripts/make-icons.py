#!/usr/bin/env python3
"""Draws the wizard's pictures into resources/icons/ as PNG files: the check-mark
images of the restore tree (ImageList1: 0 unchecked, 1 checked, 3 partly checked),
the row marks of the check dialogs (CheckRows: 0 found here, 1 missing), the action
images (ImageList2), the picture in the bottom bar (Image1) and the
window icon. Standard library only; every run gives the same bytes."""

import math
import struct
import sys
import zlib
from pathlib import Path

SCALE = 4  # drawn at four times the size, then averaged down for smooth edges


class Canvas:
    def __init__(self, size):
        self.size = size
        self.n = size * SCALE
        self.px = [[(0, 0, 0, 0)] * self.n for _ in range(self.n)]

    def _blend(self, x, y, colour):
        if 0 <= x < self.n and 0 <= y < self.n:
            r, g, b, a = colour
            if a == 255:
                self.px[y][x] = colour
                return
            br, bg, bb, ba = self.px[y][x]
            alpha = a / 255
            out_a = alpha + ba / 255 * (1 - alpha)
            if out_a == 0:
                return
            mix = lambda c, bc: int(round((c * alpha + bc * ba / 255 * (1 - alpha)) / out_a))
            self.px[y][x] = (mix(r, br), mix(g, bg), mix(b, bb), int(round(out_a * 255)))

    def shape(self, inside, colour):
        """Fills every sample whose centre (in picture units) satisfies inside(x, y)."""
        for y in range(self.n):
            for x in range(self.n):
                if inside((x + 0.5) / SCALE, (y + 0.5) / SCALE):
                    self._blend(x, y, colour)

    def rect(self, x0, y0, x1, y1, colour, radius=0.0):
        def inside(x, y):
            if not (x0 <= x <= x1 and y0 <= y <= y1):
                return False
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 + 1e-9
        self.shape(inside, colour)

    def circle(self, cx, cy, r, colour):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, colour)

    def line(self, points, width, colour):
        segments = list(zip(points, points[1:]))
        half = width / 2

        def inside(x, y):
            for (ax, ay), (bx, by) in segments:
                dx, dy = bx - ax, by - ay
                t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
                if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half * half:
                    return True
            return False
        self.shape(inside, colour)

    def png(self):
        rows = []
        for y in range(self.size):
            row = bytearray([0])
            for x in range(self.size):
                acc = [0, 0, 0, 0]
                for sy in range(SCALE):
                    for sx in range(SCALE):
                        r, g, b, a = self.px[y * SCALE + sy][x * SCALE + sx]
                        acc[0] += r * a
                        acc[1] += g * a
                        acc[2] += b * a
                        acc[3] += a
                alpha = acc[3]
                if alpha:
                    row += bytes([acc[0] // alpha, acc[1] // alpha, acc[2] // alpha, alpha // (SCALE * SCALE)])
                else:
                    row += bytes(4)
            rows.append(bytes(row))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.size, self.size, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


WHITE = (255, 255, 255, 255)
BORDER = (90, 96, 104, 255)
TICK = (24, 128, 40, 255)
PARTLY = (70, 110, 170, 255)
RED = (200, 40, 40, 255)
GREEN = (30, 150, 60, 255)
BLUE = (40, 90, 190, 255)
GREY = (120, 126, 134, 255)
DARK = (50, 54, 60, 255)
AMBER = (230, 160, 30, 255)


def check_box(mark):
    c = Canvas(16)
    c.rect(2, 2, 14, 14, BORDER, 1.5)
    c.rect(3.2, 3.2, 12.8, 12.8, WHITE, 0.8)
    if mark == "checked":
        c.line([(4.8, 8.2), (7.2, 10.8), (11.6, 5.0)], 2.0, TICK)
    elif mark == "partly":
        c.rect(5.2, 5.2, 10.8, 10.8, PARTLY, 0.6)
    return c


def row_mark(found):
    c = Canvas(16)
    c.circle(8, 8, 7, GREEN if found else RED)
    if found:
        c.line([(4.6, 8.2), (7, 10.6), (11.6, 5.4)], 2.0, WHITE)
    else:
        c.line([(5.2, 5.2), (10.8, 10.8)], 2.0, WHITE)
        c.line([(10.8, 5.2), (5.2, 10.8)], 2.0, WHITE)
    return c


def action(kind):
    c = Canvas(16)
    if kind == "add":
        c.rect(6.5, 2.5, 9.5, 13.5, GREEN, 0.8)
        c.rect(2.5, 6.5, 13.5, 9.5, GREEN, 0.8)
    elif kind == "edit":
        c.line([(3.5, 12.5), (12, 4)], 3.0, AMBER)
        c.line([(12, 4), (13, 3)], 3.0, DARK)
        c.circle(3.2, 12.8, 1.2, DARK)
    elif kind == "delete":
        c.line([(3.5, 3.5), (12.5, 12.5)], 2.6, RED)
        c.line([(12.5, 3.5), (3.5, 12.5)], 2.6, RED)
    elif kind == "deletenode":
        c.rect(2, 2, 7, 6, GREY, 0.8)
        c.line([(4.5, 6), (4.5, 11), (8, 11)], 1.2, GREY)
        c.line([(9, 8.5), (14, 13.5)], 2.2, RED)
        c.line([(14, 8.5), (9, 13.5)], 2.2, RED)
    elif kind == "selectall":
        c.line([(1.5, 8.5), (4.5, 11.5), (9, 5)], 1.8, TICK)
        c.line([(6.5, 8.5), (9.5, 11.5), (14, 5)], 1.8, TICK)
    elif kind == "clearlog":
        c.rect(3, 1.5, 13, 14.5, BORDER, 1.0)
        c.rect(4, 2.5, 12, 13.5, WHITE, 0.6)
        for y in (5, 7.5, 10):
            c.line([(5.5, y), (10.5, y)], 1.0, GREY)
        c.line([(8, 8), (14.5, 14.5)], 2.0, RED)
    elif kind == "manual":
        c.rect(2.5, 2, 13.5, 14, BLUE, 1.2)
        c.rect(4.5, 3.5, 12.5, 12.5, WHITE, 0.5)
        for y in (6, 8.5, 11):
            c.line([(6, y), (11, y)], 1.0, BLUE)
    elif kind == "about":
        c.circle(8, 8, 6.5, BLUE)
        c.circle(8, 4.8, 1.2, WHITE)
        c.rect(7, 6.8, 9, 12, WHITE, 0.5)
    elif kind == "exit":
        c.rect(2.5, 2, 9, 14, GREY, 0.8)
        c.rect(3.5, 3, 8, 13, WHITE, 0.4)
        c.line([(7, 8), (14, 8)], 1.8, RED)
        c.line([(11.5, 5.5), (14, 8), (11.5, 10.5)], 1.8, RED)
    return c


def server_picture(size):
    """Three stacked servers with a round arrow: the backup and restore of a server."""
    c = Canvas(size)
    u = size / 48
    for i in range(3):
        top = (6 + i * 12) * u
        c.rect(6 * u, top, 32 * u, top + 10 * u, DARK, 2 * u)
        c.rect(8 * u, top + 2 * u, 30 * u, top + 8 * u, GREY, 1.2 * u)
        c.circle(26.5 * u, top + 5 * u, 1.6 * u, GREEN)
        for k in range(3):
            c.line([((11 + 4 * k) * u, top + 3.5 * u), ((11 + 4 * k) * u, top + 6.5 * u)], 1.4 * u, DARK)
    # The round arrow, from the top of the stack round to an arrow head at the bottom.
    points = [(38 * u + 8 * u * math.cos(a), 26 * u + 14 * u * math.sin(a))
              for a in [math.radians(d) for d in range(-80, 95, 10)]]
    c.line(points, 3 * u, BLUE)
    tip_x, tip_y = points[-1]
    c.line([(tip_x + 5 * u, tip_y - 3 * u), (tip_x, tip_y), (tip_x + 5 * u, tip_y + 3 * u)], 3 * u, BLUE)
    return c


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "icons"
    out.mkdir(parents=True, exist_ok=True)
    pictures = {
        "ImageList1_0.png": check_box("unchecked"),
        "ImageList1_1.png": check_box("checked"),
        "ImageList1_3.png": check_box("partly"),
        "CheckRows_0.png": row_mark(True),
        "CheckRows_1.png": row_mark(False),
        "Image1.png": server_picture(48),
        "Orvex.png": server_picture(32),
    }
    for kind in ("add", "edit", "delete", "deletenode", "selectall", "clearlog", "manual", "about", "exit"):
        pictures[f"ImageList2_{kind}.png"] = action(kind)
    for name, canvas in pictures.items():
        (out / name).write_bytes(canvas.png())


if __name__ == "__main__":
    main()
