#!/usr/bin/env python3
"""Draws Kelpo's pictures and synthesises its sounds.

    python3 samples/kelpo/make_assets.py [DIR]

writes every BMP and WAV file that kelpo.kps names into DIR (default: this script's folder).
The files are kept in the source tree as well, so building the character does not need this
script; run it after changing the art and commit what it writes. It uses only the standard
library and no transcendental functions from the platform, so the output is the same bytes
everywhere.

Kelpo is a small kelp sprite: a round green body on two stubby feet with a kelp frond growing
from its head. Pictures are 64 x 64 pixels with 8 bits per pixel, all with the one palette
below; each window outline is a 1-bit mask of the whole 128 x 96 window, made from the very
pictures it belongs to (pixel value 0, the first colour, is inside).
"""

import os
import struct
import sys

# --- the palette ------------------------------------------------------------------------------

BG = 0  # never seen: everything in this colour lies outside the window's shape
OUTLINE = 1
BODY = 2
BODY_LIGHT = 3
BODY_SHADOW = 4
BELLY = 5
FROND = 6
FROND_DARK = 7
FROND_LIGHT = 8
WHITE = 9
PUPIL = 10
BLUSH = 11
MOUTH = 12
SPARKLE = 13
SNORE = 14
BALLOON_EDGE = 15
TONGUE = 16

NAMED_COLOURS = [  # red, green, blue
    (255, 0, 255),
    (28, 56, 44),
    (86, 176, 104),
    (150, 216, 150),
    (56, 134, 84),
    (196, 232, 170),
    (150, 160, 52),
    (104, 112, 36),
    (196, 204, 100),
    (255, 255, 255),
    (24, 24, 40),
    (244, 150, 160),
    (176, 56, 64),
    (255, 224, 96),
    (72, 104, 208),
    (96, 96, 112),
    (236, 120, 130),
]


def palette():
    """256 colours: the named ones, a 6 x 6 x 6 colour cube, then a grey ramp."""
    colours = list(NAMED_COLOURS)
    for r in range(6):
        for g in range(6):
            for b in range(6):
                colours.append((51 * r, 51 * g, 51 * b))
    greys = 256 - len(colours)
    for i in range(greys):
        v = (i + 1) * 255 // (greys + 1)
        colours.append((v, v, v))
    assert len(colours) == 256
    # The colour key that layered windows show as transparent must not be a colour of ours.
    assert (0, 250, 250) not in colours
    return colours


# --- a tiny indexed-colour canvas -------------------------------------------------------------


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[BG] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x] if 0 <= x < self.w and 0 <= y < self.h else BG

    def paint(self, part, colour, edge=OUTLINE):
        """Fills a set of (x, y) pixels and draws its border (pixels with a 4-neighbour outside
        the set) in `edge`."""
        for x, y in part:
            self.set(x, y, colour)
        if edge is not None:
            for x, y in border(part):
                self.set(x, y, edge)

    def silhouette(self):
        return {(x, y) for y in range(self.h) for x in range(self.w) if self.px[y][x] != BG}

    def mirrored(self):
        m = Canvas(self.w, self.h)
        m.px = [list(reversed(row)) for row in self.px]
        return m


def border(part):
    return {(x, y) for x, y in part
            if (x - 1, y) not in part or (x + 1, y) not in part
            or (x, y - 1) not in part or (x, y + 1) not in part}


def ellipse(cx, cy, rx, ry, w=64, h=64):
    """The pixels whose centres lie inside the ellipse (continuous coordinates: pixel x covers
    x..x+1, so a centre of 32 is the middle of a 64-pixel cell)."""
    out = set()
    for y in range(h):
        for x in range(w):
            dx = (x + 0.5 - cx) / rx
            dy = (y + 0.5 - cy) / ry
            if dx * dx + dy * dy <= 1.0:
                out.add((x, y))
    return out


def line(x0, y0, x1, y1):
    """Bresenham's line between two pixels, both ends included."""
    out = []
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
    err = dx + dy
    while True:
        out.append((x0, y0))
        if x0 == x1 and y0 == y1:
            return out
        e2 = 2 * err
        if e2 >= dy:
            err += dy
            x0 += sx
        if e2 <= dx:
            err += dx
            y0 += sy


def bezier(p0, p1, p2, t):
    u = 1.0 - t
    return (u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
            u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1])


