#!/usr/bin/env python3
"""Takes the README's pictures of the program under Wine: the context menu with its pattern menu
open, the settings dialog and the about box, with the bundled sample character standing on Notepad.

    scripts/screenshots.py [--out docs]      (after make dist)

Uses the end-to-end harness (tests/e2e): its own Xvfb display and Wine prefix, both gone afterwards.
"""

import argparse
import os
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import cases_interaction as ci  # noqa: E402
import kpwine  # noqa: E402
import run_e2e  # noqa: E402

NOTEPAD = (160, 240, 640, 360)  # x, y, width, height of the window the character stands on


def crop(prefix, path, rect, margin=8):
    """A screenshot of the screen cut to rect (left, top, right, bottom) and a margin."""
    shot = prefix.screenshot(path + ".full.png")
    left, top = max(0, rect[0] - margin), max(0, rect[1] - margin)
    width, height = rect[2] + margin - left, rect[3] + margin - top
    subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (width, height, left, top), "+repage", path],
                   check=True)
    os.unlink(shot)
    print("wrote", path)


def union(*rects):
    return [min(r[0] for r in rects), min(r[1] for r in rects), max(r[2] for r in rects),
            max(r[3] for r in rects)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", default=os.path.join(REPO, "docs"))
    parser.add_argument("--dist", default=os.path.join(REPO, "dist"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    mode = kpwine.wine_mode()
    arch = mode.native_arch
    probes = {a: run_e2e.find_probe(args.dist, a) for a in mode.archs}
    session = kpwine.Session(probes[arch], os.path.join(REPO, "build", "e2e"), arch_probes=probes)
    session.start()
    try:
        prefix = session.new_prefix(name="screenshots")
        for name, value in zip(("iWindowPosX", "iWindowPosY", "iWindowPosDX", "iWindowPosDY"), NOTEPAD):
            prefix.reg_set(r"Software\Microsoft\Notepad", name, value)
        prefix.start("notepad")
        ci.wait_until("Notepad", lambda: prefix.windows(cls="Notepad"))
        sample = prefix.install(os.path.join(args.dist, "samples", "kelpo.kp"), r"C:\kp\kelpo.kp")
        exe = os.path.join(args.dist, arch, "Kelpo32.exe")
        program = prefix.start(exe, [sample])
        window = ci.character(prefix, lambda w: w["visible"], what="the character on Notepad")
        time.sleep(1)  # a few frames of its animation
        notepad = prefix.windows(cls="Notepad")[0]["rect"]

        class Ctx:  # what the case helpers need of a case's context
            pass
        ctx = Ctx()
        ctx.arch = arch
        menu = ci.open_menu(ctx, prefix, window)
        entry = ci.item(menu, "パターン選択")
        ci.point_at(prefix, *ci.centre(entry["rect"]))
        menus = ci.wait_until("the pattern menu", lambda: (lambda m: m if len(m) == 2 else None)(
            prefix.menus(arch)))
        crop(prefix, os.path.join(args.out, "menu.png"),
             union(window["rect"], menus[0]["rect"], menus[1]["rect"], [notepad[0], notepad[1], notepad[2],
                                                                         notepad[1] + 60]))
        prefix.xdotool("key", "Escape")
        prefix.xdotool("key", "Escape")

        for key, title, name, button in (("s", "設定", "settings.png", kpwine.IDCANCEL),
                                         ("a", "Kelpo32について", "about.png", kpwine.IDOK)):
            window = ci.character(prefix, lambda w: w["visible"], what="the character shown again")
            ci.open_menu(ctx, prefix, window)
            prefix.xdotool("key", key)
            dialog = prefix.wait_dialog(timeout=15, title=title)
            ci.check(dialog is not None, "no dialog titled %s" % title)
            time.sleep(0.5)
            crop(prefix, os.path.join(args.out, name), dialog["rect"], margin=0)
            prefix.press(dialog, button)
        ci.close(prefix, program, ci.character(prefix))
    finally:
        session.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
