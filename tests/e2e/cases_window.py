"""The character window of Kelpo32.exe under Wine: its identity (title, class, styles, size), where it
stands on a target window and how it follows it, its shape in both shaping modes as the window system
and a screenshot see it, the settings written when it closes, the values and programs of its scripts,
and its GDI object balance over many frames and pattern starts.

The characters are assembled by kptool from sources written here, with BMP pictures made here."""

import os
import struct
import subprocess
import time

import kpwine
from cases_canvas import gdi_balance
import harness
from harness import BOTH, Skip, case, check, equal

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

TITLE = "Kelpo32"
WINDOW_CLASS = "Kelpo32CharacterWindow"
APP_KEY = r"Software\TESSARO SOFT\Kelpo32"
SETTINGS_KEY = APP_KEY + r"\Kelpo32"
WM_QUERYENDSESSION = 0x0011
WM_TRACK = 0x0420
WM_LBUTTONDOWN, WM_LBUTTONUP = 0x0201, 0x0202
ID_PATTERN_RANDOM = 32780
WS_CLIPSIBLINGS = 0x04000000
KEY_COLORREF = 0x00FAFA00

# The character: 40 x 30, cell 0 red on the left half and blue on the right, cell 1 a mask whose
# inside is everything but a 20 x 10 notch at the top right.
WIDTH, HEIGHT = 40, 30
RED, BLUE = (200, 30, 30), (30, 30, 200)
TARGET_GREEN = (0, 0xC0, 0)
NOTCH = (20, 0, 40, 10)  # left, top, right, bottom in window pixels


def in_notch(x, y):
    return NOTCH[0] <= x < NOTCH[2] and NOTCH[1] <= y < NOTCH[3]


INSIDE_RECTS = [[0, 0, 20, 10], [0, 10, 40, 30]]  # the mask's inside as GDI's banded rectangles


# --- characters -----------------------------------------------------------------------------------

def kptool():
    for path in (os.path.join(REPO, "dist", "kptool"), os.path.join(REPO, "build", "native", "tools", "kptool",
                                                                     "kptool")):
        if os.access(path, os.X_OK):
            return path
    raise Skip("no kptool: build the native preset")


def bmp(width, height, bit_count, palette, index_of):
    """An uncompressed bottom-up BMP file; index_of(x, y) gives the colour index (y = 0 at the top)."""
    stride = ((width * bit_count + 31) // 32) * 4
    rows = []
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            v = index_of(x, y)
            if bit_count == 8:
                row[x] = v
            elif v:
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    pixels = b"".join(rows)
    offset = 14 + 40 + len(table)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bit_count, 0, len(pixels), 0, 0,
                       len(palette), 0)
    return header + info + table + pixels


