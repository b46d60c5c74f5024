"""Kelpo32.exe under Wine in the harder situations a user meets: ten instances at once ended by exit
all, a program in front that has stopped answering, a character file replaced on disk while it is
shown, a read-only one, a very large character (about 20 MB: 32000 cells, 1000 patterns) and the
user's logon ending while the settings dialog is open.

The large character is assembled by kptool once and kept in build/e2e-big between runs; its case
prints how long loading, the menu and the pattern menu took (figures, not asserted: the bounds
below only catch a hang)."""

import os
import stat
import struct
import subprocess
import time

import kpfile
import kpwine
from cases_interaction import (COUNTING, ID_EXIT_ALL, ID_SETTINGS, OPEN_DIALOG_TITLE, SETTINGS_KEY, TARGET,
                               char_key, character, characters, click, close, dword, item, on_target, open_menu,
                               open_pattern_menu, start_on_target, start_target)
from cases_window import build_character, kptool
from harness import BOTH, case, check, equal, wait_until

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def wait_exit(program, what, timeout=20):
    equal(program.wait(timeout=timeout), 0, "exit code of %s" % what)


# --- ten instances --------------------------------------------------------------------------------

@case(archs=BOTH)
def ten_instances_end_with_exit_all(ctx):
    prefix = ctx.prefix()
    # Ten characters of their own, each started with its own position, pattern and tracking mode.
    # Mode 1 (the taskbar, which this display does not show) keeps those instances hidden: exit all
    # reaches them too.
    wanted = {}
    start_target(prefix)
    programs = []
    for k in range(10):
        name = "十人%d" % k
        path = prefix.write(r"C:\kp\ten%d.kp" % k, kpfile.build(name=name, width=24 + k, height=30 + k,
                                                                patterns=("歩く", "休む", "走る")))
        wanted[name] = {"Position": dword(k * 11), "Pattern": dword(k % 3 + 1), "Fixed": dword(k % 3)}
        programs.append(prefix.start(ctx.exe, ["-p%d" % (k * 11), "-n%d" % (k % 3 + 1), "-x%d" % (k % 3), path]))
    shown = wait_until("ten character windows, seven of them on the target", lambda: (lambda ws: ws if len(
        ws) == 10 and sum(1 for w in ws if w["visible"] and on_target(w)) == 7 else None)(characters(prefix)),
        timeout=60)
    for program in programs:
        check(program.running, "an instance ended before exit all")
    # Exit all from one of them, as its menu item sends it (the menu itself has a case of its own).
    one = [w for w in shown if w["visible"]][3]
    prefix.post(one["hwnd"], kpwine.WM_COMMAND, ID_EXIT_ALL)
    wait_until("every instance ended", lambda: not any(p.running for p in programs), timeout=30,
               detail=lambda: "still running: %r; character windows: %r" % (
                   [k for k, p in enumerate(programs) if p.running], characters(prefix)))
    for k, program in enumerate(programs):
        wait_exit(program, "instance %d after exit all" % k)
    equal(characters(prefix), [], "character windows left")
    got = {}
    for name in wanted:
        values = prefix.reg_list(char_key(name)) or {"values": {}}
        got[name] = {v: values["values"].get(v) for v in ("Position", "Pattern", "Fixed")}
    equal(got, wanted, "every instance's settings")
    last = prefix.reg_get(SETTINGS_KEY, "CharName")
    check(last and last[1] in wanted, "CharName of the last instance to end: %r" % (last,))


# --- a program that stopped answering -------------------------------------------------------------

@case(archs=BOTH)
def a_program_that_stopped_answering_holds_nothing_up(ctx):
    # The window in front belongs to a program that answers no message any more: the character
    # still stands on it (reading its title never waits for it), and exit all, whose walk reads
    # the title of every window, still ends the instance.
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\hung.kp", kpfile.build(name="待たず"))
    prefix.start(prefix.session.probe_exe, ["target", "--rect"] + [str(v) for v in TARGET] + ["--hang"])
    wait_until("the window that stopped answering", lambda: prefix.windows(cls="KpProbeTarget"))
    program = prefix.start(ctx.exe, ["-p30", path])
    window = character(prefix, lambda w: w["visible"] and on_target(w), what="the character on the hung window")
    prefix.post(window["hwnd"], kpwine.WM_COMMAND, ID_EXIT_ALL)
    wait_exit(program, "the program after exit all")
    equal(prefix.reg_get(char_key("待たず"), "Position"), dword(30), "stored position")


