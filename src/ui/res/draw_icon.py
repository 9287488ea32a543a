#!/usr/bin/env python3
"""Draws the program icon, qmxset.ico: one 32 x 32 image in 16 colours.

The picture: a closed carton with a green arrow pointing down into it, the
installer putting modules in place. Run from anywhere; writes the .ico next
to this script. Needs only the Python standard library.
"""
import os
import struct

SIZE = 32

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, DARK_YELLOW, GREY, GREEN, YELLOW, WHITE = 0, 2, 3, 8, 10, 11, 15


def inside(polygon, x, y):
    """Whether the centre of pixel (x, y) lies inside polygon (even-odd rule)."""
    px, py = x + 0.5, y + 0.5
    result = False
    for i in range(len(polygon)):
        (x1, y1), (x2, y2) = polygon[i], polygon[(i + 1) % len(polygon)]
        if (y1 > py) != (y2 > py):
            cross = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
            if px < cross:
                result = not result
    return result


class Canvas:
    def __init__(self):
        self.pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent

    def shape(self, polygon, fill, outline=BLACK):
        """Fills polygon, then draws its one-pixel inner border in outline."""
        mask = [[inside(polygon, x, y) for x in range(SIZE)] for y in range(SIZE)]
        for y in range(SIZE):
            for x in range(SIZE):
                if not mask[y][x]:
                    continue
                edge = any(
                    not (0 <= x + dx < SIZE and 0 <= y + dy < SIZE and mask[y + dy][x + dx])
                    for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                self.pixels[y][x] = outline if edge else fill

    def line(self, x1, y1, x2, y2, colour):
        steps = max(abs(x2 - x1), abs(y2 - y1), 1)
        for i in range(steps + 1):
            x = round(x1 + (x2 - x1) * i / steps)
            y = round(y1 + (y2 - y1) * i / steps)
            self.pixels[y][x] = colour


def draw():
    c = Canvas()
    # The carton: top, right side, front (drawn back to front).
    c.shape([(3, 14), (8, 9), (29, 9), (24, 14)], YELLOW)
    c.shape([(23, 14), (29, 8), (29, 25), (23, 31)], GREY)
    c.shape([(3, 14), (24, 14), (24, 31), (3, 31)], DARK_YELLOW)
    c.line(4, 20, 22, 20, YELLOW)  # packing tape
    # The arrow, coming from above into the open top.
    c.shape([(11, 0), (17, 0), (17, 10), (22, 10), (14, 19), (6, 10), (11, 10)], GREEN, DARK_GREEN)
    c.line(12, 1, 12, 10, WHITE)   # highlight on the shaft
    return c


def ico_bytes(canvas):
    rows = []  # XOR image, 4 bits per pixel, bottom row first
    masks = []  # AND mask, 1 bit per pixel, set where transparent
    for y in reversed(range(SIZE)):
        row = canvas.pixels[y]
        colours = [0 if p is None else p for p in row]
        rows.append(bytes((colours[x] << 4) | colours[x + 1] for x in range(0, SIZE, 2)))
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        masks.append(bits.to_bytes(SIZE // 8, "big"))
    xor = b"".join(rows)
    and_mask = b"".join(masks)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(xor) + len(and_mask), 0, 0, 16, 0)
    image = header + palette + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "qmxset.ico")
    with open(path, "wb") as out:
        out.write(ico_bytes(draw()))
    for row in draw().pixels:
        print("".join("." if p is None else "%x" % p for p in row))


if __name__ == "__main__":
    main()
