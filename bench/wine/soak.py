#!/usr/bin/env python3
"""A long run of the bundled sample character under Wine: do its GDI objects and memory stay flat?

    bench/wine/soak.py [--seconds 600] [--arch win32|win64] [--every 10] [--settle 60]

One Wine prefix on a private Xvfb display (Windows XP reported: the layered colour-key window): a
target window that keeps itself in front and moves 8 pixels every second (floor.exe target), and
Kelpo32.exe showing dist/samples/kelpo.kp on it. Every 30 s a pattern of the sample is started from
its menu command, so that pattern starts, shapes, texts and fonts come and go. Every --every seconds
it reads the program's own GDI object balance (the registered message "Kelpo32.GdiObjectBalance",
asked by canvascheck.exe: Wine has no GetGuiResources) and the process's resident memory (VmRSS of
/proc) and prints a row. The first --settle seconds are the program's start-up and are not judged.

Afterwards it compares the samples of the last quarter of the judged time with those of its first
quarter (medians, so that one pattern holding a font or a second shape for a moment does not
count): it fails (exit 1) when the GDI balance grew by more than 2 objects, or the resident memory
by more than 1 MB. Exit 2 when it could not run (no build, the program ended, no window).

Not part of `make test`: `make soak` (SOAK_SECONDS=N to run N seconds instead of 600).
"""

import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
sys.path.insert(0, HERE)

import kpwine  # noqa: E402
import measure  # noqa: E402

PATTERN_COMMAND = 32780  # the pattern menu's commands are this plus the pattern number
GDI_LIMIT = 2
MEMORY_LIMIT_KB = 1024
PATTERN_EVERY = 30.0


class CannotRun(Exception):
    pass


def balance(prefix, canvascheck):
    done = subprocess.run([prefix.session.wine, canvascheck, "balance"], env=prefix.env, cwd=prefix.path,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          timeout=60)
    lines = done.stdout.decode("utf-8", "replace").split()
    if done.returncode != 0 or len(lines) < 2:
        raise CannotRun("canvascheck balance: exit %d, %r" % (done.returncode, lines))
    return int(lines[-1])


def rss_kb(pid):
    return measure.peak_kb(pid)[1]


def median_of(rows, key):
    return statistics.median(r[key] for r in rows)


