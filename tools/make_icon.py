#!/usr/bin/env python3
"""Draws res/horavel.ico: a 32x32, 16-colour clock face showing ten past ten."""
import math
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, SILVER, GRAY, RED, BLUE, WHITE = 0, 4, 7, 8, 9, 12, 15
SIZE = 32
CENTRE = 15.5


def draw():
    pixels = [[None] * SIZE for _ in range(SIZE)]  # None: transparent
    for y in range(SIZE):
        for x in range(SIZE):
            r = math.hypot(x - CENTRE, y - CENTRE)
            if r <= 15.6:
                pixels[y][x] = NAVY if r > 13.4 else BLUE if r > 12.4 else WHITE

    def line(angle_degrees, start, end, colour, width):
        a = math.radians(angle_degrees)
        steps = max(1, int((end - start) * 8))
        for i in range(steps + 1):
            d = start + (end - start) * i / steps
            px, py = CENTRE + d * math.sin(a), CENTRE - d * math.cos(a)
            for y in range(SIZE):
                for x in range(SIZE):
                    if math.hypot(x - px, y - py) <= width / 2:
                        pixels[y][x] = colour

    for hour in range(12):
        major = hour % 3 == 0
        line(hour * 30, 9.6 if major else 10.6, 11.6, BLACK if major else GRAY, 1.2)
    line(10 * 30 + 5, 0, 6.5, BLACK, 2.2)   # hour hand, just past ten
    line(2 * 30, 0, 9.5, BLACK, 1.6)        # minute hand at ten past
    line(7 * 30, -2, 9.5, RED, 0.9)         # second hand
    line(0, 0, 0, RED, 2.6)                 # hub
    return pixels


def ico(pixels):
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor = b"".join(
        bytes(((row[x] or 0) << 4) | (row[x + 1] or 0) for x in range(0, SIZE, 2))
        for row in reversed(pixels))
    mask = b"".join(
        int("".join("1" if p is None else "0" for p in row), 2).to_bytes(4, "big")
        for row in reversed(pixels))
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask),
                         0, 0, 16, 0)
    image = header + colours + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4,
                                                           len(image), 6 + 16)
    return directory + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "res/horavel.ico"
    with open(out, "wb") as f:
        f.write(ico(draw()))
