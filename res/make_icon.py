#!/usr/bin/env python3
"""Draws the program icon: a small yellow note with a folded corner and a few
lines of writing, in colours of the standard 16-colour palette. Each size the
system shows it at (16, 20 and 24 pixels in the tray and on captions, 32 and 48
in the Alt+Tab list and on the desktop) has a picture of its own, laid out on
whole pixels for that size: shrunk from a larger one, the lines of writing
would fall between pixels and vanish.

The pictures are stored in 16 colours with a mask, except the 20- and
24-pixel ones, which have 32 bits a pixel and their transparency in an alpha
channel too: Wine's tray cuts the mask of an icon whose width is not a
multiple of 16 (it leaves out the padding of the mask's rows), and showed them
with a black band; where there is alpha, the mask is not used. The others stay
small: the icon is most of the program's resources.

Writes res/appuntello.ico; run it again after changing the picture."""
import struct
import sys
from collections import namedtuple

# The 16-colour VGA palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
DARK_YELLOW, GREY, DARK_GREY, YELLOW, BLUE, WHITE = 3, 7, 8, 11, 12, 15

# The note's edges (inclusive), the size of its folded corner, the rows of its
# darker top band, the first column of writing, and the lines of writing as
# (row, last column).
Layout = namedtuple("Layout", "left top right bottom fold band indent lines")
LAYOUTS = {
    16: Layout(1, 1, 13, 14, 4, (2,), 3, ((5, 10), (8, 10), (11, 7))),
    20: Layout(2, 1, 16, 17, 5, (2,), 4, ((5, 13), (8, 13), (11, 13), (14, 9))),
    24: Layout(2, 1, 20, 21, 6, (2, 3), 4, ((7, 17), (10, 17), (13, 17), (16, 12))),
    32: Layout(3, 2, 27, 28, 8, (3, 4), 6, ((9, 24), (13, 24), (17, 24), (21, 17))),
    48: Layout(4, 3, 41, 43, 12, (4, 5, 6), 8, ((12, 37), (13, 37), (18, 37), (19, 37), (24, 37), (25, 37),
                                                  (30, 37), (31, 37), (36, 26), (37, 26))),
}
SIZES = sorted(LAYOUTS)


def pixel(layout, x, y):
    """Colour index at (x, y), y = 0 at the top; None = transparent."""
    left, top, right, bottom, fold = layout.left, layout.top, layout.right, layout.bottom, layout.fold
    if not (left <= x <= right and top <= y <= bottom):
        # a shadow one pixel to the right and below, up to the fold
        if x == right + 1 and top + 2 <= y <= bottom - fold + 1:
            return DARK_GREY
        if y == bottom + 1 and left + 2 <= x <= right - fold + 1:
            return DARK_GREY
        return None
    fx, fy = right - x, bottom - y  # distance from the bottom-right corner
    if fx + fy < fold - 1:
        return None  # the corner folded away
    if fx + fy <= fold:
        return DARK_YELLOW  # the fold's edge
    if fx < fold and fy < fold:
        # the turned-up flap: its edges, and its back lighter than the front
        return DARK_YELLOW if fold - 1 in (fx, fy) else WHITE
    if x in (left, right) or y in (top, bottom):
        return DARK_YELLOW
    if y in layout.band:
        return DARK_YELLOW
    for row, last in layout.lines:
        if y == row and layout.indent <= x <= last:
            return BLUE
    return YELLOW


def needs_alpha(size):
    return size % 16 != 0


def image(size):
    """One icon image as an .ico file holds it: a bitmap (16 colours, or 32
    bits with alpha), then the mask, both bottom-up."""
    layout = LAYOUTS[size]
    alpha = needs_alpha(size)
    bits = 32 if alpha else 4
    colour_stride = (size * bits + 31) // 32 * 4
    mask_stride = (size + 31) // 32 * 4  # one bit a pixel, rows of whole 32-bit words
    colour_rows, mask_rows = [], []
    for y in reversed(range(size)):
        colour, mask = bytearray(colour_stride), bytearray(mask_stride)
        for x in range(size):
            index = pixel(layout, x, y)
            if index is None:
                mask[x // 8] |= 0x80 >> (x % 8)
            elif alpha:
                red, green, blue = PALETTE[index]
                colour[4 * x:4 * x + 4] = bytes((blue, green, red, 255))
            else:
                colour[x // 2] |= index << (4 if x % 2 == 0 else 0)
        colour_rows.append(bytes(colour))
        mask_rows.append(bytes(mask))
    palette = b"" if alpha else b"".join(bytes((blue, green, red, 0)) for red, green, blue in PALETTE)
    colour_data, mask_data = b"".join(colour_rows), b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(colour_data) + len(mask_data), 0, 0,
                         0 if alpha else 16, 0)
    return header + palette + colour_data + mask_data


def build():
    images = [image(size) for size in SIZES]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    for size, data in zip(SIZES, images):
        colours, bits = (0, 32) if needs_alpha(size) else (16, 4)
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    return directory + b"".join(images)


def preview(size):
    """The picture as text, for a look while drawing: '.' is transparent."""
    layout = LAYOUTS[size]
    return "\n".join("".join("." if pixel(layout, x, y) is None else "0123456789abcdef"[pixel(layout, x, y)]
                             for x in range(size)) for y in range(size))


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--preview":
        for size in SIZES:
            print(f"{size} x {size}\n{preview(size)}\n")
        sys.exit(0)
    out = sys.argv[1] if len(sys.argv) > 1 else "res/appuntello.ico"
    with open(out, "wb") as f:
        f.write(build())