# --- the file on disk -----------------------------------------------------------------------------

def size(window):
    r = window["rect"]
    return r[2] - r[0], r[3] - r[1]


def open_through_the_dialog(ctx, prefix, window, path):
    """"ﾃﾞｰﾀﾌｧｲﾙの変更(&C)..." from the character's menu, and `path` typed into the open-file dialog."""
    click(prefix, item(open_menu(ctx, prefix, window), "ﾃﾞｰﾀﾌｧｲﾙの変更(&C)..."))
    dialog = prefix.wait_dialog(timeout=15, title=OPEN_DIALOG_TITLE)
    check(dialog is not None, "no open-file dialog")
    ids = {c["id"] for c in dialog["children"]}
    prefix.type_text(dialog, 1148 if 1148 in ids else 1152, path)  # explorer style, or the old style
    prefix.press(dialog, kpwine.IDOK)


@case(archs=BOTH)
def file_replaced_while_shown(ctx):
    prefix = ctx.prefix()
    patterns = [(title, [line.replace("%d", str(k)) for line in COUNTING]) for k, title in ((1, "一"), (2, "二"))]
    path = prefix.install(build_character(ctx, "前", patterns), r"C:\kp\swap.kp")
    program, window = start_on_target(ctx, prefix, path, ["-n1"])
    first_size = size(window)
    key = char_key("前")
    wait_until("pattern 1 started", lambda: prefix.reg_get(key, "Starts1") == dword(1))
    # Another character, of another size and other patterns, now lies under the same name.
    prefix.write(path, kpfile.build(name="後", width=60, height=40, patterns=("甲", "乙", "丙")))
    # The shown character goes on from the image it loaded: its menu, its patterns, its size.
    menu, patterns_menu = open_pattern_menu(ctx, prefix, character(prefix, lambda w: w["visible"]))
    equal([i["text"] for i in patterns_menu["items"] if i["text"]], ["ランダム選択", "一", "二"],
          "pattern menu after the file was replaced")
    click(prefix, item(patterns_menu, "二"))
    wait_until("pattern 2 started from the loaded image", lambda: prefix.reg_get(key, "Starts2") == dword(1))
    shown = character(prefix, lambda w: w["visible"] and on_target(w))
    equal(size(shown), first_size, "size")
    # Opening the file again gives what lies there now.
    open_through_the_dialog(ctx, prefix, shown, path)
    new = character(prefix, lambda w: w["visible"] and size(w) == (60, 40), what="the character now in the file, 60x40")
    close(prefix, program, new)
    equal(prefix.reg_get(SETTINGS_KEY, "CharName"), ("REG_SZ", "後"), "CharName")
    equal(prefix.reg_get(key, "Pattern"), dword(2), "the first character's pattern, kept at the change")


