#!/usr/bin/env python3
"""Draws the program icon, kelpo32.ico: a round green creature with a leaf on its head.

    python3 src/win32/res/make_icon.py [OUT]

writes the icon to OUT (default: kelpo32.ico beside this script). The icon is kept in the source
tree, so the build does not need this script; run it after changing the drawing and commit what it
writes. It holds two pictures, 32 x 32 and 16 x 16, each with 16 colours of its own palette and a
transparency mask, which every Windows from 95 on shows. Only the standard library is used and
every pixel is decided by exact arithmetic, so the output is the same bytes everywhere.
"""

import os
import struct
import sys
from fractions import Fraction

# The palette: index 0 is what transparent pixels carry in the colour bits (their mask bit is set).
PALETTE = [  # red, green, blue
    (0, 0, 0),  # 0 transparent
    (28, 56, 44),  # 1 outline
    (86, 176, 104),  # 2 body
    (150, 216, 150),  # 3 body highlight
    (56, 134, 84),  # 4 body shadow, feet
    (196, 232, 170),  # 5 belly
    (150, 160, 52),  # 6 leaf
    (104, 112, 36),  # 7 leaf vein
    (255, 255, 255),  # 8 eye shine
    (24, 24, 40),  # 9 eye
    (244, 150, 160),  # 10 blush
]
PALETTE += [(0, 0, 0)] * (16 - len(PALETTE))
TRANSPARENT, OUTLINE, BODY, HIGHLIGHT, SHADOW, BELLY, LEAF, VEIN, SHINE, EYE, BLUSH = range(11)


def in_ellipse(x, y, cx, cy, rx, ry):
    """Whether (x, y) lies inside the axis-parallel ellipse; all values are Fractions."""
    dx = (x - cx) / rx
    dy = (y - cy) / ry
    return dx * dx + dy * dy <= 1


def leaf_axes(x, y):
    """(u, v): the point's coordinates along the leaf's long axis (1, -2) and across it, both
    times sqrt(5) so that they stay exact."""
    dx = x - Fraction(19, 32)
    dy = y - Fraction(7, 32)
    return dx - 2 * dy, 2 * dx + dy


def in_leaf(x, y):
    """The leaf: an ellipse leaning to the right, 7.5/32 long and 3.5/32 wide on each side."""
    u, v = leaf_axes(x, y)
    return u * u / (5 * Fraction(15, 64) ** 2) + v * v / (5 * Fraction(7, 64) ** 2) <= 1


def on_vein(x, y):
    """The leaf's middle vein, in its lower part."""
    u, v = leaf_axes(x, y)
    return v * v <= 5 * Fraction(1, 32) ** 2 and u > -Fraction(3, 32)


def colour_at(x, y, size):
    """The palette index of the pixel whose centre is (x, y), in units of the icon's width."""
    body = in_ellipse(x, y, Fraction(1, 2), Fraction(20, 32), Fraction(12, 32), Fraction(10, 32))
    feet = in_ellipse(x, y, Fraction(11, 32), Fraction(29, 32), Fraction(7, 64), Fraction(2, 32)) or in_ellipse(
        x, y, Fraction(21, 32), Fraction(29, 32), Fraction(7, 64), Fraction(2, 32)
    )
    if body:
        if size >= 32 and in_ellipse(x, y, Fraction(15, 32), Fraction(18, 32), Fraction(3, 64), Fraction(3, 32)):
            return SHINE if in_ellipse(x, y, Fraction(29, 64), Fraction(33, 64), Fraction(1, 64), Fraction(1, 64)) else EYE
        if size >= 32 and in_ellipse(x, y, Fraction(21, 32), Fraction(18, 32), Fraction(3, 64), Fraction(3, 32)):
            return SHINE if in_ellipse(x, y, Fraction(41, 64), Fraction(33, 64), Fraction(1, 64), Fraction(1, 64)) else EYE
        if size < 32 and Fraction(9, 16) < y < Fraction(11, 16) and (
            Fraction(6, 16) < x < Fraction(7, 16) or Fraction(10, 16) < x < Fraction(11, 16)
        ):
            return EYE
        if size >= 32 and (in_ellipse(x, y, Fraction(9, 32), Fraction(23, 32), Fraction(2, 32), Fraction(1, 32))
                           or in_ellipse(x, y, Fraction(25, 32), Fraction(23, 32), Fraction(2, 32), Fraction(1, 32))):
            return BLUSH
        if in_ellipse(x, y, Fraction(1, 2), Fraction(26, 32), Fraction(7, 32), Fraction(9, 64)):
            return BELLY
        if in_ellipse(x, y, Fraction(11, 32), Fraction(14, 32), Fraction(4, 32), Fraction(2, 32)):
            return HIGHLIGHT
        if not in_ellipse(x, y, Fraction(1, 2), Fraction(19, 32), Fraction(12, 32), Fraction(10, 32)):
            return SHADOW
        return BODY
    if feet:
        return SHADOW
    if in_leaf(x, y):
        return VEIN if on_vein(x, y) else LEAF
    return TRANSPARENT


def draw(size):
    """The picture as rows of palette indices, row 0 at the top, outlined where it meets the outside."""
    pixels = [
        [colour_at(Fraction(2 * c + 1, 2 * size), Fraction(2 * r + 1, 2 * size), size) for c in range(size)]
        for r in range(size)
    ]

    def outside(r, c):
        return not (0 <= r < size and 0 <= c < size) or pixels[r][c] == TRANSPARENT

    outlined = [row[:] for row in pixels]
    for r in range(size):
        for c in range(size):
            if pixels[r][c] != TRANSPARENT and any(
                outside(r + dr, c + dc) for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1))
            ):
                outlined[r][c] = OUTLINE
    return outlined


def icon_image(size):
    """One picture as an icon stores it: header, palette, 4-bit colour rows, 1-bit mask rows (bottom up)."""
    pixels = draw(size)
    colour_stride = (size * 4 + 31) // 32 * 4
    mask_stride = (size + 31) // 32 * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for c, index in enumerate(row):
            line[c // 2] |= index << (4 if c % 2 == 0 else 0)
            if index == TRANSPARENT:
                bits[c // 8] |= 0x80 >> (c % 8)
        colour += line
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0, len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(sizes):
    images = [icon_image(size) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "kelpo32.ico")
    with open(out, "wb") as f:
        f.write(icon_file([32, 16]))


if __name__ == "__main__":
    main()
