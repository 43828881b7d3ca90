#!/usr/bin/env python3
"""Draws the program icon: a small yellow note with a folded corner and a few
lines of writing, one 32 x 32 image in the 16 colours of the standard palette.
Writes res/appuntello.ico; run it again after changing the picture."""
import struct
import sys

# The 16-colour VGA palette, as (blue, green, red, 0) quads.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # (red, green, blue)
BLACK, DARK_YELLOW, GREY, DARK_GREY, BLUE, YELLOW, WHITE = 0, 3, 7, 8, 12, 11, 15

SIZE = 32
FOLD = 8  # size of the folded corner


def pixel(x, y):
    """Colour index at (x, y), y = 0 at the top; None = transparent."""
    left, top, right, bottom = 3, 2, 28, 29
    if not (left <= x <= right and top <= y <= bottom):
        # a soft shadow to the right and below
        if (x == right + 1 and top + 2 <= y <= bottom + 1) or (y == bottom + 1 and left + 2 <= x <= right + 1):
            return DARK_GREY
        return None
    fx, fy = right - x, bottom - y  # distance from the bottom-right corner
    if fx + fy < FOLD:
        return None if fx + fy < FOLD - 1 else DARK_YELLOW
    if fx + fy == FOLD:
        return DARK_YELLOW
    if fx < FOLD and fy < FOLD and fx + fy < 2 * FOLD and (fx == FOLD - 1 or fy == FOLD - 1) and fx + fy > FOLD:
        return DARK_YELLOW  # the turned-up flap
    if x in (left, right) or y in (top, bottom):
        return DARK_YELLOW
    if y == top + 1 or y == top + 2:
        return DARK_YELLOW if y == top + 2 else YELLOW
    if y in (9, 13, 17, 21) and left + 3 <= x <= right - 3 - (6 if y == 21 else 0):
        return BLUE
    return YELLOW


def build():
    xor_rows, and_rows = [], []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        nibbles = [pixel(x, y) for x in range(SIZE)]
        xor = bytearray()
        for x in range(0, SIZE, 2):
            a, b = (nibbles[x] or 0), (nibbles[x + 1] or 0)
            xor.append((a << 4) | b)
        xor_rows.append(bytes(xor))
        mask = 0
        for x in range(SIZE):
            mask = (mask << 1) | (1 if nibbles[x] is None else 0)
        and_rows.append(struct.pack(">I", mask))
    xor_data = b"".join(xor_rows)
    and_data = b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor_data) + len(and_data), 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + palette + xor_data + and_data
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return icondir + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "res/appuntello.ico"
    with open(out, "wb") as f:
        f.write(build())