def judge(rows, settle):
    judged = [r for r in rows if r["t"] >= settle]
    if len(judged) < 4:
        raise CannotRun("only %d samples after the first %.0f s: run longer" % (len(judged), settle))
    quarter = max(1, len(judged) // 4)
    first, last = judged[:quarter], judged[-quarter:]
    gdi = median_of(last, "gdi") - median_of(first, "gdi")
    mem = median_of(last, "rss") - median_of(first, "rss")
    span_min = (judged[-1]["t"] - judged[0]["t"]) / 60.0
    return {"gdi": gdi, "rss": mem, "span_min": span_min, "samples": len(judged),
            "gdi_range": (min(r["gdi"] for r in judged), max(r["gdi"] for r in judged)),
            "rss_range": (min(r["rss"] for r in judged), max(r["rss"] for r in judged)),
            "gdi_ok": gdi <= GDI_LIMIT, "rss_ok": mem <= MEMORY_LIMIT_KB}


def run(args, mode):
    arch = args.arch or mode.native_arch
    if arch not in mode.archs:
        raise CannotRun("this Wine cannot run the %s build (%s)" % (arch, mode.reason))
    exe = os.path.join(REPO, "dist", arch, "Kelpo32.exe")
    floor = os.path.join(REPO, "build", arch, "bench", "wine", "floor.exe")
    canvascheck = os.path.join(REPO, "build", arch, "tests", "e2e", "canvascheck", "canvascheck.exe")
    probe = os.path.join(REPO, "build", mode.native_arch, "tests", "e2e", "probe", "probe.exe")
    sample = os.path.join(REPO, "dist", "samples", "kelpo.kp")
    for path in (exe, floor, canvascheck, probe, sample):
        if not os.path.exists(path):
            raise CannotRun("no %s (make dist, and cmake --build --preset %s)" % (path, arch))
    work = os.path.join(REPO, "build", "soak")
    os.makedirs(work, exist_ok=True)
    session = kpwine.Session(probe, work, log=lambda msg: print(msg, file=sys.stderr, flush=True))
    rows = []
    try:
        session.start()
        prefix = session.new_prefix(name="soak-" + arch, version="winxp")
        try:
            target_args = ["target", "--rect", "100", "200", "640", "300", "--move", "1000"]
            prefix.start(floor, target_args)
            measure.wait_titled(prefix, measure.TARGET_TITLE)
            win_kp = prefix.install(sample, r"C:\kp\kelpo.kp")
            program_args = ["-p50", "-x0", win_kp]
            program = prefix.start(exe, program_args)
            window = measure.wait_titled(prefix, measure.CHAR_TITLE, timeout=30)[0]
            pid = measure.program_pid(prefix, exe, program_args)
            print("soak: %s, %s, the sample for %.0f s, a row every %.0f s; the first %.0f s not judged"
                  % (os.path.basename(exe), arch, args.seconds, args.every, args.settle), flush=True)
            print("%8s %10s %12s %10s" % ("s", "GDI", "VmRSS kB", "pattern"), flush=True)
            started = time.monotonic()
            next_pattern = PATTERN_EVERY
            pattern = 0
            while True:
                t = time.monotonic() - started
                if not program.running:
                    raise CannotRun("Kelpo32.exe ended after %.0f s" % t)
                if t >= next_pattern:
                    pattern = pattern % 8 + 1
                    prefix.post(window["hwnd"], kpwine.WM_COMMAND, PATTERN_COMMAND + pattern)
                    next_pattern += PATTERN_EVERY
                row = {"t": t, "gdi": balance(prefix, canvascheck), "rss": rss_kb(pid), "pattern": pattern}
                rows.append(row)
                print("%8.0f %10d %12d %10s" % (t, row["gdi"], row["rss"], pattern or "-"), flush=True)
                if t >= args.seconds:
                    break
                wake = started + min(args.seconds, (len(rows)) * args.every)
                time.sleep(max(0.0, wake - time.monotonic()))
            prefix.post(window["hwnd"], kpwine.WM_CLOSE)
            program.wait(timeout=30)
        finally:
            prefix.close()
    finally:
        session.close()
    return judge(rows, args.settle)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=float(os.environ.get("SOAK_SECONDS", 600)))
    parser.add_argument("--arch", choices=("win32", "win64"), help="the build (default: win32 where it runs)")
    parser.add_argument("--every", type=float, default=10.0, help="seconds between samples (default 10)")
    parser.add_argument("--settle", type=float, default=60.0, help="seconds not judged at the start (60)")
    args = parser.parse_args()
    if args.settle >= args.seconds:
        parser.error("--seconds must be longer than --settle")

    def interrupt(signum, frame):
        raise KeyboardInterrupt()

    signal.signal(signal.SIGTERM, interrupt)
    for tool in ("Xvfb",):
        if not shutil.which(tool):
            print("could not run: %s is not installed (make deps)" % tool, file=sys.stderr)
            return 2
    try:
        r = run(args, kpwine.wine_mode())
    except (CannotRun, measure.CannotMeasure, kpwine.WineError) as e:
        print("could not run: %s" % e, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        return 2
    print()
    print("judged: %d samples over %.1f min after the first %.0f s" % (r["samples"], r["span_min"], args.settle))
    print("GDI objects: %d..%d, last quarter against the first (medians) %+g, at most +%d: %s"
          % (r["gdi_range"][0], r["gdi_range"][1], r["gdi"], GDI_LIMIT, "flat" if r["gdi_ok"] else "GREW"))
    print("resident memory: %d..%d kB, last quarter against the first (medians) %+g kB, at most +%d kB: %s"
          % (r["rss_range"][0], r["rss_range"][1], r["rss"], MEMORY_LIMIT_KB, "flat" if r["rss_ok"] else "GREW"))
    return 0 if r["gdi_ok"] and r["rss_ok"] else 1


if __name__ == "__main__":
    sys.exit(main())
