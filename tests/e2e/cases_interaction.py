"""What the user does with the running character under Wine: the context menu opened with the right
button (its items, the pattern menu, choosing from it), the change of data file through the open-file
dialog, dragging the character along its target, the settings dialog, the about box and exit all.

Mouse and keys are real X input (xdotool); the open menu is read inside the program by the probe's
hook (Wine keeps menus per process). With KP_E2E_SCREENSHOTS=DIR the menu, settings and about cases
save screenshots of the screen into DIR (menu-win32.png, settings-win32.png, about-win32.png...)."""

import os
import time

import kpfile
import kpwine
from cases_window import build_character
from harness import BOTH, case, check, equal, wait_until

TITLE = "Kelpo32"
WINDOW_CLASS = "Kelpo32CharacterWindow"
APP_KEY = r"Software\TESSARO SOFT\Kelpo32"
SETTINGS_KEY = APP_KEY + r"\Kelpo32"
OPEN_DIALOG_TITLE = "データファイルの変更"
TARGET = (100, 300, 600, 500)  # the window the character stands on: 500 pixels wide, top at 300
GUI_INMOVESIZE = 0x2

ID_PATTERN_RANDOM, ID_SETTINGS, ID_CHANGE_DATAFILE, ID_EXIT_ALL = 32780, 32800, 32801, 32802
ID_APP_ABOUT, ID_APP_EXIT = 57664, 57665
MAIN_MENU = [("ﾃﾞｰﾀﾌｧｲﾙの変更(&C)...", ID_CHANGE_DATAFILE, []), ("設定(&S)...", ID_SETTINGS, []),
             ("パターン選択", 0, ["popup"]), ("Kelpo32について(&A)...", ID_APP_ABOUT, []), ("", 0, ["separator"]),
             ("全て終了(&Q)", ID_EXIT_ALL, []), ("終了(&X)\tAlt+F4", ID_APP_EXIT, [])]
SHOWN_FLAGS = ("grayed", "checked", "separator", "popup", "menubarbreak")


# --- steps shared by the cases --------------------------------------------------------------------

def char_key(name):
    return APP_KEY + "\\" + name


def characters(prefix):
    return prefix.windows(title=TITLE, cls=WINDOW_CLASS)


def character(prefix, predicate=lambda w: True, what="the character window"):
    """The one character window once predicate(window) holds."""
    def found():
        windows = characters(prefix)
        return windows[0] if len(windows) == 1 and predicate(windows[0]) else None
    return wait_until(what, found)


def start_target(prefix, rect=TARGET, title="Target"):
    """A borderless foreground window of the probe's own class; returns its hwnd."""
    prefix.start(prefix.session.probe_exe, ["target", "--rect"] + [str(v) for v in rect] + ["--title", title])
    return wait_until("the window titled %r" % title,
                      lambda: next((w["hwnd"] for w in prefix.windows(title=title, cls="KpProbeTarget")), None))


def placed_x(position, width, rect=TARGET):
    return rect[0] + position * max(rect[2] - rect[0] - width, 0) // 100


def start_on_target(ctx, prefix, path, args=()):
    """Kelpo32.exe with the character file, standing visibly on a target window. The target comes
    first: the character overlaps its top edge, and without a window manager a window that Wine maps
    later may stay above the topmost character in the X server's stacking, taking its clicks."""
    start_target(prefix)
    program = prefix.start(ctx.exe, list(args) + [path])
    return program, character(prefix, lambda w: w["visible"] and on_target(w),
                              what="the character shown on its target")


def on_target(window, rect=TARGET):
    """Whether the window stands on the target's top edge (the test characters keep no height
    above it), within its width: the first placement may come before the target is in front."""
    r = window["rect"]
    return r[1] == rect[1] and rect[0] <= r[0] and r[2] <= rect[2]


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


def point_at(prefix, x, y):
    """Puts the pointer at (x, y) with a real motion: a window shown under a pointer that has not
    moved since does not get Wine's next click."""
    prefix.xdotool("mousemove", x - 5, y - 5)
    prefix.xdotool("mousemove", x, y)