def wave(samples=64, rate=11025):
    """A RIFF WAVE file: 8-bit mono PCM, a short square tone."""
    data = bytes(0xC0 if (i // 8) % 2 else 0x40 for i in range(samples))
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def build_character(ctx, name, patterns):
    """Host path of a character file named `name` with the given patterns: (title, [lines]), and
    one embedded sound."""
    folder = os.path.join(ctx.tmp_dir, "src-" + str(abs(hash(name)) % 100000))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "tone.wav"), "wb") as f:
        f.write(wave())
    palette = [(0, 0, 0), RED, BLUE] + [(i, i, i) for i in range(3, 256)]
    with open(os.path.join(folder, "picture.bmp"), "wb") as f:
        f.write(bmp(WIDTH, HEIGHT, 8, palette, lambda x, y: 1 if x < WIDTH // 2 else 2))
    with open(os.path.join(folder, "mask.bmp"), "wb") as f:
        f.write(bmp(WIDTH, HEIGHT, 1, [(0, 0, 0), (255, 255, 255)], lambda x, y: 1 if in_notch(x, y) else 0))
    lines = ["version 302", 'name "%s"' % name, 'about "window test"', "window %d %d" % (WIDTH, HEIGHT),
             "default-pattern 1", "default-position 50", 'cell 0 "picture.bmp" at 0 0',
             'cell 1 "mask.bmp" at 0 0', 'sound 0 "tone.wav"']
    for title, body in patterns:
        lines.append('pattern "%s"' % title)
        lines += ["        " + line if not line.endswith(":") else line for line in body]
    source = os.path.join(folder, "character.kps")
    with open(source, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    out = os.path.join(folder, "character.kp")
    done = subprocess.run([kptool(), "build", source, "-o", out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    check(done.returncode == 0, "kptool build: %s" % done.stdout.decode("utf-8", "replace"))
    return out


# The shape from the mask, then the picture, redrawn every 50 ms with the shape set again each time.
SHAPED = ["OP_NEWSHAPE 'b' 1", "OP_SETSHAPE v0", "loop:", "OP_DRAW 0", "OP_SETSHAPE v0", "OP_WAIT 50",
          "OP_GOTO loop"]


def install(ctx, prefix, name, patterns=None):
    path = prefix.install(build_character(ctx, name, patterns or [("立つ", SHAPED)]), r"C:\kp\window.kp")
    return path


# --- running it -----------------------------------------------------------------------------------

def start_character(ctx, prefix, path, args=()):
    program = prefix.start(ctx.exe, list(args) + [path])
    window = prefix.wait_window(TITLE, timeout=15)
    check(window is not None, "no window titled %r" % TITLE)
    check(window["class"] != "#32770", "a message box instead of the character window: %r" % prefix.dialogs())
    return program, window


def start_target(prefix, rect, title="Target"):
    """A green borderless foreground window for the character to stand on; returns its hwnd."""
    prefix.start(prefix.session.probe_exe, ["target", "--rect"] + [str(v) for v in rect] + ["--title", title])
    found = prefix.wait_window(title, timeout=10)
    check(found is not None, "the target window did not appear")
    return found["hwnd"]


def character(prefix):
    found = [w for w in prefix.windows(title=TITLE, cls=WINDOW_CLASS)]
    check(len(found) == 1, "expected one character window, found %r" % found)
    return found[0]


def wait_for(prefix, what, predicate, timeout=5.0):
    """The character window once predicate(window) holds; fails with the last state seen."""
    deadline = time.monotonic() + timeout
    while True:
        window = character(prefix)
        if predicate(window):
            return window
        if time.monotonic() > deadline:
            raise AssertionError("%s: not within %.0f s; last seen %r" % (what, timeout, window))
        time.sleep(0.1)


def placed_at(x, y):
    return lambda w: w["visible"] and w["rect"][:2] == [x, y]


def close(prefix, program, window):
    prefix.post(window["hwnd"], kpwine.WM_CLOSE)
    equal(program.wait(timeout=20), 0, "exit code after WM_CLOSE")


def screenshot(prefix, rect):
    """The screen's pixels inside rect as rows of (r, g, b), from the X display itself."""
    done = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                          env=dict(os.environ, DISPLAY=prefix.session.display), stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=30)
    data = done.stdout
    check(done.returncode == 0 and data.startswith(b"P6"), "import failed")
    fields, pos = [], 2
    while len(fields) < 3:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(int(data[pos:end]))
        pos = end
    pos += 1
    width = fields[0]
    left, top, right, bottom = rect
    rows = []
    for y in range(top, bottom):
        start = pos + (y * width + left) * 3
        line = data[start:start + (right - left) * 3]
        rows.append([tuple(line[i:i + 3]) for i in range(0, len(line), 3)])
    return rows


# --- the window itself ----------------------------------------------------------------------------

VERSIONS = [("winxp", ("winxp", True)), ("nt40", ("nt40", False))]


@case(archs=BOTH, params=VERSIONS)
def window_title_class_styles_and_size(ctx):
    version, layered = ctx.param
    prefix = ctx.prefix(version=version)
    path = install(ctx, prefix, "窓")
    program, window = start_character(ctx, prefix, path)
    equal((window["title"], window["class"]), (TITLE, WINDOW_CLASS), "title and class")
    left, top, right, bottom = window["rect"]
    equal((right - left, bottom - top), (WIDTH, HEIGHT), "window size (the cell section's)")
    equal(window["style"] & ~(kpwine.WS_VISIBLE | WS_CLIPSIBLINGS), kpwine.WS_POPUP, "window style")
    expected_ex = kpwine.WS_EX_TOOLWINDOW | (kpwine.WS_EX_LAYERED if layered else 0)
    # Wine may add WS_EX_TOPMOST once the window is placed in the always-on-top band.
    equal(window["exstyle"] & ~0x8, expected_ex, "extended style")
    # Without a target window it stays hidden.
    check(not window["visible"], "the character window is visible without a target")
    close(prefix, program, window)


@case(archs=BOTH, params=VERSIONS)
def stands_on_its_target_and_follows_it(ctx):
    version, _ = ctx.param
    prefix = ctx.prefix(version=version)
    path = install(ctx, prefix, "乗る")
    program, window = start_character(ctx, prefix, path, ["-p25"])
    target = start_target(prefix, (100, 200, 500, 400))
    # Free width 400 - 40 = 360; position 25: x = 100 + 90. The top edges meet.
    wait_for(prefix, "placed on the target", placed_at(190, 200))
    prefix.probe("move", target, 60, 300, 360, 500)
    wait_for(prefix, "followed the target", placed_at(60 + 65, 300))  # 260 x 25 / 100 = 65
    # A target whose top is at the screen's top leaves no room: hidden, and shown again after.
    prefix.probe("move", target, 60, 0, 360, 200)
    wait_for(prefix, "hidden for a target at the top", lambda w: not w["visible"])
    prefix.probe("move", target, 300, 150, 700, 450)
    wait_for(prefix, "shown again", placed_at(390, 150))
    # WM_TRACK re-places it at once; with nothing moved nothing changes.
    prefix.post(window["hwnd"], WM_TRACK)
    wait_for(prefix, "still in place after WM_TRACK", placed_at(390, 150))
    close(prefix, program, window)


@case(archs=BOTH)
def read_only_settings_are_read_and_nothing_is_reported(ctx):
    """The character's settings locked read-only, as an administrator locks them: the stored position
    is still read and used; what cannot be written at the end is dropped without a word."""
    prefix = ctx.prefix()
    path = install(ctx, prefix, "鍵")
    section = APP_KEY + "\\鍵"
    prefix.reg_set(section, "Position", 25)
    prefix.probe("regreadonly", section)
    program, window = start_character(ctx, prefix, path)
    start_target(prefix, (100, 200, 500, 400))
    # Free width 400 - 40 = 360; the stored 25 %, not the file's 50 %: x = 100 + 90.
    window = wait_for(prefix, "placed at the stored position", placed_at(190, 200))
    prefix.post(window["hwnd"], kpwine.WM_CLOSE)
    equal(program.wait(timeout=20), 0, "exit code")
    check(not prefix.dialogs(), "a message after the refused writes: %r" % prefix.dialogs())
    equal(prefix.reg_get(section, "Position"), ("REG_DWORD", 25), "the locked value")


WS_EX_TOPMOST = 0x00000008


@case(archs=BOTH, params=[("normal", 0), ("force-topmost", 1)])
def placed_in_the_topmost_band_and_forced_back(ctx):
    force = ctx.param
    prefix = ctx.prefix()
    prefix.reg_set(SETTINGS_KEY, "TopMost", force)
    path = install(ctx, prefix, "最前面")
    program, window = start_character(ctx, prefix, path, ["-p0"])
    target = start_target(prefix, (100, 200, 500, 400))
    placed = wait_for(prefix, "placed on the target", placed_at(100, 200))
    check(placed["exstyle"] & WS_EX_TOPMOST, "not in the topmost band: %#x" % placed["exstyle"])
    order = [w["hwnd"] for w in prefix.windows()]
    check(order.index(window["hwnd"]) < order.index(target), "the character is below its target")
    # Moved away by someone else: an unchanged placement leaves it there, unless forcing topmost
    # re-places it on every tick.
    prefix.probe("move", window["hwnd"], 0, 600, WIDTH, 600 + HEIGHT)
    if force:
        wait_for(prefix, "forced back onto the target", placed_at(100, 200))
    else:
        time.sleep(1.0)
        equal(character(prefix)["rect"][:2], [0, 600], "left where it was moved to")
    close(prefix, program, window)


SHAPES = [
    ("region-nt40", ("nt40", None)),
    ("colorkey-winxp", ("winxp", None)),
    ("translucent-win2k-50", ("win2k", 50)),
]


@case(archs=BOTH, params=SHAPES)
def shape_and_screenshot(ctx):
    version, percent = ctx.param
    prefix = ctx.prefix(version=version)
    path = install(ctx, prefix, "形")
    if percent is not None:
        prefix.reg_set(SETTINGS_KEY, "TransMode", 1)
        prefix.reg_set(SETTINGS_KEY, "Transparency", percent)
    # The target first: without a window manager the X server stacks a newly mapped window on
    # top of everything, and a target mapped just after the character's placement would cover
    # it on the screen while the window system's own order is right.
    start_target(prefix, (100, 200, 500, 400))
    time.sleep(0.5)
    program, window = start_character(ctx, prefix, path, ["-p0"])
    window = wait_for(prefix, "placed on the target", placed_at(100, 200))
    if version == "nt40":
        equal(window["region"], INSIDE_RECTS, "window region (the mask's inside pixels)")
        equal(window["layered"], None, "layered attributes before Windows 2000")
    else:
        equal(window["region"], None, "window region in colour-key mode")
        alpha, flags = (percent * 255 // 100, 3) if percent is not None else (None, 1)
        layered = window["layered"]
        check(layered is not None, "no layered attributes")
        equal(layered["key"], KEY_COLORREF, "colour key")
        equal(layered["flags"], flags, "layered flags")
        if alpha is not None:
            equal(layered["alpha"], alpha, "alpha of %d %%" % percent)
    if percent is None:
        # A placed window reaches the X server's screen a little later (a layered window after
        # its first composition): look again until the pixels are right or 5 s have passed.
        deadline = time.monotonic() + 5.0
        while True:
            rows = screenshot(prefix, (100, 200, 100 + WIDTH, 200 + HEIGHT))
            wrong = []
            for y, row in enumerate(rows):
                for x, pixel in enumerate(row):
                    want = TARGET_GREEN if in_notch(x, y) else (RED if x < WIDTH // 2 else BLUE)
                    if pixel != want:
                        wrong.append((x, y, pixel, want))
            if not wrong or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        seen = sorted({p for row in rows for p in row})
        check(not wrong, "%d pixels differ, first %r; colours seen %r; window %r" %
              (len(wrong), wrong[:5], seen[:8], character(prefix)))
    close(prefix, program, window)


# --- closing --------------------------------------------------------------------------------------

@case(archs=BOTH, params=[("close", kpwine.WM_CLOSE), ("end-session", WM_QUERYENDSESSION)])
def settings_written_when_closed(ctx):
    message = ctx.param
    prefix = ctx.prefix()
    path = install(ctx, prefix, "閉じる", [("一", SHAPED), ("二", SHAPED)])
    program, window = start_character(ctx, prefix, path, ["-p30", "-n2", "-x2"])
    # Nothing is written while it runs.
    check(prefix.reg_get(APP_KEY + "\\閉じる", "Position") is None, "Position written before the end")
    # Windows ending the session asks the window; it closes itself through WM_CLOSE.
    prefix.post(window["hwnd"], message, 1 if message == WM_QUERYENDSESSION else 0)
    equal(program.wait(timeout=20), 0, "exit code")
    values = prefix.reg_list(APP_KEY + "\\閉じる")
    check(values is not None, "no key for the character")
    got = {k: values["values"].get(k) for k in ("Position", "Pattern", "Fixed")}
    equal(got, {"Position": ("REG_DWORD", 30), "Pattern": ("REG_DWORD", 2), "Fixed": ("REG_DWORD", 2)},
          "per-character settings")
    equal(prefix.reg_get(SETTINGS_KEY, "CharName"), ("REG_SZ", "閉じる"), "CharName")


# --- what the scripts reach -----------------------------------------------------------------------

def wait_until(what, probe, timeout=10.0):
    return harness.wait_until(what, probe, timeout=timeout, interval=0.2)


@case(archs=BOTH)
def script_keeps_a_value_in_the_registry(ctx):
    prefix = ctx.prefix()
    body = ["OP_LOADVAR \"Count\" v1 40", "OP_ADD v1 2", "OP_SAVEVAR \"Count\" v1", "loop:", "OP_WAIT 1000",
            "OP_GOTO loop"]
    path = install(ctx, prefix, "覚える", [("数える", body)])
    program, window = start_character(ctx, prefix, path)
    key = APP_KEY + "\\覚える"
    # Written at once by the running program, in the character's own section.
    equal(wait_until("the kept value", lambda: prefix.reg_get(key, "Count")), ("REG_DWORD", 42), "Count")
    close(prefix, program, window)
    # The next start reads it back and keeps the sum.
    program, window = start_character(ctx, prefix, path)
    wait_until("the second value", lambda: prefix.reg_get(key, "Count") == ("REG_DWORD", 44))
    close(prefix, program, window)


@case(archs=BOTH)
def script_starts_a_program(ctx):
    prefix = ctx.prefix()
    marker = r"C:\kp\marker.txt"
    body = ['OP_EXEC "cmd /c echo started> %s"' % marker.replace("\\", "\\\\"), "loop:", "OP_WAIT 1000",
            "OP_GOTO loop"]
    path = install(ctx, prefix, "起動", [("始める", body)])
    program, window = start_character(ctx, prefix, path)
    host = prefix.unix_path(marker)
    wait_until("the marker file", lambda: os.path.exists(host) and os.path.getsize(host) > 0, timeout=20)
    with open(host, "rb") as f:
        equal(f.read().strip(), b"started", "marker file contents")
    close(prefix, program, window)


@case(archs=BOTH)
def a_click_runs_the_click_entry(ctx):
    prefix = ctx.prefix()
    # A long wait, so that only the click can bring the script to "clicked".
    body = ["OP_CLICKON clicked", "loop:", "OP_WAIT 30000", "OP_GOTO loop", "clicked:", "OP_ADD v1 1",
            'OP_SAVEVAR "Clicks" v1', "OP_WAIT 30000", "OP_GOTO loop"]
    path = install(ctx, prefix, "押す", [("待つ", body)])
    program, window = start_character(ctx, prefix, path)
    key = APP_KEY + "\\押す"
    time.sleep(0.5)
    check(prefix.reg_get(key, "Clicks") is None, "the click entry ran without a click")
    for n in (1, 2):
        prefix.post(window["hwnd"], WM_LBUTTONDOWN, 1, (5 << 16) | 5)
        prefix.post(window["hwnd"], WM_LBUTTONUP, 0, (5 << 16) | 5)
        wait_until("click %d" % n, lambda: prefix.reg_get(key, "Clicks") == ("REG_DWORD", n))
    close(prefix, program, window)


@case(archs=BOTH)
def sounds_without_an_audio_device_are_no_error(ctx):
    # The machine has no audio device: every sound fails, quietly, and the script goes on.
    prefix = ctx.prefix()
    body = ["OP_PLAYSOUND 0", 'OP_PLAYFILE "C:\\\\nowhere\\\\missing.wav"', 'OP_PLAYFILE "SystemAsterisk"',
            "OP_WAIT 20", "OP_PLAYSOUND 0", 'OP_SAVEVAR "After" 7', "loop:", "OP_WAIT 1000", "OP_GOTO loop"]
    path = install(ctx, prefix, "音", [("鳴る", body)])
    program, window = start_character(ctx, prefix, path)
    wait_until("the value kept after the sounds",
               lambda: prefix.reg_get(APP_KEY + "\\音", "After") == ("REG_DWORD", 7))
    check(program.running, "the program ended after playing sounds")
    close(prefix, program, window)


# --- resources ------------------------------------------------------------------------------------

@case(archs=BOTH, params=[("colorkey", "winxp"), ("region", "nt40")])
def gdi_balance_stays_flat_over_frames_and_pattern_starts(ctx):
    prefix = ctx.prefix(version=ctx.param)
    # Every frame counts itself in the registry, so the case sees that the frames really ran.
    fast = ["OP_NEWSHAPE 'b' 1", "loop:", "OP_DRAW 0", "OP_SETSHAPE v0", "OP_ADD v1 1", 'OP_SAVEVAR "Frames" v1',
            "OP_WAIT 10", "OP_GOTO loop"]
    path = install(ctx, prefix, "資源", [("速い", fast), ("もう一つ", fast)])
    program, window = start_character(ctx, prefix, path)
    start_target(prefix, (100, 200, 500, 400))
    wait_for(prefix, "shown on the target", lambda w: w["visible"])
    time.sleep(0.5)
    first = gdi_balance(ctx, prefix)
    check(0 <= first < 50, "GDI objects held after start-up: %d" % first)
    # A few hundred frames (10 ms each, shown and shaped every time) and a hundred pattern starts.
    for i in range(100):
        prefix.post(window["hwnd"], kpwine.WM_COMMAND, ID_PATTERN_RANDOM + 1 + i % 2)
    time.sleep(3.0)
    equal(gdi_balance(ctx, prefix), first, "GDI objects held after the frames and pattern starts")
    frames = prefix.reg_get(APP_KEY + "\\資源", "Frames")
    check(frames is not None and frames[1] >= 150, "frames shown in 3.5 s: %r" % (frames,))
    # Every pattern start hid the window; the next placement showed it again.
    wait_for(prefix, "shown again after the pattern starts", placed_at(280, 200))
    close(prefix, program, window)
