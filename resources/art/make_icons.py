#!/usr/bin/env python3
"""Draws the program's icons as 4-bit PNG files in the classic 16-colour palette.

Run it after changing a drawing; the PNG files it writes are committed beside it.
Every icon is drawn at 32x32 and again at 16x16 from the same shapes, scaled.
"""
import math
import os
import struct
import zlib

# The classic 16 colours, numbered as the program's palette.
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, BLUE, GREEN, CYAN, RED, MAGENTA, YELLOW, WHITE = range(8)
GREY, LBLUE, LGREEN, LCYAN, LRED, LMAGENTA, LYELLOW, BWHITE = range(8, 16)
CLEAR = None


class Canvas:
    def __init__(self, size):
        self.size = size
        self.s = size / 32.0
        self.px = [[CLEAR] * size for _ in range(size)]

    def put(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def _inside(self, test, c):
        for y in range(self.size):
            for x in range(self.size):
                # sample the pixel centre in 32-unit coordinates
                if test((x + 0.5) / self.s, (y + 0.5) / self.s):
                    self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        self._inside(lambda x, y: x0 <= x < x1 and y0 <= y < y1, c)

    def disc(self, cx, cy, r, c):
        self._inside(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, c)

    def ring(self, cx, cy, r0, r1, c):
        self._inside(lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1, c)

    def poly(self, pts, c):
        def test(x, y):
            inside = False
            j = len(pts) - 1
            for i in range(len(pts)):
                xi, yi = pts[i]
                xj, yj = pts[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    inside = not inside
                j = i
            return inside
        self._inside(test, c)

    def line(self, x0, y0, x1, y1, width, c):
        def test(x, y):
            dx, dy = x1 - x0, y1 - y0
            t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
            return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2
        self._inside(test, c)

    def outline(self, c):
        """Darkens the edge pixels of the shape so that it reads on any background."""
        edge = []
        for y in range(self.size):
            for x in range(self.size):
                if self.px[y][x] is None:
                    continue
                for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                    if not (0 <= nx < self.size and 0 <= ny < self.size) or self.px[ny][nx] is None:
                        edge.append((x, y))
                        break
        for x, y in edge:
            self.px[y][x] = c


def write_png(canvas, path):
    """A 4-bit paletted PNG: the colours used plus one transparent entry, 16 entries at most."""
    used = sorted({c for row in canvas.px for c in row if c is not None})
    entries = used + ([CLEAR] if any(c is None for row in canvas.px for c in row) else [])
    assert len(entries) <= 16, path
    index = {c: i for i, c in enumerate(entries)}
    raw = b""
    for row in canvas.px:
        nibbles = [index[c] for c in row] + [0]
        raw += b"\0" + bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, canvas.size, 2))
    plte = b"".join(bytes(PALETTE[c]) if c is not None else b"\0\0\0" for c in entries)
    trns = bytes(0 if c is None else 255 for c in entries)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", canvas.size, canvas.size, 4, 3, 0, 0, 0))
    png += chunk(b"PLTE", plte)
    if CLEAR in entries:
        png += chunk(b"tRNS", trns)
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# --- the drawings, in 32-unit coordinates -------------------------------------------------

def program(c):
    """A dumbbell on a red disc: the program icon."""
    c.disc(16, 16, 15, LRED)
    c.outline(RED)
    c.rect(9, 14.5, 23, 17.5, BWHITE)
    c.rect(6.5, 8.5, 10.5, 23.5, BWHITE)
    c.rect(21.5, 8.5, 25.5, 23.5, BWHITE)
    c.rect(4, 11.5, 6.5, 20.5, BWHITE)
    c.rect(25.5, 11.5, 28, 20.5, BWHITE)


def next_(c):
    """A green arrow to the right."""
    c.poly([(3, 12), (17, 12), (17, 4), (30, 16), (17, 28), (17, 20), (3, 20)], LGREEN)
    c.outline(GREEN)