def menu_shown(prefix, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if any(w["visible"] for w in prefix.windows(cls="#32768")):
            return True
        time.sleep(0.1)
    return False


def open_menu(ctx, prefix, window):
    """Right click on the character; the main menu as the probe reads it. On a loaded machine a
    right click under Xvfb without a window manager now and then opens nothing (never seen on an
    idle one): a click after which no menu window appears at all is made again, at most twice. A
    menu that opens but cannot be read still fails."""
    for _ in range(3):
        point_at(prefix, *centre(window["rect"]))
        prefix.xdotool("click", "3")
        if menu_shown(prefix, 4.0):
            break
    menus = prefix.menus(ctx.arch)
    if not menus:
        shown = [w for w in prefix.windows(cls="#32768") if w["visible"]]
        check(False, "no popup menu read after a right click (menu windows shown: %r; foreground %r; "
              "character %r)" % (shown, prefix.probe("foreground")[1], characters(prefix)))
    return menus[0]


def item(menu, text):
    found = [i for i in menu["items"] if i["text"] == text]
    check(len(found) == 1, "no single menu item %r in %r" % (text, [i["text"] for i in menu["items"]]))
    return found[0]


def click(prefix, entry):
    """A left click in the middle of a menu item that is on the screen."""
    check(entry["rect"], "menu item %r is not on the screen" % entry["text"])
    prefix.xdotool("mousemove", *centre(entry["rect"]))
    prefix.xdotool("click", "1")


def open_pattern_menu(ctx, prefix, window):
    """Opens the menu and the pattern menu under it (the mouse rests on its entry); returns both."""
    menu = open_menu(ctx, prefix, window)
    entry = item(menu, "パターン選択")
    prefix.xdotool("mousemove", *centre(entry["rect"]))
    menus = wait_until("the pattern menu opened", lambda: (lambda m: m if len(m) == 2 else None)(
        prefix.menus(ctx.arch)))
    return menus[0], menus[1]


def summary(items):
    return [(i["text"], i["id"], [f for f in SHOWN_FLAGS if f in i["flags"] and
                                  (f == "separator" or "separator" not in i["flags"])]) for i in items]


def screenshot(ctx, prefix, name):
    folder = os.environ.get("KP_E2E_SCREENSHOTS")
    if folder:
        os.makedirs(folder, exist_ok=True)
        prefix.screenshot(os.path.join(os.path.abspath(folder), "%s-%s.png" % (name, ctx.arch)))


def close(prefix, program, window):
    prefix.post(window["hwnd"], kpwine.WM_CLOSE)
    equal(program.wait(timeout=20), 0, "exit code after WM_CLOSE")


def dword(value):
    return ("REG_DWORD", value)


# --- the context menu -----------------------------------------------------------------------------

def expected_pattern_menu(names, columns, current):
    """The pattern menu's items, as (text, id, flags), for the names, columns and pattern setting."""
    items = [("ランダム選択", ID_PATTERN_RANDOM, [])]
    if not columns:
        items.append(("", 0, ["separator"]))
    for g, name in enumerate(names):
        if columns and g and g % columns == 0:
            items.append(("－－－－－", 1, ["grayed", "menubarbreak"]))
        items.append((name, ID_PATTERN_RANDOM + 1 + g, []))
    index = [i for i, it in enumerate(items) if it[1] == ID_PATTERN_RANDOM + current][0]
    items[index] = (items[index][0], items[index][1], ["checked"])
    return items


MENUS = [
    ("plain", (["歩く", "休む", "眠る", "跳ぶ", "座る"], None, 3)),
    ("columns", (["型%d" % k for k in range(1, 11)], 4, 0)),
]


@case(archs=BOTH, params=MENUS)
def context_menu_items(ctx):
    names, columns, current = ctx.param
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\menu.kp", kpfile.build(name="献立", patterns=names, menu_columns=columns))
    program, window = start_on_target(ctx, prefix, path, ["-n%d" % current])
    menu, patterns = open_pattern_menu(ctx, prefix, window)
    equal(summary(menu["items"]), MAIN_MENU, "main menu")
    equal(summary(patterns["items"]), expected_pattern_menu(names, columns, current), "pattern menu")
    equal(summary(item(menu, "パターン選択")["submenu"]["items"]), summary(patterns["items"]),
          "the submenu of the pattern entry")
    # The menu opens at the cursor, left-aligned.
    equal(menu["rect"][:2], list(centre(window["rect"])), "menu's top left corner")
    screenshot(ctx, prefix, "menu-columns" if columns else "menu")
    # Esc closes the pattern menu, then the menu.
    wait_until("the menu closed", lambda: prefix.xdotool("key", "Escape") or not prefix.menus(ctx.arch, timeout=0.2))
    close(prefix, program, character(prefix))


COUNTING = ["OP_DRAW 0", "OP_LOADVAR \"Starts%d\" v1 0", "OP_ADD v1 1", "OP_SAVEVAR \"Starts%d\" v1", "loop:", "OP_WAIT 30000",
            "OP_GOTO loop"]


@case(archs=BOTH)
def choosing_a_pattern_restarts_it(ctx):
    # Each pattern counts its own starts in the registry with its first step.
    prefix = ctx.prefix()
    patterns = [(title, [line.replace("%d", str(k)) for line in COUNTING]) for k, title in ((1, "一"), (2, "二"))]
    path = prefix.install(build_character(ctx, "選ぶ", patterns), r"C:\kp\choose.kp")
    program, window = start_on_target(ctx, prefix, path, ["-n1"])
    key = char_key("選ぶ")
    wait_until("pattern 1 started", lambda: prefix.reg_get(key, "Starts1") == dword(1))
    for starts in (1, 2):  # the second time "二" carries the check mark: chosen again, it restarts
        menu, patterns_menu = open_pattern_menu(ctx, prefix, character(prefix, lambda w: w["visible"]))
        checked = [i["text"] for i in patterns_menu["items"] if "checked" in i["flags"]]
        equal(checked, ["一" if starts == 1 else "二"], "checked pattern")
        click(prefix, item(patterns_menu, "二"))
        wait_until("pattern 2 started %d times" % starts, lambda: prefix.reg_get(key, "Starts2") == dword(starts))
    equal(prefix.reg_get(key, "Starts1"), dword(1), "starts of pattern 1")
    close(prefix, program, character(prefix))
    equal(prefix.reg_get(key, "Pattern"), dword(2), "stored pattern")


# --- change of data file --------------------------------------------------------------------------

@case(archs=BOTH)
def change_data_file_through_the_open_dialog(ctx):
    prefix = ctx.prefix()
    old = prefix.write(r"C:\kp\old.kp", kpfile.build(name="古い", width=32, height=48))
    new = prefix.write(r"C:\kp\new.kp", kpfile.build(name="新しい", width=60, height=40, patterns=("一", "二", "三"),
                                                    default_pattern=3, default_position=90))
    # The new character's own stored values win over its header's defaults.
    prefix.reg_set(char_key("新しい"), "Position", 10)
    prefix.reg_set(char_key("新しい"), "Pattern", 2)
    program, window = start_on_target(ctx, prefix, old, ["-p30", "-n2"])
    click(prefix, item(open_menu(ctx, prefix, window), "ﾃﾞｰﾀﾌｧｲﾙの変更(&C)..."))
    dialog = prefix.wait_dialog(timeout=15, title=OPEN_DIALOG_TITLE)
    check(dialog is not None, "no open-file dialog titled %r" % OPEN_DIALOG_TITLE)
    # The outgoing character's settings are written before the dialog opens.
    equal({v: prefix.reg_get(char_key("古い"), v) for v in ("Position", "Pattern")},
          {"Position": dword(30), "Pattern": dword(2)}, "old character's settings while the dialog is open")
    ids = {c["id"] for c in dialog["children"]}
    name_box = 1148 if 1148 in ids else 1152  # the file name box: explorer style, or the old style
    prefix.type_text(dialog, name_box, new)
    prefix.press(dialog, kpwine.IDOK)
    width, height = 60, 40
    moved = character(prefix, lambda w: w["visible"] and w["rect"][2] - w["rect"][0] == width and
                      w["rect"][3] - w["rect"][1] == height and w["rect"][0] == placed_x(10, width),
                      what="the new character, %dx%d, at its stored position 10" % (width, height))
    close(prefix, program, moved)
    equal(prefix.reg_get(SETTINGS_KEY, "CharName"), ("REG_SZ", "新しい"), "CharName")
    equal({v: prefix.reg_get(char_key("新しい"), v) for v in ("Position", "Pattern")},
          {"Position": dword(10), "Pattern": dword(2)}, "new character's settings")


# --- drag -----------------------------------------------------------------------------------------

# Free width 500 - 32 = 468 from position 50: +100 pixels is +21 (21.4), -50 pixels is -10 (-10.7,
# toward zero), -340 pixels (-72) stops at 0. The pointer stays on the screen throughout.
DRAGS = [("right", (100, 71)), ("left", (-50, 40)), ("past-the-left-end", (-340, 0))]


@case(archs=BOTH, params=DRAGS)
def drag_moves_along_the_target(ctx):
    dx, position = ctx.param
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\drag.kp", kpfile.build(name="引く", width=32, height=48))
    program, window = start_on_target(ctx, prefix, path, ["-p50"])
    equal(window["rect"][0], placed_x(50, 32), "x before the drag")
    x, y = centre(window["rect"])
    point_at(prefix, x, y)
    prefix.xdotool("mousedown", "1")
    # The first move away from the press point starts the move loop; the drag is measured from there.
    prefix.xdotool("mousemove", x, y + 2)
    wait_until("the move loop", lambda: prefix.probe("thread", window["hwnd"])[1][0]["flags"] & GUI_INMOVESIZE)
    prefix.xdotool("mousemove", x + dx, y + 12)
    prefix.xdotool("mouseup", "1")
    wait_until("the move loop ended",
               lambda: not prefix.probe("thread", window["hwnd"])[1][0]["flags"] & GUI_INMOVESIZE)
    # Without a window manager Wine activates no window when the dragged character hides; the user
    # would click the target again.
    target = prefix.windows(title="Target", cls="KpProbeTarget")[0]["hwnd"]
    if prefix.probe("foreground")[1][0]["hwnd"] == 0:
        prefix.probe("activate", target)
    moved = character(prefix, lambda w: w["visible"] and w["rect"][0] == placed_x(position, 32),
                      what="the character at position %d" % position)
    equal(moved["rect"][1], window["rect"][1], "height after the drag")
    close(prefix, program, moved)
    equal(prefix.reg_get(char_key("引く"), "Position"), dword(position), "stored position")


# --- settings dialog ------------------------------------------------------------------------------

# Rectangles (x, y, width, height) in dialog units and texts of template 131.
SETTINGS_CONTROLS = {
    kpwine.IDOK: ((83, 166, 50, 14), "OK"), kpwine.IDCANCEL: ((139, 166, 50, 14), "ｷｬﾝｾﾙ"),
    1001: ((30, 20, 100, 20), ""), 1002: ((155, 20, 20, 14), None),
    1003: ((99, 114, 92, 10), "自動ｱﾆﾒｰｼｮﾝを許可(&A)"), 1006: ((99, 129, 92, 10), "強制的に手前に表示(&F)"),
    1010: ((99, 144, 57, 10), "ﾗﾝﾀﾞﾑ起動(&R)"), 1007: ((11, 114, 58, 10), "全てのｳｲﾝﾄﾞｳ"),
    1008: ((11, 129, 65, 10), "ﾀｽｸﾊﾞｰ上に常駐"), 1009: ((11, 144, 72, 10), "ﾀｽｸﾊﾞｰ以外に常駐"),
    1014: ((5, 50, 186, 50), "透明度(Windows2000のみ)"), 1011: ((12, 60, 79, 10), "半透明表示を使用(&H)"),
    1012: ((30, 75, 100, 20), ""), 1015: ((15, 80, 11, 8), "10%"), 1016: ((135, 80, 15, 8), "100%"),
    1013: ((156, 76, 19, 14), None), 1017: ((180, 80, 8, 8), "%"),
}
TRANSLUCENCY_CONTROLS = (1011, 1012, 1013, 1014, 1015, 1016, 1017)


def muldiv(a, b, c):
    return (a * b + c // 2) // c


def controls(dialog):
    return {c["id"]: c for c in dialog["children"] if c["id"] in SETTINGS_CONTROLS}


@case(archs=BOTH, params=[("win2k", "win2k"), ("nt40", "nt40")])
def settings_dialog_shows_applies_and_stores(ctx):
    version = ctx.param
    prefix = ctx.prefix(version=version)
    for name, value in (("AutoAnimation", 0), ("TopMost", 1), ("TransMode", 0), ("Transparency", 60),
                        ("RandomMode", 0)):
        prefix.reg_set(SETTINGS_KEY, name, value)
    # Tracking mode 2 (never the taskbar): the character stands on the target, and the radio buttons
    # show a mode other than the first.
    for name, value in (("Position", 40), ("Pattern", 1), ("Fixed", 2)):
        prefix.reg_set(char_key("設定"), name, value)
    path = prefix.write(r"C:\kp\settings.kp", kpfile.build(name="設定", width=32, height=48))
    program, window = start_on_target(ctx, prefix, path)
    open_menu(ctx, prefix, window)
    prefix.xdotool("key", "s")  # the item's access key
    dialog = prefix.wait_dialog(timeout=15, title="設定")
    check(dialog is not None, "no dialog titled 設定")
    character(prefix, lambda w: not w["visible"], what="the character hidden while the dialog is open")
    shown = controls(dialog)
    units = prefix.dialog_units(dialog, ctx.arch)
    for cid, ((x, y, w, h), text) in sorted(SETTINGS_CONTROLS.items()):
        check(cid in shown, "no control %d" % cid)
        left, top = muldiv(x, units[0], 4), muldiv(y, units[1], 8)
        equal(shown[cid]["crect"], [left, top, left + muldiv(w, units[0], 4), top + muldiv(h, units[1], 8)],
              "rectangle of control %d (dialog units %r, base %r)" % (cid, (x, y, w, h), units))
        if text is not None:
            equal(shown[cid]["text"], text, "text of control %d" % cid)
        equal(shown[cid]["enabled"], cid not in TRANSLUCENCY_CONTROLS or version != "nt40",
              "control %d enabled" % cid)
    got = {cid: shown[cid]["checked"] for cid in (1003, 1006, 1007, 1008, 1009, 1010, 1011)}
    equal(got, {1003: 0, 1006: 1, 1007: 0, 1008: 0, 1009: 1, 1010: 0, 1011: 0}, "check boxes and radios")
    equal([(shown[c]["range"], shown[c]["pos"], shown[e]["text"]) for c, e in ((1001, 1002), (1012, 1013))],
          [([0, 100], 40, "40"), ([10, 100], 60, "60")], "sliders and number boxes")
    screenshot(ctx, prefix, "settings-" + version)

    # Not an integer: the message box, at the keystroke.
    prefix.type_text(dialog, 1002, "x")
    box = prefix.wait_dialog(timeout=15, other_than=dialog["hwnd"])
    check(box is not None, "no message box for a non-integer")
    equal([c["text"] for c in box["children"] if c["class"].lower() == "static" and c["text"]],
          ["整数を入力してください。"], "message box text")
    prefix.press(box, kpwine.IDOK)
    wait_until("the message box closed", lambda: len(prefix.dialogs()) == 1)
    # Typing moves the slider; then random start and automatic animation on, and OK.
    prefix.type_text(dialog, 1002, "75")
    wait_until("slider at 75", lambda: controls(prefix.wait_dialog(title="設定"))[1001]["pos"] == 75)
    prefix.press(dialog, 1010)
    prefix.press(dialog, 1003)
    wait_until("both boxes ticked", lambda: [controls(prefix.wait_dialog(title="設定"))[c]["checked"]
                                             for c in (1003, 1010)] == [1, 1])
    prefix.press(dialog, kpwine.IDOK)
    # "RandomMode" is written at once, the rest when the program ends.
    wait_until("RandomMode written", lambda: prefix.reg_get(SETTINGS_KEY, "RandomMode") == dword(1))
    equal(prefix.reg_get(SETTINGS_KEY, "AutoAnimation"), dword(0), "AutoAnimation while running")
    moved = character(prefix, lambda w: w["visible"] and w["rect"][0] == placed_x(75, 32),
                      what="the character at position 75")
    close(prefix, program, moved)
    equal({v: prefix.reg_get(SETTINGS_KEY, v) for v in ("AutoAnimation", "TopMost", "RandomMode")},
          {"AutoAnimation": dword(1), "TopMost": dword(1), "RandomMode": dword(1)}, "general settings")
    equal({v: prefix.reg_get(char_key("設定"), v) for v in ("Position", "Fixed")},
          {"Position": dword(75), "Fixed": dword(2)}, "character settings")


# --- about box and exit all -----------------------------------------------------------------------

@case(archs=BOTH)
def about_box_shows_the_characters_text(ctx):
    prefix = ctx.prefix()
    about = "ケルポは机の上を歩きます"
    path = prefix.write(r"C:\kp\about.kp", kpfile.build(name="説明", about=about))
    program, window = start_on_target(ctx, prefix, path)
    click(prefix, item(open_menu(ctx, prefix, window), "Kelpo32について(&A)..."))
    dialog = prefix.wait_dialog(timeout=15, title="Kelpo32について")
    check(dialog is not None, "no about box")
    texts = {c["id"]: c["text"] for c in dialog["children"]}
    equal(texts.get(1000), about, "text of static 1000")
    check("Kelpo Ver3.10 for Win32" in [c["text"] for c in dialog["children"]], "no version text in %r" % [
        c["text"] for c in dialog["children"]])
    check(any(c["class"].lower() == "static" and (c["style"] & 0x1F) == kpwine.SS_ICON for c in dialog["children"]),
          "no icon in the about box")
    check(kpwine.IDOK in texts, "no OK button")
    character(prefix, lambda w: not w["visible"], what="the character hidden while the about box is open")
    screenshot(ctx, prefix, "about")
    prefix.press(dialog, kpwine.IDOK)
    shown = character(prefix, lambda w: w["visible"], what="the character shown again")
    close(prefix, program, shown)


@case(archs=BOTH)
def exit_all_closes_every_instance_and_nothing_else(ctx):
    prefix = ctx.prefix()
    first = prefix.write(r"C:\kp\first.kp", kpfile.build(name="一号"))
    second = prefix.write(r"C:\kp\second.kp", kpfile.build(name="二号"))
    # Windows titled "Kelpo32" (of another class) and "Kelpo32x" beside the target. A foreground window
    # titled "Kelpo32" counts as another instance, on which no character stands: the target is in front.
    start_target(prefix, rect=(650, 600, 800, 700), title=TITLE)
    start_target(prefix, rect=(820, 600, 1000, 700), title="Kelpo32x")
    prefix.probe("activate", start_target(prefix))
    programs = [prefix.start(ctx.exe, ["-p10", first]), prefix.start(ctx.exe, ["-p90", second])]
    windows = wait_until("both characters shown", lambda: (lambda ws: ws if len(ws) == 2 and all(
        w["visible"] for w in ws) else None)(characters(prefix)))
    open_menu(ctx, prefix, windows[0])
    prefix.xdotool("key", "q")
    for program in programs:
        equal(program.wait(timeout=20), 0, "exit code after exit all")
    equal(characters(prefix), [], "character windows left")
    for title in (TITLE, "Kelpo32x"):
        equal(len(prefix.windows(title=title, cls="KpProbeTarget")), 1, "the probe's window titled %r" % title)
    for name, position in (("一号", 10), ("二号", 90)):
        equal(prefix.reg_get(char_key(name), "Position"), dword(position), "stored position of %s" % name)
