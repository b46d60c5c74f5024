#!/usr/bin/env python3
"""What Kelpo32.exe costs under Wine, next to the least program that does the same work.

    bench/wine/measure.py [--arch win32|win64]... [--seconds 60] [--rounds N] [--fps 10] [--size W H]
                          [--still-seconds 30] [--moves 100]
                          [--floor-queries listed|all] [--against-floor] [--markdown] [--update-readme]

One run, one Wine, one Xvfb display, one prefix and wineserver: Kelpo32.exe shows a character made here
with kptool (one pattern that draws two 8-bit cells by turns, a new frame every 1000/fps ms) and
floor.exe (bench/wine/floor.cpp) shows a window of the same size that paints one 8-bit cell with
StretchDIBits at the same frame rate, layered like the character window when that is layered. Both
stand on the same target window (floor.exe target: it keeps itself the foreground window and moves 8
pixels every second, so that both have to follow it) and both ask the desktop where it is every 100 ms:
floor.exe with GetForegroundWindow, FindWindow("Shell_TrayWnd"), GetWindowRect and SetWindowPos into the
topmost band when the place changed (--floor-queries all: also the rest of what the character's
placement asks). Both run at the same time for the same seconds.

For each process it reads from /proc: CPU seconds (utime + stime of /proc/PID/stat, threads that ended
included; "run s" is the scheduler's finer run time of the threads it saw), wake-ups (voluntary +
involuntary context switches of every thread, /proc/PID/task/*/status) over the measured seconds, and
the peak resident memory of its whole life (VmHWM). It prints them, the ratios, the wineserver (which
serves both, and is counted in neither), the target and Wine's own processes beside them, what resident
memory Kelpo32.exe has beyond the floor's by mapped file, and whether the targets hold:

    Kelpo32.exe CPU <= 1.5 x floor.exe CPU
    Kelpo32.exe VmHWM <= floor.exe VmHWM + 2 MB + the character file's size      (MB = 2^20 bytes)

Then, for each build, two more runs of the same kind: a character standing still (one cell, then one
wait of 30 s after another, --still-seconds) beside floor.exe painting every 30 s, whose CPU should be
no more than the placement tick's, i.e. the idle floor's; and the start-up and following (--moves): the
seconds from starting each program until its window is shown with its first frame (polled on the X
display with xdotool: Wine maps a window when it is shown, and both draw their first frame before they
show), and, with the target moving every 400 ms and watching both after each move (floor.exe target
--follow), the milliseconds until each stands at its new place: median and worst over the moves, beside
the 100 ms placement tick.

A measurement, not a test: it exits 0 whatever the figures, and 2 only when it could not measure (a
program missing or ending early, no window, no CPU time at all). --against-floor runs floor.exe in
Kelpo32.exe's place, to see the spread of the method (the ratios should come out near 1).
--rounds N measures each build N times and takes the round with the median CPU ratio (on a shared
machine one 60 s round can be some 15 % off). --markdown prints the figures as the README's "Measured
cost" section; --update-readme writes that section into README.md.

Needs the win32/win64 builds (Kelpo32.exe, floor.exe, probe.exe) and the native kptool. Standard library
only; Wine, prefixes and Xvfb through tests/e2e/kpwine.py.
"""

import argparse
import datetime
import os
import platform
import re
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import textwrap
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import kpwine  # noqa: E402

CHAR_TITLE = "Kelpo32"
SETTINGS_KEY = r"Software\TESSARO SOFT\Kelpo32\Kelpo32"
TARGET_TITLE = "measure target"
FLOOR_TITLE = "floor"
MEASURED_TITLE = "floor as the character"
MB = 1024 * 1024
CPU_LIMIT = 1.5
MEMORY_ALLOWANCE = 2 * MB
TICKS = os.sysconf("SC_CLK_TCK")
README_HEADING = "## Measured cost"


class CannotMeasure(Exception):
    pass


# --- the character ----------------------------------------------------------------------------------

