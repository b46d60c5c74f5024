"""Kelpo32.exe on a screen of high pixel density under Wine: with the prefix's LogPixels at 192 the
character is drawn at twice its size, window and shape included, every pixel a crisp 2 x 2 block of
what the same character shows at 96 DPI, and the bundled sample likewise crisp at twice its size.
Each density runs in its own prefix. The "Scale" setting
fixes the size whatever the DPI; out of range it is limited."""

import os
import time

from harness import BOTH, case, check, equal
from cases_window import (SETTINGS_KEY, HEIGHT, WIDTH, TARGET_GREEN, RED, BLUE, INSIDE_RECTS, character, close, in_notch,
                          install, placed_at, screenshot, start_character, start_target, wait_for)

TARGET = (100, 200, 500, 400)
# Where Wine reads the system DPI (winecfg's "Screen resolution"): every process started later uses it.
DPI_KEY = r"Control Panel\Desktop"


def expected_96(x, y):
    return TARGET_GREEN if in_notch(x, y) else (RED if x < WIDTH // 2 else BLUE)


def shot_when_right(prefix, rect, want, timeout=5.0):
    """The screen inside rect once it equals want (rows of pixels), or the last one after timeout:
    a placed window reaches the X server's screen a little later."""
    deadline = time.monotonic() + timeout
    while True:
        rows = screenshot(prefix, rect)
        if rows == want or time.monotonic() > deadline:
            return rows
        time.sleep(0.2)


def first_difference(rows, want):
    for y, (row, wrow) in enumerate(zip(rows, want)):
        for x, (p, w) in enumerate(zip(row, wrow)):
            if p != w:
                return (x, y, p, w)
    return None


def run_at(ctx, version, dpi):
    """(window, screenshot rows) of the character standing on the target at a DPI."""
    prefix = ctx.prefix(version=version)
    if dpi != 96:
        prefix.reg_set(DPI_KEY, "LogPixels", dpi)
    path = install(ctx, prefix, "高密度")
    start_target(prefix, TARGET)
    time.sleep(0.5)
    program, window = start_character(ctx, prefix, path, ["-p0"])
    window = wait_for(prefix, "placed on the target", placed_at(TARGET[0], TARGET[1]))
    scale = dpi // 96
    want = [[expected_96(x // scale, y // scale) for x in range(WIDTH * scale)] for y in range(HEIGHT * scale)]
    rect = (TARGET[0], TARGET[1], TARGET[0] + WIDTH * scale, TARGET[1] + HEIGHT * scale)
    rows = shot_when_right(prefix, rect, want)
    close(prefix, program, window)
    return window, rows


@case(archs=BOTH, params=[("colorkey", "winxp"), ("region", "nt40")])
def drawn_at_twice_its_size_at_192_dpi(ctx):
    version = ctx.param
    window96, rows96 = run_at(ctx, version, 96)
    # At 96 DPI nothing changes: the character's own size and pixels.
    equal(window96["rect"], [100, 200, 100 + WIDTH, 200 + HEIGHT], "window at 96 DPI")
    want96 = [[expected_96(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    check(rows96 == want96, "96 DPI: first difference %r" % (first_difference(rows96, want96),))

    window, rows = run_at(ctx, version, 192)
    equal(window["rect"], [100, 200, 100 + 2 * WIDTH, 200 + 2 * HEIGHT], "window at 192 DPI")
    if version == "nt40":
        equal(window["region"], [[2 * v for v in r] for r in INSIDE_RECTS], "window region at 192 DPI")
    else:
        equal(window["region"], None, "window region in colour-key mode")
    # Pixel for pixel the 96 DPI screenshot with every pixel doubled (nearest neighbour).
    doubled = [[row[x // 2] for x in range(2 * WIDTH)] for row in rows96 for _ in range(2)]
    check(rows == doubled, "192 DPI: first difference from the doubled 96 DPI frame %r; window %r" %
          (first_difference(rows, doubled), window))


@case(archs=BOTH, params=[("3", (3, 3)), ("9-is-4", (9, 4)), ("minus-1-is-automatic", (-1, 1))])
def the_scale_setting_fixes_the_size(ctx):
    setting, scale = ctx.param
    prefix = ctx.prefix(version="winxp")
    prefix.reg_set(SETTINGS_KEY, "Scale", setting)
    path = install(ctx, prefix, "固定")
    start_target(prefix, TARGET)
    program, window = start_character(ctx, prefix, path, ["-p0"])
    window = wait_for(prefix, "placed on the target", placed_at(TARGET[0], TARGET[1]))
    equal(window["rect"], [100, 200, 100 + scale * WIDTH, 200 + scale * HEIGHT], "window with Scale %d" % setting)
    close(prefix, program, window)


@case(archs=BOTH)
def the_sample_is_crisp_at_twice_its_size(ctx):
    """The bundled sample at 192 DPI before Windows 2000, where the window region shows its shape:
    a window of twice 128 x 96, a region of whole 2 x 2 blocks, and inside it every 2 x 2 block of
    the screen one colour (nothing smoothed). Region and screenshot are taken while the frame
    stands still (the same region before and after)."""
    sample = os.path.join(ctx.dist_dir, "samples", "kelpo.kp")
    check(os.path.exists(sample), "no %s: make dist" % sample)
    prefix = ctx.prefix(version="nt40")
    prefix.reg_set(DPI_KEY, "LogPixels", 192)
    path = prefix.install(sample, r"C:\kp\kelpo.kp")
    start_target(prefix, (100, 400, 700, 700))
    program, window = start_character(ctx, prefix, path, ["-n1"])
    window = wait_for(prefix, "shown", lambda w: w["visible"] and w["region"])
    left, top, right, bottom = window["rect"]
    equal((right - left, bottom - top), (256, 192), "window size of the sample at 192 DPI")
    for _ in range(20):
        region = character(prefix)["region"]
        rows = screenshot(prefix, (left, top, right, bottom))
        if region and character(prefix)["region"] == region:
            break
    check(all(v % 2 == 0 for r in region for v in r), "region not of whole 2 x 2 blocks: %r" % region)
    blurred = [(x, y) for l, t, r, b in region for y in range(t, b, 2) for x in range(l, r, 2)
               if len({rows[y][x], rows[y][x + 1], rows[y + 1][x], rows[y + 1][x + 1]}) != 1]
    check(not blurred, "%d blocks of 2 x 2 not one colour, first at %r" % (len(blurred), blurred[:3]))
    close(prefix, program, window)
