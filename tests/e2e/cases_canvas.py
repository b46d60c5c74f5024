"""The Win32 drawing services under Wine: GDI draws every cell exactly as the software canvas does, no GDI
object is left behind after many rounds of palettes, fonts, text, fills and cells, and the running
Kelpo32.exe answers with its own GDI object balance, which pattern starts leave unchanged.

canvascheck.exe (tests/e2e/canvascheck) does the drawing and the counting inside the prefix."""

import os
import subprocess
import time

import kpfile
import kpwine
from harness import BOTH, Skip, case, check, equal

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

TITLE = "Kelpo32"
ID_PATTERN_RANDOM = 32780


def canvascheck_exe(ctx):
    """canvascheck.exe of the build this run is for, from the build tree (a test program: it does not go
    into dist), or beside Kelpo32.exe when someone put it there."""
    arch = ctx.arch or ctx.session.mode.native_arch
    for path in (os.path.join(REPO, "build", arch, "tests", "e2e", "canvascheck", "canvascheck.exe"),
                 os.path.join(ctx.dist_dir, arch, "canvascheck.exe")):
        if os.path.exists(path):
            return path
    raise Skip("no canvascheck.exe for %s: build the %s preset" % (arch, arch))


def run_canvascheck(ctx, prefix, *args, timeout=120.0):
    """(exit status, output lines) of canvascheck.exe with the arguments, inside the prefix."""
    try:
        done = subprocess.run([prefix.session.wine, canvascheck_exe(ctx)] + [str(a) for a in args], env=prefix.env,
                              cwd=prefix.path, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise kpwine.WineError("canvascheck %s timed out" % " ".join(map(str, args))) from None
    return done.returncode, done.stdout.decode("utf-8", "replace").splitlines()


@case(archs=BOTH)
def gdi_draws_every_cell_as_the_software_canvas(ctx):
    prefix = ctx.prefix()
    rc, lines = run_canvascheck(ctx, prefix, "draw")
    failures = [line for line in lines if not line.startswith("ok ")][:-1]
    check(rc == 0 and lines and lines[-1].endswith(" 0 failed"),
          "exit %d; %s" % (rc, "\n".join(failures or lines[-5:])))
    # Every depth and compression took part.
    names = {line.split()[1] for line in lines if line.startswith("ok ")}
    for name in ("rgb1-bottomup", "rgb4-topdown", "rgb8-bottomup", "rgb16-topdown", "rgb24-bottomup",
                 "rgb32-topdown", "bitfields16-565-bottomup", "bitfields32-bgr-topdown", "rle8", "rle4",
                 "fills", "text"):
        check(name in names, "case %s did not run: %r" % (name, lines))


@case(archs=BOTH)
def no_gdi_object_left_after_many_cycles(ctx):
    prefix = ctx.prefix()
    rc, lines = run_canvascheck(ctx, prefix, "cycles", 2000)
    check(rc == 0, "exit %d: %s" % (rc, "\n".join(lines)))
    fields = lines[-1].split()
    report = dict(zip(fields[::2], fields[1::2]))
    equal(report.get("balance-after"), "0", "GDI objects held after the canvases went")
    equal(report.get("repeats-made-nothing"), "yes", "a repeated font and palette made nothing")


@case(archs=BOTH)
def gdi_count_sees_an_object_deleted_while_selected(ctx):
    # Wine reports success for DeleteObject of a selected object and frees it only when it is
    # deselected; the count must not take that for a deletion, or the cycles above would prove nothing.
    prefix = ctx.prefix()
    rc, lines = run_canvascheck(ctx, prefix, "counter")
    equal((rc, lines[-1:]), (0, ["counted-while-selected 2"]), "canvascheck counter")


def gdi_balance(ctx, prefix):
    rc, lines = run_canvascheck(ctx, prefix, "balance", timeout=30)
    equal(rc, 0, "canvascheck balance exit status (%r)" % lines)
    return int(lines[-1].split()[1])


@case(archs=BOTH)
def running_program_keeps_its_gdi_balance_over_pattern_starts(ctx):
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\gdi.kp", kpfile.build(name="GDI", patterns=("A", "B", "C")))
    program = prefix.start(ctx.exe, [path])
    window = prefix.wait_window(TITLE, timeout=15)
    check(window is not None and window["class"] != "#32770", "no character window: %r" % (window,))
    first = gdi_balance(ctx, prefix)
    check(0 <= first < 50, "GDI objects held after start-up: %d" % first)
    for i in range(60):
        prefix.post(window["hwnd"], kpwine.WM_COMMAND, ID_PATTERN_RANDOM + 1 + i % 3)
    time.sleep(1.0)
    equal(gdi_balance(ctx, prefix), first, "GDI objects held after 60 pattern starts")
    prefix.post(window["hwnd"], kpwine.WM_CLOSE)
    equal(program.wait(timeout=20), 0, "exit code after WM_CLOSE")