def cut(c):
    """A small gear: leave the workout for the settings."""
    for i in range(8):
        a = i * math.pi / 4
        c.line(16, 16, 16 + 13 * math.cos(a), 16 + 13 * math.sin(a), 6, GREY)
    c.disc(16, 16, 10, GREY)
    c.outline(BLACK)
    c.disc(16, 16, 4.5, CLEAR)


def new(c):
    """A sheet of paper with a plus."""
    c.poly([(5, 2), (19, 2), (26, 9), (26, 30), (5, 30)], BWHITE)
    c.outline(BLACK)
    c.poly([(19, 2), (19, 9), (26, 9)], WHITE)
    c.rect(17, 18, 31, 22, GREEN)
    c.rect(22, 13, 26, 27, GREEN)


def save(c):
    """A floppy disk."""
    c.rect(3, 3, 29, 29, BLUE)
    c.rect(8, 3, 24, 12, WHITE)
    c.rect(19, 5, 22, 10, BLUE)
    c.rect(7, 17, 25, 29, BWHITE)
    c.rect(9, 20, 23, 21, GREY)
    c.rect(9, 24, 23, 25, GREY)
    c.outline(BLACK)


def clear(c):
    """An eraser over a sweep of dust."""
    c.poly([(4, 20), (18, 6), (28, 16), (14, 30)], LMAGENTA)
    c.poly([(4, 20), (9, 15), (19, 25), (14, 30)], BWHITE)
    c.outline(MAGENTA)
    c.rect(20, 28, 31, 30, GREY)


def delete(c):
    """A red cross."""
    c.line(6, 6, 26, 26, 6, LRED)
    c.line(26, 6, 6, 26, 6, LRED)
    c.outline(RED)


def help_(c):
    """A question mark in a blue disc."""
    c.disc(16, 16, 14.5, LBLUE)
    c.outline(BLUE)
    c.ring(16, 12, 3, 6.5, BWHITE)
    c.rect(9, 12, 16, 19, LBLUE)  # open the ring to a hook
    c.rect(14.5, 16, 17.5, 21, BWHITE)
    c.rect(14.5, 23, 17.5, 26, BWHITE)


def pro(c):
    """A gold star: the extended edition."""
    pts = []
    for i in range(10):
        r = 15 if i % 2 == 0 else 6.5
        a = -math.pi / 2 + i * math.pi / 5
        pts.append((16 + r * math.cos(a), 17 + r * math.sin(a)))
    c.poly(pts, LYELLOW)
    c.outline(YELLOW)


def end(c):
    """A power symbol."""
    c.ring(16, 17, 9, 13, LRED)
    c.rect(12, 1, 20, 14, CLEAR)
    c.rect(14, 2, 18, 17, LRED)
    c.outline(RED)


ICONS = {
    "program": (program, (32, 16)),
    "next": (next_, (32, 16)),
    "cut": (cut, (16,)),
    "new": (new, (32, 16)),
    "save": (save, (32, 16)),
    "clear": (clear, (32, 16)),
    "delete": (delete, (32, 16)),
    "help": (help_, (32, 16)),
    "pro": (pro, (32,)),
    "end": (end, (32, 16)),
}

# The program icon for the desktop's icon theme, drawn afresh at each size.
THEME_SIZES = (16, 32, 48, 128, 256)

if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    out = os.path.join(here, "..", "icons")
    for name, (draw, sizes) in ICONS.items():
        for size in sizes:
            canvas = Canvas(size)
            draw(canvas)
            write_png(canvas, os.path.join(out, f"{name}-{size}.png"))
    theme = os.path.join(here, "..", "hicolor")
    os.makedirs(theme, exist_ok=True)
    for size in THEME_SIZES:
        canvas = Canvas(size)
        program(canvas)
        write_png(canvas, os.path.join(theme, f"yarukin-{size}.png"))