@case(archs=BOTH)
def read_only_file_loads_and_stays_untouched(ctx):
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\locked.kp", kpfile.build(name="読専", patterns=("一", "二")))
    host = prefix.unix_path(path)
    os.chmod(host, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    before = (open(host, "rb").read(), os.stat(host).st_mtime_ns)
    program, window = start_on_target(ctx, prefix, path, ["-n2", "-p20"])
    # Chosen again through the open-file dialog, it loads again.
    open_through_the_dialog(ctx, prefix, window, path)
    wait_until("the dialog closed", lambda: not prefix.dialogs())
    close(prefix, program, character(prefix, lambda w: w["visible"] and on_target(w)))
    equal(prefix.reg_get(char_key("読専"), "Position"), dword(20), "stored position")
    equal((open(host, "rb").read(), os.stat(host).st_mtime_ns), before, "the file's bytes and time")
    equal(stat.S_IMODE(os.stat(host).st_mode) & 0o222, 0, "write permission")


# --- a very large character -----------------------------------------------------------------------

BIG_PATTERNS = 1000
BIG_CELLS_PER_PATTERN = 32
BIG_SIDE = 32
BIG_LAYOUT = 1  # bump when the generated character changes


def bmp4(side, colour):
    """A 4-bit bottom-up BMP, side x side, of 16 colours: a diagonal band of colour `colour` on 0."""
    stride = ((side * 4 + 31) // 32) * 4
    rows = []
    for y in reversed(range(side)):
        row = bytearray(stride)
        for x in range(side):
            v = colour if abs(x - y) < 6 else 0
            row[x // 2] |= v << (4 if x % 2 == 0 else 0)
        rows.append(bytes(row))
    table = b"".join(bytes((16 * i, 255 - 16 * i, (64 + 40 * i) % 256, 0)) for i in range(16))
    pixels = b"".join(rows)
    offset = 14 + 40 + len(table)
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) +
            struct.pack("<IiiHHIIiiII", 40, side, side, 1, 4, 0, len(pixels), 0, 0, 16, 0) + table + pixels)


def big_character():
    """Host path of the large character, assembled by kptool the first time and kept under build/."""
    folder = os.path.join(REPO, "build", "e2e-big")
    out = os.path.join(folder, "big-%d.kp" % BIG_LAYOUT)
    if os.path.exists(out):
        return out
    os.makedirs(folder, exist_ok=True)
    for c in range(1, 16):
        with open(os.path.join(folder, "f%d.bmp" % c), "wb") as f:
            f.write(bmp4(BIG_SIDE, c))
    lines = ["version 302", 'name "大きい"', 'about "1000 patterns, 32000 cells"',
             "window %d %d" % (BIG_SIDE, BIG_SIDE), "default-pattern 1", "default-position 50"]
    cells = BIG_PATTERNS * BIG_CELLS_PER_PATTERN
    lines += ['cell %d "f%d.bmp" at 0 0' % (n, n % 15 + 1) for n in range(cells)]
    for k in range(1, BIG_PATTERNS + 1):
        first = (k - 1) * BIG_CELLS_PER_PATTERN
        # Each start records its pattern; each round through its cells counts one loop.
        lines += ['pattern "型%04d"' % k, "        OP_SET v3 %d" % k, '        OP_SAVEVAR "Started" v3',
                  "        OP_SET v1 0", "loop:   OP_SET v2 %d" % first, "frame:  OP_DRAW v2", "        OP_WAIT 20",
                  "        OP_ADD v2 1", "        OP_IF v2 < %d frame" % (first + BIG_CELLS_PER_PATTERN),
                  "        OP_ADD v1 1", '        OP_SAVEVAR "Loops" v1', "        OP_GOTO loop"]
    source = os.path.join(folder, "big.kps")
    with open(source, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    partial = out + ".part"
    done = subprocess.run([kptool(), "build", source, "-o", partial], stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    check(done.returncode == 0, "kptool build: %s" % done.stdout.decode("utf-8", "replace")[-2000:])
    os.replace(partial, out)
    return out


def visible_menus(prefix):
    return sum(1 for w in prefix.windows(cls="#32768") if w["visible"])


@case(archs=BOTH)
def very_large_character_loads_animates_and_offers_its_last_pattern(ctx):
    path = big_character()
    check(os.path.getsize(path) > 19 * 1024 * 1024, "the large character has only %d bytes" % os.path.getsize(path))
    prefix = ctx.prefix()
    key = char_key("大きい")
    started = time.monotonic()
    program, window = start_on_target(ctx, prefix, ctx.session.windows_path(path), ["-n1"])
    shown_after = time.monotonic() - started
    # It animates: pattern 1 goes round its 32 cells again and again.
    wait_until("pattern 1 round its cells twice", lambda: (prefix.reg_get(key, "Loops") or (0, 0))[1] >= 2,
               timeout=30)
    equal(prefix.reg_get(key, "Started"), dword(1), "the pattern started first")
    # The menu at a right click, then the pattern menu from the keyboard: the third item, opened.
    t = time.monotonic()
    open_menu(ctx, prefix, window)
    menu_after = time.monotonic() - t
    for key_name in ("Down", "Down", "Down"):
        prefix.xdotool("key", key_name)
    t = time.monotonic()
    prefix.xdotool("key", "Right")
    wait_until("the pattern menu shown", lambda: visible_menus(prefix) == 2, timeout=30, interval=0.02)
    pattern_menu_after = time.monotonic() - t
    # Up from its first entry wraps to the last one, pattern 1000.
    prefix.xdotool("key", "Up")
    prefix.xdotool("key", "Return")
    wait_until("pattern %d started" % BIG_PATTERNS, lambda: prefix.reg_get(key, "Started") == dword(BIG_PATTERNS),
               timeout=30)
    print("    large character (%.1f MB): shown %.2f s after the start, menu %.2f s after the click, pattern menu "
          "%.2f s after the key (each probe call alone takes about %.2f s)" % (
              os.path.getsize(path) / 1048576.0, shown_after, menu_after, pattern_menu_after, probe_call_time(prefix)),
          flush=True)
    close(prefix, program, character(prefix))
    equal(prefix.reg_get(key, "Pattern"), dword(BIG_PATTERNS), "stored pattern")


def probe_call_time(prefix):
    t = time.monotonic()
    prefix.windows(cls="#32768")
    return time.monotonic() - t


# --- the logon ending -----------------------------------------------------------------------------

@case(archs=BOTH, params=[("process-ended", True), ("process-left", False)])
def logon_ends_while_the_settings_dialog_is_open(ctx):
    kill = ctx.param
    prefix = ctx.prefix()
    prefix.reg_set(char_key("終わる"), "Position", 5)
    path = prefix.write(r"C:\kp\end.kp", kpfile.build(name="終わる", patterns=("一", "二", "三")))
    program, window = start_on_target(ctx, prefix, path, ["-p40", "-n2"])
    prefix.post(window["hwnd"], kpwine.WM_COMMAND, ID_SETTINGS)  # as the menu item sends it
    dialog = prefix.wait_dialog(timeout=15, title="設定")
    check(dialog is not None, "no settings dialog")
    # The user has typed a position and ticked random start, and not pressed OK.
    prefix.type_text(dialog, 1002, "75")
    prefix.press(dialog, 1010)
    wait_until("the dialog shows 75 and random start", lambda: (lambda d: d and {
        c["id"]: c for c in d["children"]}[1001]["pos"] == 75 and {c["id"]: c for c in d["children"]}[1010][
        "checked"] == 1)(prefix.wait_dialog(title="設定")))
    rc, lines = prefix.probe(*(["endsession", window["hwnd"]] + (["--kill"] if kill else [])))
    answer = lines[0]
    check(answer["agreed"] and answer["held"] and answer["ended"] == len(answer["windows"]),
          "the end of the session as the probe saw it: %r" % answer)
    check({w["class"] for w in answer["windows"]} >= {"#32770", "Kelpo32CharacterWindow"},
          "the windows asked: %r" % answer)
    if kill:
        check(answer["killed"], "the process was not ended")
        program.wait(timeout=20)
    else:
        wait_until("the program ended", lambda: not program.running, timeout=20, detail=lambda: "windows %r, dialogs %r" % (
            [(w["class"], w["title"], w["visible"]) for w in prefix.windows() if w["pid"] == window["pid"]],
            prefix.dialogs()))
        wait_exit(program, "the program after the end of the session")
    equal(prefix.dialogs(), [], "dialogs left")
    equal({v: prefix.reg_get(char_key("終わる"), v) for v in ("Position", "Pattern")},
          {"Position": dword(40), "Pattern": dword(2)}, "the character's settings")
    equal(prefix.reg_get(SETTINGS_KEY, "CharName"), ("REG_SZ", "終わる"), "CharName")
    equal(prefix.reg_get(SETTINGS_KEY, "RandomMode"), None, "RandomMode (the dialog was not confirmed)")