def bmp8(width, height, shade):
    """An uncompressed 8-bit BMP: a grey-ramp colour table, a checkerboard whose squares use two
    indices that differ between the two cells."""
    stride = (width + 3) & ~3
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    rows = bytearray()
    for y in range(height):
        row = bytes((shade if (x // 8 + y // 8) % 2 else 255 - shade) for x in range(width))
        rows += row + bytes(stride - width)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    return head + info + palette + bytes(rows)


FRAMES_BODY = """loop:   OP_DRAW 0
        OP_WAIT %(ms)d
        OP_DRAW 1
        OP_WAIT %(ms)d
        OP_GOTO loop
"""
# Standing still: one frame, then one long wait after another.
STILL_BODY = """        OP_DRAW 0
loop:   OP_WAIT 30000
        OP_GOTO loop
"""
STILL_INTERVAL = 30000
# The target's moves while following is timed (each is watched until both have followed it).
FOLLOW_MOVE = 400


def make_character(kptool, out_dir, width, height, interval, still=False):
    """Builds measure.kp (two cells drawn by turns, `interval` ms apart), or with `still` still.kp (one
    cell, then waits of 30 s), with kptool; returns its path."""
    with open(os.path.join(out_dir, "cell0.bmp"), "wb") as f:
        f.write(bmp8(width, height, 40))
    with open(os.path.join(out_dir, "cell1.bmp"), "wb") as f:
        f.write(bmp8(width, height, 200))
    source = os.path.join(out_dir, "measure.kps")
    with open(source, "w", encoding="utf-8") as f:
        f.write("""# A character of known frame rate for bench/wine/measure.py.
version 302
name "Measure"
about "A frame every %(ms)d ms"
window %(w)d %(h)d
default-pattern 1
default-position 0
cell 0 "cell0.bmp" at 0 0
cell 1 "cell1.bmp" at 0 0

pattern "frames"
%(body)s""" % {"ms": interval, "w": width, "h": height, "body": STILL_BODY if still else FRAMES_BODY % {"ms": interval}})
    out = os.path.join(out_dir, "still.kp" if still else "measure.kp")
    done = subprocess.run([kptool, "build", source, "-o", out], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    if done.returncode != 0 or not os.path.exists(out):
        raise CannotMeasure("kptool build failed: %s" % done.stdout.decode("utf-8", "replace").strip())
    return out


# --- /proc ------------------------------------------------------------------------------------------

def _read(path):
    with open(path, "rb") as f:
        return f.read()


def cpu_ticks(pid):
    """utime + stime of the whole process (threads that ended included)."""
    fields = _read("/proc/%d/stat" % pid).rsplit(b")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def status_fields(path):
    out = {}
    for line in _read(path).decode("ascii", "replace").splitlines():
        name, _, value = line.partition(":")
        out[name] = value.strip()
    return out


def thread_switches(pid):
    """{tid: voluntary + involuntary context switches} of every thread alive now."""
    out = {}
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            fields = status_fields("/proc/%d/task/%s/status" % (pid, task))
            out[int(task)] = (int(fields["voluntary_ctxt_switches"]) +
                              int(fields["nonvoluntary_ctxt_switches"]))
        except (OSError, KeyError, ValueError):
            pass  # the thread ended meanwhile
    return out


def thread_runtimes(pid):
    """{tid: nanoseconds on a CPU} of every thread alive now (/proc/PID/task/TID/schedstat)."""
    out = {}
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            out[int(task)] = int(_read("/proc/%d/task/%s/schedstat" % (pid, task)).split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return out


def peak_kb(pid):
    fields = status_fields("/proc/%d/status" % pid)
    return int(fields["VmHWM"].split()[0]), int(fields["VmRSS"].split()[0])


def resident_by_file(pid):
    """{mapped file's name: resident kB} of a process now, the anonymous memory under "(anonymous)"."""
    out = {}
    name = "(anonymous)"
    for line in _read("/proc/%d/smaps" % pid).decode("utf-8", "replace").splitlines():
        head = line.split(None, 5)
        if len(head) >= 5 and "-" in head[0] and ":" not in head[0]:
            path = head[5].strip() if len(head) > 5 else ""
            name = os.path.basename(path) if path.startswith("/") else "(anonymous)"
        elif line.startswith("Rss:"):
            out[name] = out.get(name, 0) + int(line.split()[1])
    return out


def wine_processes(prefix_path, full=False):
    """{pid: name} of the Wine processes (wineserver included) whose WINEPREFIX is this prefix; with
    full, {pid: [program name, arguments...]}."""
    out = {}
    want = b"WINEPREFIX=" + os.fsencode(prefix_path)
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        pid = int(entry)
        try:
            exe = os.path.basename(os.readlink("/proc/%d/exe" % pid))
            if not exe.startswith("wine"):
                continue
            if want not in _read("/proc/%d/environ" % pid).split(b"\0"):
                continue
            args = _read("/proc/%d/cmdline" % pid).split(b"\0")
        except OSError:
            continue
        # Wine writes the Windows command line over the original arguments, padded with zeros.
        while args and not args[-1]:
            args.pop()
        name = exe
        if not exe.startswith("wineserver") and args:
            name = os.fsdecode(args[0]).replace("\\", "/").rsplit("/", 1)[-1].strip() or exe
        out[pid] = [name] + [os.fsdecode(a) for a in args[1:]] if full else name
    return out


class Meter:
    """CPU ticks and context switches of one process between start() and stop(), sampled often enough
    that threads which end in between keep their last count."""

    def __init__(self, pid, name):
        self.pid = pid
        self.name = name
        self.cpu0 = self.cpu1 = 0
        self.sw0 = {}
        self.sw_last = {}
        self.rt0 = {}
        self.rt_last = {}
        self.hwm_kb = self.rss_kb = self.hwm0_kb = 0
        self.alive = True

    def start(self):
        self.cpu0 = cpu_ticks(self.pid)
        self.sw0 = thread_switches(self.pid)
        self.sw_last = dict(self.sw0)
        self.rt0 = thread_runtimes(self.pid)
        self.rt_last = dict(self.rt0)
        self.hwm0_kb = peak_kb(self.pid)[0]

    def sample(self):
        try:
            self.sw_last.update(thread_switches(self.pid))
            self.rt_last.update(thread_runtimes(self.pid))
            self.cpu1 = cpu_ticks(self.pid)
            self.hwm_kb, self.rss_kb = peak_kb(self.pid)
        except (OSError, KeyError, ValueError, IndexError):
            self.alive = False

    @property
    def cpu_seconds(self):
        return (self.cpu1 - self.cpu0) / TICKS

    @property
    def run_seconds(self):
        """The scheduler's run time of the threads seen (finer than the ticks of cpu_seconds, but a
        thread that starts and ends between two samples is missed)."""
        return sum(n - self.rt0.get(tid, 0) for tid, n in self.rt_last.items()) / 1e9

    @property
    def wakeups(self):
        return sum(n - self.sw0.get(tid, 0) for tid, n in self.sw_last.items())


# --- running ----------------------------------------------------------------------------------------

def find_build_file(arch, *parts):
    path = os.path.join(REPO, "build", arch, *parts)
    return path if os.path.exists(path) else None


def find_kptool():
    for path in (os.path.join(REPO, "build", "native", "tools", "kptool", "kptool"),
                 os.path.join(REPO, "dist", "kptool")):
        if os.access(path, os.X_OK):
            return path
    return shutil.which("kptool")


def wait_titled(prefix, title, timeout=20.0, count=1):
    """The visible-or-not top-level windows titled `title` once there are `count` of them."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = [w for w in prefix.windows(title=title) if w["class"] != "#32770"]
        if len(found) >= count:
            return found
        boxes = prefix.dialogs()
        if boxes:
            texts = [c["text"] for b in boxes for c in b["children"] if c["text"]]
            raise CannotMeasure("a dialog instead of the %r window: %r" % (title, texts))
        time.sleep(0.3)
    raise CannotMeasure("no window titled %r within %.0f s" % (title, timeout))


def layered_args(window, choice):
    """floor.exe's --layered arguments that give it the layered state of `window` (choice "auto"), or of
    the choice "on" (the colour key Kelpo32.exe uses) or "off"."""
    if choice == "off":
        return []
    if choice == "on":
        return ["--layered", "0x00FAFA00", "255", "1"]
    if window is None or not window["exstyle"] & kpwine.WS_EX_LAYERED:
        return []
    attrs = window.get("layered") or {"key": 0, "alpha": 255, "flags": 0}
    return ["--layered", str(attrs["key"]), str(attrs["alpha"]), str(attrs["flags"])]


def program_pid(prefix, exe, args, exclude=(), timeout=15.0):
    """The pid of the Linux process that runs the Windows program: the one `wine` became (32-bit
    programs), or the one that start.exe started for it (64-bit programs started through `wine`)."""
    want = [os.path.basename(exe).lower()] + list(args)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        for pid, cmd in wine_processes(prefix.path, full=True).items():
            if pid in exclude:
                continue
            cmd = [cmd[0].lower()] + cmd[1:]
            if cmd == want:
                return pid
            # A command line longer than the space Wine had for it may end early.
            n = len(cmd)
            if n >= min(len(want), 4) and cmd[:n - 1] == want[:n - 1] and want[n - 1].startswith(cmd[-1]):
                return pid
        time.sleep(0.2)
    raise CannotMeasure("no process for %s %s in the prefix" % (os.path.basename(exe), " ".join(args)))


class Lane:
    """One program under measurement: its process and what was read of it."""

    def __init__(self, label, program, pid):
        self.label = label
        self.program = program
        self.meter = Meter(pid, label)


def seconds_to_visible(prefix, title, started, timeout=30.0):
    """Seconds from `started` (time.monotonic) until a window titled exactly `title` is mapped on the
    X display (Wine maps a window when it is shown), polled with xdotool; None after the timeout."""
    env = dict(os.environ, DISPLAY=prefix.session.display)
    while time.monotonic() - started < timeout:
        done = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title], env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if done.returncode == 0 and done.stdout.strip():
            return time.monotonic() - started
        time.sleep(0.005)
    return None


def read_follow_report(prefix, win_path, target_hwnd, timeout=10.0):
    """{title: [milliseconds per move]} that the target wrote when closed."""
    prefix.post(target_hwnd, kpwine.WM_CLOSE)
    path = prefix.unix_path(win_path)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and not os.path.exists(path):
        time.sleep(0.2)
    time.sleep(0.5)
    out = {}
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                parts = line.split()
                if parts:
                    out[parts[0]] = [float(v) for v in parts[1:]]
    except OSError:
        raise CannotMeasure("the target wrote no follow report")
    return out


def run(args, arch, session, kp_path, seconds=None, interval=None, move=None, follow=False):
    """Measures one build; `seconds`, `interval` (the floor's frame interval) and `move` (the target's)
    default to the arguments'. With `follow`, also how long each start took until the window showed
    and how long each move of the target took to be followed."""
    seconds = seconds or args.seconds
    interval = interval or args.interval
    move = move or args.move
    exe = args.exe or find_build_file(arch, "src", "win32", "Kelpo32.exe")
    floor = args.floor or find_build_file(arch, "bench", "wine", "floor.exe")
    if not floor:
        raise CannotMeasure("no floor.exe for %s: cmake --build --preset %s" % (arch, arch))
    if not args.against_floor and not exe:
        raise CannotMeasure("no Kelpo32.exe for %s: cmake --build --preset %s" % (arch, arch))
    for path in (floor, None if args.against_floor else exe):
        if path and not os.path.isfile(path):
            raise CannotMeasure("no %s" % path)
    floor = os.path.abspath(floor)
    exe = os.path.abspath(exe) if exe else None
    width, height = args.size
    size = ["--size", str(width), str(height), "--interval", str(interval)]
    extra = ["--every-tick"] if args.topmost else []
    if args.floor_queries == "all":
        extra.append("--all-queries")

    prefix = session.new_prefix(name="measure-" + arch, version=args.windows_version)
    try:
        # The target, then Kelpo32.exe (or floor.exe in its place) at 0 % of its free width, then
        # floor.exe at 100 %: side by side, so that neither covers the other.
        target_args = ["target", "--rect", "100", str(height + 20), str(max(640, 2 * width + 100)), "200",
                       "--move", str(move)]
        report = r"C:\follow.txt"
        if follow:
            target_args += ["--follow", report]
        prefix.start(floor, target_args)
        target_window = wait_titled(prefix, TARGET_TITLE)[0]
        target_pid = program_pid(prefix, floor, target_args)

        win_kp = prefix.install(kp_path, r"C:\kp\measure.kp")
        if args.against_floor:
            product_exe = floor
            product_args = (["floor"] + size + ["--position", "0", "--title", MEASURED_TITLE] +
                            layered_args(None, args.floor_layered) + extra)
            product_title, product_name = MEASURED_TITLE, "floor.exe (in Kelpo32's place)"
        else:
            if args.topmost:
                prefix.reg_set(SETTINGS_KEY, "TopMost", 1)
            product_exe, product_args = exe, ["-p0", "-x0", "-n1", win_kp]
            product_title, product_name = CHAR_TITLE, "Kelpo32.exe"
        startup = {}
        started = time.monotonic()
        product = prefix.start(product_exe, product_args)
        if follow:
            startup["product"] = seconds_to_visible(prefix, product_title, started)
        wait_titled(prefix, product_title)
        time.sleep(1.0)  # the window's layered attributes may come after its creation
        product_window = wait_titled(prefix, product_title)[0]
        product_pid = program_pid(prefix, product_exe, product_args, exclude={target_pid})

        mirror = layered_args(product_window, args.floor_layered)
        floor_args = ["floor"] + size + ["--position", "100"] + mirror + extra
        started = time.monotonic()
        floor_prog = prefix.start(floor, floor_args)
        if follow:
            startup["floor"] = seconds_to_visible(prefix, FLOOR_TITLE, started)
        wait_titled(prefix, FLOOR_TITLE)
        floor_pid = program_pid(prefix, floor, floor_args, exclude={target_pid, product_pid})
        time.sleep(args.warmup)

        lanes = [Lane(product_name, product, product_pid), Lane("floor.exe", floor_prog, floor_pid)]
        # Everything else of the prefix: the wineserver, the target, Wine's own programs.
        extras = []
        for pid, name in sorted(wine_processes(prefix.path).items()):
            if pid not in (product_pid, floor_pid):
                extras.append(Meter(pid, "target window" if pid == target_pid else name))
        meters = [lane.meter for lane in lanes] + extras
        for m in meters:
            m.start()
        started = time.monotonic()
        while True:
            elapsed = time.monotonic() - started
            if elapsed >= seconds:
                break
            time.sleep(min(1.0, seconds - elapsed))
            for m in meters:
                m.sample()
            for lane in lanes:
                if not lane.meter.alive or not lane.program.running:
                    raise CannotMeasure("%s ended after %.0f s of measuring" % (lane.label, elapsed))
        measured = time.monotonic() - started
        for m in meters:
            m.sample()
        try:
            resident = [resident_by_file(lane.meter.pid) for lane in lanes]
        except OSError:
            resident = None
        windows = {"product": (prefix.windows(title=product_title) or [None])[0],
                   "floor": (prefix.windows(title=FLOOR_TITLE) or [None])[0]}
        followed = read_follow_report(prefix, report, target_window["hwnd"]) if follow else None
        return {"startup": startup, "followed": followed,"arch": arch, "seconds": measured, "lanes": lanes, "extras": extras, "windows": windows,
                "kp_size": os.path.getsize(kp_path), "layered": mirror, "product_name": product_name,
                "resident": resident}
    finally:
        prefix.close()


# --- report -----------------------------------------------------------------------------------------

def mb(kb):
    return kb * 1024 / MB


def summarise(result):
    product, floor = result["lanes"][0].meter, result["lanes"][1].meter
    if floor.cpu_seconds <= 0:
        raise CannotMeasure("floor.exe used no measurable CPU time in %.0f s" % result["seconds"])
    s = {
        "cpu_ratio": product.cpu_seconds / floor.cpu_seconds,
        "run_ratio": product.run_seconds / floor.run_seconds if floor.run_seconds else float("nan"),
        "wake_ratio": product.wakeups / floor.wakeups if floor.wakeups else float("nan"),
        "mem_diff": (product.hwm_kb - floor.hwm_kb) * 1024,
        "mem_budget": MEMORY_ALLOWANCE + result["kp_size"],
        "servers": [m for m in result["extras"] if m.name.startswith("wineserver")],
        "targets": [m for m in result["extras"] if m.name == "target window"],
    }
    s["others"] = [m for m in result["extras"] if m not in s["servers"] and m not in s["targets"]]
    s["cpu_holds"] = s["cpu_ratio"] <= CPU_LIMIT
    s["mem_holds"] = s["mem_diff"] <= s["mem_budget"]
    return s


def notes(result):
    out = []
    for key, label in (("product", result["product_name"]), ("floor", "floor.exe")):
        win = result["windows"][key]
        if win is None:
            out.append("%s had no window at the end" % label)
        elif not win["visible"]:
            out.append("%s's window was hidden at the end (not standing on the target)" % label)
    product, floor = result["lanes"][0].meter, result["lanes"][1].meter
    if floor.wakeups and product.wakeups < 0.5 * floor.wakeups:
        out.append("%s woke up far less often than the floor: does it animate and follow its target yet?"
                   % result["product_name"])
    if floor.cpu1 - floor.cpu0 < 20:
        out.append("floor.exe used fewer than 20 clock ticks: the CPU ratio is coarse (run s is finer)")
    for m in (product, floor):
        if m.hwm0_kb == m.hwm_kb and m.hwm_kb - m.rss_kb >= 1024:
            out.append("%s reached its peak memory before the measured seconds (%.2f MB above what it holds "
                       "at the end)" % (m.name, mb(m.hwm_kb - m.rss_kb)))
    return out


def resident_line(result, limit=10):
    """Kelpo32.exe's resident memory at the end beyond the floor's, by mapped file (MB)."""
    if not result["resident"]:
        return None
    mine, base = result["resident"]
    extra = sorted(((kb - base.get(name, 0), name) for name, kb in mine.items()
                    if kb - base.get(name, 0) >= 64), reverse=True)
    if not extra:
        return None
    return ", ".join("%s %+.2f%s" % (name, kb / 1024.0,
                                     "" if name in base or name.startswith("(") else " (only here)")
                     for kb, name in extra[:limit])


def report_text(result, s, args, wine_version):
    product, floor = result["lanes"][0].meter, result["lanes"][1].meter
    secs = result["seconds"]
    out = []
    out.append("%s, %s: %.1f s measured, character %d x %d at %g frames/s (a frame every %d ms), placement "
               "every 100 ms, target moving every %d ms%s" % (
                   result["product_name"], result["arch"], secs, args.size[0], args.size[1],
                   1000.0 / args.interval, args.interval, args.move,
                   ", force topmost" if args.topmost else ""))
    out.append("%s, Windows version %s, both under one wineserver; floor.exe %s, %s placement queries" % (
        wine_version, args.windows_version,
        "layered (" + " ".join(result["layered"][1:]) + ")" if result["layered"] else "not layered",
        "the listed" if args.floor_queries == "listed" else "all the character's"))
    out.append("")
    form = "%-34s %8s %8s %10s %11s %12s"
    out.append(form % ("", "CPU s", "run s", "wake-ups", "wake-ups/s", "peak RSS MB"))

    def row(name, meters, mem=True):
        wk = sum(m.wakeups for m in meters)
        out.append(form % (name, "%.2f" % sum(m.cpu_seconds for m in meters),
                           "%.3f" % sum(m.run_seconds for m in meters), wk, "%.1f" % (wk / secs),
                           "%.2f" % mb(meters[0].hwm_kb) if mem else "-"))

    row(result["product_name"], [product])
    row("floor.exe", [floor])
    out.append(form % ("ratio / difference", "%.2fx" % s["cpu_ratio"], "%.2fx" % s["run_ratio"],
                       "%.2fx" % s["wake_ratio"], "", "%+.2f" % (s["mem_diff"] / MB)))
    out.append("")
    if s["servers"]:
        row("wineserver (serves both)", s["servers"], mem=False)
    if s["targets"]:
        row("target window", s["targets"], mem=False)
    if s["others"]:
        row("other Wine processes", s["others"], mem=False)
        out.append("  (%s)" % ", ".join(sorted({m.name for m in s["others"]})))
    out.append("")
    out.append("CPU: %.2fx the floor, target at most %.1fx: %s; goal at most 1.0x: %s" % (
        s["cpu_ratio"], CPU_LIMIT, "holds" if s["cpu_holds"] else "MISSED",
        "met" if s["cpu_ratio"] <= 1.0 else "not met"))
    out.append("peak memory: %+.2f MB over the floor, target at most 2 MB + the file's %d bytes = %.2f MB: "
               "%s" % (s["mem_diff"] / MB, result["kp_size"], s["mem_budget"] / MB,
                       "holds" if s["mem_holds"] else "MISSED"))
    line = resident_line(result)
    if line:
        out.append("resident at the end beyond the floor's, by mapping (MB): " + line)
    for note in notes(result):
        out.append("note: " + note)
    return "\n".join(out)


def machine_note():
    cpu = "unknown CPU"
    try:
        for line in _read("/proc/cpuinfo").decode("ascii", "replace").splitlines():
            if line.startswith("model name"):
                cpu = line.partition(":")[2].strip()
                break
    except OSError:
        pass
    return "%s, %d CPUs, Linux %s, a machine shared with other work" % (cpu, os.cpu_count() or 0,
                                                                       platform.release())


def median_round(rounds):
    """The round whose CPU ratio is the median (the lower middle one of an even number), with the
    spread of all rounds attached."""
    ordered = sorted(rounds, key=lambda r: r[1]["cpu_ratio"])
    result, s = ordered[(len(ordered) - 1) // 2]
    s = dict(s, spread=[r[1]["cpu_ratio"] for r in ordered], mem_spread=[r[1]["mem_diff"] for r in ordered])
    return result, s


def rounds_line(rounds):
    result, s = median_round(rounds)
    return ("%s over %d rounds: CPU ratio median %.2fx (%.2fx..%.2fx), %s; peak memory difference "
            "%+.2f..%+.2f MB" % (result["arch"], len(rounds), s["cpu_ratio"], s["spread"][0], s["spread"][-1],
                                 "holds" if s["cpu_holds"] else "MISSED", min(s["mem_spread"]) / MB,
                                 max(s["mem_spread"]) / MB))


def still_text(result, s):
    product, floor = result["lanes"][0].meter, result["lanes"][1].meter
    return ("%s standing still (one long wait after another), %.0f s: %.2f CPU s, %.1f wake-ups/s; floor.exe "
            "painting every 30 s: %.2f CPU s, %.1f wake-ups/s; %.2fx the floor's CPU (goal: at most the "
            "placement tick's cost, 1.0x: %s)" % (
                result["arch"], result["seconds"], product.cpu_seconds, product.wakeups / result["seconds"],
                floor.cpu_seconds, floor.wakeups / result["seconds"], s["cpu_ratio"],
                "met" if s["cpu_ratio"] <= 1.0 else "not met"))


def follow_text(result, moves):
    """Start-up and following, Kelpo32.exe beside floor.exe."""
    out = []
    st = result["startup"]

    def secs(v):
        return "%.2f s" % v if v is not None else "not seen"
    out.append("%s start-up to the window shown with its first frame: %s %s, floor.exe %s" % (
        result["arch"], result["product_name"], secs(st.get("product")), secs(st.get("floor"))))
    followed = result["followed"] or {}
    for title, name in ((CHAR_TITLE, result["product_name"]), (FLOOR_TITLE, "floor.exe")):
        delays = followed.get(title, [])[-moves:]
        seen = sorted(d for d in delays if d >= 0)
        if not seen:
            out.append("%s %s: no move followed" % (result["arch"], name))
            continue
        missed = len(delays) - len(seen)
        out.append("%s %s follows a moved target: median %.0f ms, worst %s over %d moves (placement every "
                   "100 ms)%s" % (result["arch"], name, statistics.median(seen),
                                  "%.0f ms" % seen[-1] if not missed else "over 1 s", len(delays),
                                  ", %d not within 1 s" % missed if missed else ""))
    return out


def markdown(results, args, wine_version, still=(), follows=()):
    def para(text):
        return textwrap.fill(text, width=100, break_on_hyphens=False) + "\n"

    if args.floor_queries == "listed":
        asks = "GetForegroundWindow, FindWindow and GetWindowRect, and SetWindowPos when the place changed"
    else:
        asks = "everything the character's placement asks"
    lines = [README_HEADING, ""]
    lines.append(para(
        "What Kelpo32.exe costs under Wine beside the least Win32 program doing the same work "
        "(`make measure`, bench/wine/measure.py; a measurement, not a test). Both run at the same time "
        "for %d s in one Wine prefix under one wineserver, on a %d x %d character at %g frames/s; both "
        "follow a target window that moves every second, asking where it is every 100 ms. The floor "
        "paints one 8-bit cell with StretchDIBits into a window of the same size and style and asks %s. "
        "Targets: at most %.1fx the floor's CPU time (the goal: 1.0x, at or below the floor's), and a "
        "peak resident memory at most 2 MB plus the character file's size above the floor's."
        % (args.seconds, args.size[0], args.size[1], 1000.0 / args.interval, asks, CPU_LIMIT)))
    lines.append(para(
        "CPU s: utime + stime over the measured seconds; wake-ups: voluntary and involuntary context "
        "switches of all its threads; peak RSS: VmHWM over its whole life (MB = 2^20 bytes). The "
        "wineserver serves both programs and is counted in neither."))
    lines.append(para('This section is written by `make measure MEASURE_ARGS="--rounds 3 --update-readme"`.'))
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M")
    lines.append(para("Measured %s UTC on %s; %s." % (now, machine_note(), wine_version)))
    lines.append("| build | program | CPU s | wake-ups/s | peak RSS MB |")
    lines.append("|---|---|---|---|---|")
    for result, s in results:
        secs = result["seconds"]
        p, f = result["lanes"][0].meter, result["lanes"][1].meter
        lines.append("| %s | %s | %.2f | %.1f | %.2f |" % (result["arch"], result["product_name"],
                                                         p.cpu_seconds, p.wakeups / secs, mb(p.hwm_kb)))
        lines.append("| %s | floor.exe | %.2f | %.1f | %.2f |" % (result["arch"], f.cpu_seconds,
                                                                f.wakeups / secs, mb(f.hwm_kb)))
        for m in s["servers"]:
            lines.append("| %s | wineserver (serves both) | %.2f | %.1f | - |" % (
                result["arch"], m.cpu_seconds, m.wakeups / secs))
        lines.append("| %s | **ratio / difference** | **%.2fx** (%s) | %.2fx | **%+.2f** (at most %.2f: "
                     "%s) |" % (result["arch"], s["cpu_ratio"], "holds" if s["cpu_holds"] else "missed",
                                s["wake_ratio"], s["mem_diff"] / MB, s["mem_budget"] / MB,
                                "holds" if s["mem_holds"] else "missed"))
    lines.append("")
    for result, s in results:
        if len(s.get("spread", [])) > 1:
            lines.append(para("%s: the round shown has the median CPU ratio of %d rounds, which ranged "
                              "%.2fx..%.2fx." % (result["arch"], len(s["spread"]), s["spread"][0],
                                                 s["spread"][-1])))
    lines.append(para("Goal, CPU at or below the floor's (1.0x): %s." % "; ".join(
        "%s %.2fx, %s" % (result["arch"], s["cpu_ratio"], "met" if s["cpu_ratio"] <= 1.0 else "not met")
        for result, s in results)))
    for result, s in still:
        lines.append(para(still_text(result, s) + "."))
    for result in follows:
        for line in follow_text(result, args.moves):
            lines.append(para(line + "."))
    for result, _ in results:
        line = resident_line(result, limit=6)
        if line:
            lines.append(para("Resident at the end beyond the floor's (%s, MB): %s." % (result["arch"],
                                                                                      line)))
        for note in notes(result):
            lines.append(para("Note (%s): %s." % (result["arch"], note)))
    return "\n".join(lines).rstrip("\n") + "\n"


def update_readme(section):
    path = os.path.join(REPO, "README.md")
    with open(path, encoding="utf-8") as f:
        text = f.read()
    pattern = re.compile(r"^" + re.escape(README_HEADING) + r"\n.*?(?=^## |\Z)", re.M | re.S)
    if pattern.search(text):
        text = pattern.sub(lambda m: section + "\n", text, count=1)
    else:
        text = text.rstrip("\n") + "\n\n" + section
    with open(path, "w", encoding="utf-8") as f:
        f.write(text.rstrip("\n") + "\n")
    return path


# --- main -------------------------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arch", action="append", choices=("win32", "win64"),
                        help="build to measure; repeat for both (default: win32)")
    parser.add_argument("--seconds", type=float, default=60.0, help="measured seconds (default 60)")
    parser.add_argument("--rounds", type=int, default=1,
                        help="measure each build this many times; the median CPU ratio counts (default 1)")
    parser.add_argument("--warmup", type=float, default=3.0,
                        help="seconds between both windows' appearance and the measuring (default 3)")
    parser.add_argument("--moves", type=int, default=100,
                        help="then time the start-up of both and this many moves of the target, %d ms apart, "
                        "each followed by both; 0: not (default 100)" % FOLLOW_MOVE)
    parser.add_argument("--still-seconds", type=float, default=30.0,
                        help="then measure a character standing still (one long wait after another) next to "
                        "the floor painting every 30 s, for this many seconds; 0: not (default 30)")
    parser.add_argument("--fps", type=float, default=10.0, help="the character's frame rate (default 10)")
    parser.add_argument("--size", type=int, nargs=2, metavar=("W", "H"), default=(128, 128),
                        help="the character's window size (default 128 128)")
    parser.add_argument("--move", type=int, default=1000, help="the target moves every MS ms (default 1000)")
    parser.add_argument("--topmost", action="store_true",
                        help="force topmost in Kelpo32.exe, SetWindowPos on every tick in floor.exe")
    parser.add_argument("--floor-layered", choices=("auto", "on", "off"), default="auto",
                        help="floor.exe's window layered like Kelpo32.exe's (auto), always or never")
    parser.add_argument("--floor-queries", choices=("listed", "all"), default="listed",
                        help="floor.exe asks only GetForegroundWindow, FindWindow, GetWindowRect (listed) or "
                        "also everything else the character's placement asks (all)")
    parser.add_argument("--windows-version", default="winxp", help="Wine's reported Windows version (winxp)")
    parser.add_argument("--against-floor", action="store_true",
                        help="run floor.exe in Kelpo32.exe's place (checks the method: ratios near 1)")
    parser.add_argument("--exe", help="Kelpo32.exe to measure (default: build/ARCH/src/win32/Kelpo32.exe)")
    parser.add_argument("--floor", help="floor.exe (default: build/ARCH/bench/wine/floor.exe)")
    parser.add_argument("--probe", help="probe.exe (default: build/win32/tests/e2e/probe/probe.exe, or the "
                        "win64 one where Wine runs only 64-bit programs)")
    parser.add_argument("--work", default=os.path.join(REPO, "build", "measure"),
                        help="directory for the prefixes (default: build/measure)")
    parser.add_argument("--markdown", action="store_true", help="also print the README section")
    parser.add_argument("--update-readme", action="store_true", help="write the README section")
    args = parser.parse_args()
    archs = args.arch or ["win32"]
    # Only the builds this machine can run are measured; the others are named with the reason.
    mode = kpwine.wine_mode()
    left_out = [a for a in archs if a not in mode.archs]
    archs = [a for a in archs if a in mode.archs]
    for arch in left_out:
        print("not measuring %s: this Wine runs only 64-bit programs (%s)" % (arch, mode.reason), flush=True)
    if not archs:
        print("could not measure: no build that this machine can run was asked for", file=sys.stderr)
        return 2

    # SIGTERM (a timeout, kill) ends the run like Ctrl-C: every Wine process and Xvfb is stopped.
    def interrupt(signum, frame):
        raise KeyboardInterrupt()

    signal.signal(signal.SIGTERM, interrupt)
    args.interval = max(1, min(32767, int(round(1000.0 / args.fps))))
    if args.size[0] <= 0 or args.size[1] <= 0:
        parser.error("--size must be positive")
    if args.rounds < 1:
        parser.error("--rounds must be at least 1")

    try:
        probe = args.probe or find_build_file(mode.native_arch, "tests", "e2e", "probe", "probe.exe")
        if not probe:
            raise CannotMeasure("no probe.exe: cmake --build --preset %s" % mode.native_arch)
        kptool = find_kptool()
        if not kptool:
            raise CannotMeasure("no kptool: cmake --build --preset native")
        for tool in (mode.wine, mode.wineserver, "Xvfb"):
            if not shutil.which(tool):
                raise CannotMeasure("%s is not installed (make deps)" % tool)
        wine_version = subprocess.run([mode.wine, "--version"], stdout=subprocess.PIPE,
                                      stderr=subprocess.DEVNULL).stdout.decode().strip()
        os.makedirs(args.work, exist_ok=True)
        work = tempfile.mkdtemp(prefix="char-", dir=args.work)
        results = []
        still = []
        follows = []
        session = kpwine.Session(probe, args.work, log=lambda msg: print(msg, file=sys.stderr, flush=True))
        try:
            kp_path = make_character(kptool, work, args.size[0], args.size[1], args.interval)
            still_path = make_character(kptool, work, args.size[0], args.size[1], args.interval, still=True)
            session.start()
            for arch in archs:
                rounds = []
                for n in range(args.rounds):
                    print("measuring %s for %.0f s%s..." % (arch, args.seconds, " (round %d of %d)" % (
                        n + 1, args.rounds) if args.rounds > 1 else ""), file=sys.stderr, flush=True)
                    result = run(args, arch, session, kp_path)
                    s = summarise(result)
                    rounds.append((result, s))
                    print(report_text(result, s, args, wine_version), flush=True)
                    print(flush=True)
                if args.rounds > 1:
                    print(rounds_line(rounds), flush=True)
                    print(flush=True)
                results.append(median_round(rounds))
                if args.still_seconds > 0:
                    print("measuring %s standing still for %.0f s..." % (arch, args.still_seconds), file=sys.stderr,
                          flush=True)
                    result = run(args, arch, session, still_path, seconds=args.still_seconds,
                                 interval=STILL_INTERVAL)
                    still.append((result, summarise(result)))
                    print(still_text(*still[-1]), flush=True)
                    print(flush=True)
                if args.moves > 0:
                    print("measuring %s start-up and %d moves of the target..." % (arch, args.moves),
                          file=sys.stderr, flush=True)
                    result = run(args, arch, session, kp_path, seconds=args.moves * FOLLOW_MOVE / 1000.0 + 2,
                                 move=FOLLOW_MOVE, follow=True)
                    follows.append(result)
                    for line in follow_text(result, args.moves):
                        print(line, flush=True)
                    print(flush=True)
        finally:
            session.close()
            shutil.rmtree(work, ignore_errors=True)
    except (CannotMeasure, kpwine.WineError) as e:
        print("could not measure: %s" % e, file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        return 2

    if args.markdown or args.update_readme:
        section = markdown(results, args, wine_version, still, follows)
        if args.markdown:
            print(section)
        if args.update_readme:
            path = update_readme(section)
            print("wrote the %r section of %s" % (README_HEADING[3:], path), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