def frond(p0, p1, p2, w=64, h=64):
    """The kelp frond: discs along a quadratic curve from its base p0 to its tip p2, widest in
    the middle. Returns the leaf's pixels and those of its middle rib."""
    steps = 48
    discs = []
    for i in range(steps + 1):
        t = i / steps
        x, y = bezier(p0, p1, p2, t)
        r = 1.3 + 11.0 * t * (1.0 - t) - 0.5 * t
        discs.append((x, y, r))
    leaf = set()
    for y in range(h):
        for x in range(w):
            px, py = x + 0.5, y + 0.5
            for cx, cy, r in discs:
                if (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r:
                    leaf.add((x, y))
                    break
    rib = set()
    for i in range(4, steps - 8):
        x, y = bezier(p0, p1, p2, i / steps)
        rib.add((int(x), int(y)))
    return leaf, rib


def sparkle(c, x, y):
    for d in (1, 2):
        for sx, sy in ((x - d, y), (x + d, y), (x, y - d), (x, y + d)):
            c.set(sx, sy, SPARKLE)
    c.set(x, y, WHITE)


def glyph(c, x, y, rows, colour):
    for j, row in enumerate(rows):
        for i, ch in enumerate(row):
            if ch == "#":
                c.set(x + i, y + j, colour)


SMALL_Z = ["####", "..#.", ".#..", "####"]
BIG_Z = ["######", "....#.", "...#..", "..#...", ".#....", "######"]


# --- Kelpo ------------------------------------------------------------------------------------


def kelpo(body=(32, 42, 21, 17), feet=((22, 60), (42, 60)), leaf=((32, 27), (30, 14), (22, 3)),
          eyes="open", gaze=(0, 0), face_dx=0, mouth="smile", blush=True, flip=False):
    """One picture of Kelpo, facing the viewer or, with face_dx < 0, to the left. With flip
    the whole drawing is mirrored (facing right) but keeps its light from the upper left."""

    def fx(x):  # a continuous x coordinate, mirrored when flipped
        return 64 - x if flip else x

    def px(x):  # a pixel column, mirrored when flipped
        return 63 - x if flip else x

    c = Canvas(64, 64)
    cx, cy, rx, ry = body
    (b0, b1, b2) = leaf
    leaf_px, rib = frond((fx(b0[0]), b0[1]), (fx(b1[0]), b1[1]), (fx(b2[0]), b2[1]))
    c.paint(leaf_px, FROND)
    for x, y in rib:
        c.set(x, y, FROND_DARK)
        if c.get(x - 1, y) == FROND:
            c.set(x - 1, y, FROND_LIGHT)  # a light streak beside the rib
    for fx0, fy0 in feet:
        c.paint(ellipse(fx(fx0), fy0, 6, 3.5), BODY_SHADOW)

    shape = ellipse(cx, cy, rx, ry)
    lit = ellipse(cx - 2, cy - 3, rx - 1, ry - 1.5)
    belly = ellipse(cx, cy + ry * 0.5, rx * 0.5, ry * 0.32)
    shine = ellipse(cx - rx * 0.4, cy - ry * 0.6, 4.5, 2.5)
    for x, y in shape:
        colour = BODY if (x, y) in lit else BODY_SHADOW
        if (x, y) in belly:
            colour = BELLY
        if (x, y) in shine:
            colour = BODY_LIGHT
        c.set(x, y, colour)
    for x, y in border(shape):
        c.set(x, y, OUTLINE)

    ex = (25 + face_dx, 39 + face_dx)  # continuous centres of the two eyes, facing left
    ey = cy - 2
    if flip:
        ex = (64 - ex[1], 64 - ex[0])
    if eyes == "open" or eyes == "wide":
        ry_eye = 5.5 if eyes == "wide" else 4.5
        for e in ex:
            c.paint(ellipse(e, ey, 3.5, ry_eye), WHITE)
            gx = -gaze[0] if flip else gaze[0]
            pupil = ellipse(e + gx, ey + 1 + gaze[1], 2.1, 3.0)
            for x, y in pupil:
                c.set(x, y, PUPIL)
            y0 = min(y for _, y in pupil) + 1
            c.set(min(x for x, y in pupil if y == y0), y0, WHITE)  # the glint
    else:
        for e in ex:
            left = int(e) - 3  # the eye covers pixels left .. left + 5
            y = int(ey)
            if eyes == "shut":
                pts = line(left, y + 1, left + 5, y + 1)
            elif eyes == "happy":  # ^ ^
                pts = line(left, y + 2, left + 2, y) + line(left + 3, y, left + 5, y + 2)
            elif eyes == "sleep":  # curved down, lashes shut
                pts = [(left, y), (left + 5, y)] + line(left + 1, y + 1, left + 4, y + 1)
            elif eyes == "squint":  # > <
                if e < 32:
                    pts = line(left, y - 2, left + 4, y) + line(left + 4, y, left, y + 2)
                else:
                    pts = line(left + 5, y - 2, left + 1, y) + line(left + 1, y, left + 5, y + 2)
            for x, y2 in pts:
                c.set(x, y2, OUTLINE)

    mx = fx(32 + face_dx)  # continuous centre of the mouth
    my = int(cy + ry * 0.35)
    if blush:
        for e in ex:
            side = -5 if e < mx else 5
            for x, y in ellipse(e + side, my - 1.5, 2.5, 1.5):
                if c.get(x, y) in (BODY, BODY_SHADOW, BELLY):
                    c.set(x, y, BLUSH)
    m = int(mx)
    if mouth == "smile":
        for x, y in [(m - 3, my - 1), (m - 2, my), (m - 1, my), (m, my), (m + 1, my), (m + 2, my - 1)]:
            c.set(x, y, OUTLINE)
    elif mouth in ("open", "big"):
        h = 2.5 if mouth == "open" else 3.5
        o = ellipse(mx, my + 0.5, 3 if mouth == "open" else 4, h)
        c.paint(o, MOUTH)
        low = max(y for _, y in o) - 1
        for x, y in o:
            if y == low and (x, y) not in border(o):
                c.set(x, y, TONGUE)
    elif mouth == "o":
        c.paint(ellipse(mx, my + 0.5, 2, 2), MOUTH)
    return c


def pictures():
    """The picture cells 0..15, in the order of kelpo.kps."""
    up = ((32, 27), (33, 14), (31, 2))
    pics = [
        kelpo(),  # 0 standing, frond leaning left
        kelpo(leaf=((32, 27), (34, 14), (42, 3))),  # 1 standing, frond leaning right
        kelpo(eyes="shut"),  # 2 blinking
        kelpo(gaze=(-2, 0)),  # 3 looking left
        kelpo(leaf=((32, 27), (34, 14), (42, 3)), gaze=(2, 0)),  # 4 looking right
    ]
    # 5..8 walking: two steps to the left, then the same two mirrored
    walk = [
        dict(feet=((19, 60), (43, 58)), leaf=((32, 27), (37, 15), (47, 7))),
        dict(body=(32, 41, 21, 17), feet=((23, 58), (45, 60)), leaf=((32, 26), (38, 15), (48, 9))),
    ]
    for flip in (False, True):
        for w in walk:
            pics.append(kelpo(gaze=(-2, 0), face_dx=-3, flip=flip, **w))
    pics += [
        # 9 crouching before a hop and after landing
        kelpo(body=(32, 48, 24, 13), feet=((20, 60), (44, 60)), leaf=((32, 37), (28, 27), (21, 19)),
              eyes="squint", mouth="smile"),
        # 10 in the air
        kelpo(body=(32, 37, 18, 19), feet=((25, 58), (39, 58)), leaf=((32, 20), (32, 10), (33, 1)),
              eyes="wide", gaze=(0, -2), mouth="o"),
    ]
    happy1 = kelpo(leaf=up, eyes="happy", mouth="big")
    for x, y in ((6, 22), (57, 14), (58, 36)):
        sparkle(happy1, x, y)
    happy2 = kelpo(leaf=((32, 27), (31, 14), (27, 2)), eyes="happy", mouth="open")
    for x, y in ((9, 12), (54, 25), (5, 38)):
        sparkle(happy2, x, y)
    pics += [happy1, happy2]  # 11, 12 pleased (patted)
    pics.append(kelpo(mouth="open"))  # 13 talking
    droop = ((32, 29), (40, 14), (52, 21))
    sleep1 = kelpo(body=(32, 44, 22, 15), leaf=droop, eyes="sleep", mouth="o", blush=False)
    glyph(sleep1, 50, 4, SMALL_Z, SNORE)
    sleep2 = kelpo(body=(32, 44, 22, 15), leaf=((32, 29), (40, 15), (53, 22)), eyes="sleep",
                   mouth="smile", blush=False)
    glyph(sleep2, 55, 1, SMALL_Z, SNORE)
    glyph(sleep2, 46, 4, BIG_Z, SNORE)
    pics += [sleep1, sleep2]  # 14, 15 asleep
    return pics


def balloon():
    """Cell 16: a speech balloon across the top of the window, its tail pointing down."""
    c = Canvas(128, 32)
    part = set()
    left, top, right, bottom, r = 2, 1, 125, 25, 6
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            dx = max(left + r - x, 0, x - (right - r))
            dy = max(top + r - y, 0, y - (bottom - r))
            if dx * dx + dy * dy <= r * r:
                part.add((x, y))
    for y in range(bottom, 32):
        half = (31 - y) * 5 // 6
        for x in range(60 - half, 61 + half):
            part.add((x, y))
    c.paint(part, WHITE, BALLOON_EDGE)
    return c


PICTURE_AT = (32, 32)  # where the pictures stand in the 128 x 96 window (kelpo.kps says so too)


def mask(pics, with_balloon=None):
    """A 128 x 96 window outline from pictures that share one silhouette, optionally with the
    balloon. Pictures drawn under a shape must fill it exactly: a pixel of theirs outside it
    would be cut off, and a shape pixel they leave in the background colour would show."""
    first = pics[0].silhouette()
    for p in pics[1:]:
        assert p.silhouette() == first, "pictures sharing a mask differ in outline"
    inside = {(x + PICTURE_AT[0], y + PICTURE_AT[1]) for x, y in first}
    if with_balloon is not None:
        inside |= with_balloon.silhouette()
    return inside


# --- files ------------------------------------------------------------------------------------


def bmp8(c, colours):
    row = (c.w + 3) & ~3
    bits = bytearray()
    for y in reversed(range(c.h)):
        bits += bytes(c.px[y]) + bytes(row - c.w)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
    return bmp(c.w, c.h, 8, table, bits)


def bmp1(inside, w, h):
    """A 1-bit mask: value 0 (black) inside, 1 (white) outside."""
    row = ((w + 31) // 32) * 4
    bits = bytearray()
    for y in reversed(range(h)):
        line_bytes = bytearray(row)
        for x in range(w):
            if (x, y) not in inside:
                line_bytes[x // 8] |= 0x80 >> (x % 8)
        bits += line_bytes
    return bmp(w, h, 1, bytes((0, 0, 0, 0, 255, 255, 255, 0)), bits)


def bmp(w, h, depth, table, bits):
    offset = 14 + 40 + len(table)
    head = b"BM" + struct.pack("<IHHI", offset + len(bits), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, depth, 0, len(bits), 2835, 2835,
                       len(table) // 4, 0)
    return head + info + table + bytes(bits)


def sine(phase):
    """sin(2 pi phase) from a polynomial, the same on every platform."""
    x = phase - int(phase)
    if x < 0:
        x += 1.0
    # fold to a quarter wave: x in 0..0.25 of a turn
    sign = 1.0
    if x >= 0.5:
        x -= 0.5
        sign = -1.0
    if x > 0.25:
        x = 0.5 - x
    t = x * 6.283185307179586
    t2 = t * t
    return sign * t * (1 - t2 / 6 * (1 - t2 / 20 * (1 - t2 / 42 * (1 - t2 / 72))))


def wave(samples, rate=11025):
    data = bytes(samples)
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    if len(data) % 2:
        body += b"\0"
    return b"RIFF" + struct.pack("<I", len(body)) + body


def tone(seconds, f0, f1, attack, rate=11025, volume=0.7):
    """A sweep from f0 to f1 hertz: 8-bit unsigned samples, with a short attack and a fade."""
    n = int(seconds * rate)
    out = []
    phase = 0.0
    for i in range(n):
        t = i / n
        f = f0 + (f1 - f0) * t * t
        phase += f / rate
        env = min(1.0, i / (attack * rate)) * (1.0 - t) * (1.0 - t)
        # a touch of the octave gives it a brighter, chirpier sound
        v = 0.8 * sine(phase) + 0.2 * sine(2 * phase)
        out.append(max(0, min(255, 128 + int(round(127 * volume * env * v)))))
    return out


def assets():
    """Every file kelpo.kps names, by name."""
    colours = palette()
    pics = pictures()
    names = ["stand_a", "stand_b", "blink", "look_left", "look_right", "walk_left_1", "walk_left_2",
             "walk_right_1", "walk_right_2", "crouch", "jump", "happy_1", "happy_2", "talk",
             "sleep_1", "sleep_2"]
    files = {}
    for name, pic in zip(names, pics):
        files[name + ".bmp"] = bmp8(pic, colours)
    talk_balloon = balloon()
    files["balloon.bmp"] = bmp8(talk_balloon, colours)
    masks = [
        ("mask_stand_a", [0, 2, 3, 13], None),
        ("mask_stand_b", [1, 4], None),
        ("mask_walk_left_1", [5], None),
        ("mask_walk_left_2", [6], None),
        ("mask_walk_right_1", [7], None),
        ("mask_walk_right_2", [8], None),
        ("mask_crouch", [9], None),
        ("mask_jump", [10], None),
        ("mask_happy_1", [11], talk_balloon),
        ("mask_happy_2", [12], talk_balloon),
        ("mask_talk", [0, 13], talk_balloon),
        ("mask_sleep_1", [14], None),
        ("mask_sleep_2", [15], None),
    ]
    for name, which, extra in masks:
        files[name + ".bmp"] = bmp1(mask([pics[i] for i in which], extra), 128, 96)
    files["chirp.wav"] = wave(tone(0.2, 900, 2400, 0.008))  # a rising "pyui" when patted
    files["pop.wav"] = wave(tone(0.09, 420, 140, 0.004, volume=0.8))  # landing after a hop
    return files


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, data in sorted(assets().items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
