"""Start-up of Kelpo32.exe under Wine: loader messages, the character window, settings written at exit,
command-line options and the reported Windows version."""

import kpfile
import kpwine
from harness import BOTH, case, check, equal

TITLE = "Kelpo32"
OPEN_DIALOG_TITLE = "データファイルの変更"
APP_KEY = r"Software\TESSARO SOFT\Kelpo32"
SETTINGS_KEY = APP_KEY + r"\Kelpo32"

MSG_CANNOT_READ = "データファイルが読み込めません。"
MSG_CORRUPT = "データが破損しています。"
MSG_OLD_FORMAT = "旧バージョンのデータです。ZAVOVOで変換して下さい。"
MSG_TOO_NEW = "プログラムのバージョンが低いため、実行できません。"
MSG_MAYBE_CORRUPT = "データが破損している可能性があります。\n続けますか？"

OK_ONLY = [kpwine.IDOK]
YES_NO = [kpwine.IDYES, kpwine.IDNO]


def char_key(name):
    return APP_KEY + "\\" + name


# --- steps shared by the cases --------------------------------------------------------------------

def box_summary(dialog):
    """(caption, texts of the visible text statics, ids of the visible buttons, icon). Button captions
    follow Wine's language, so only their ids count."""
    texts, buttons, icon = [], [], None
    for child in dialog["children"]:
        if not child["visible"]:
            continue
        cls = child["class"].lower()
        if cls == "static" and (child["style"] & 0x1F) == kpwine.SS_ICON:
            icon = child.get("icon")
        elif cls == "static" and child["text"]:
            texts.append(child["text"])
        elif cls == "button":
            buttons.append(child["id"])
    return dialog["title"], texts, sorted(buttons), icon


def expect_message_box(prefix, text, buttons, timeout=15.0):
    dialog = prefix.wait_dialog(timeout=timeout)
    check(dialog is not None, "no message box within %.0f s (expected %r)" % (timeout, text))
    equal(box_summary(dialog), (TITLE, [text], buttons, "exclamation"), "message box")
    return dialog


def expect_no_main_window(prefix):
    found = [w for w in prefix.windows(title=TITLE) if w["class"] != "#32770"]
    equal(found, [], "top-level windows titled %r besides message boxes" % TITLE)


def cancel_open_dialog(prefix, previous=None):
    """The open-file dialog follows every start without a loaded character; cancel it."""
    dialog = prefix.wait_dialog(timeout=15.0, title=OPEN_DIALOG_TITLE, other_than=previous)
    check(dialog is not None, "no open-file dialog titled %r" % OPEN_DIALOG_TITLE)
    expect_no_main_window(prefix)
    prefix.press(dialog, kpwine.IDCANCEL)


def wait_main_window(prefix, timeout=15.0):
    """The character window; a message box in its place fails the case with the box's text."""
    window = prefix.wait_window(TITLE, timeout=timeout)
    check(window is not None, "no window titled %r within %.0f s" % (TITLE, timeout))
    if window["class"] == "#32770":
        boxes = prefix.dialogs()
        raise AssertionError("a message box instead of the character window: %r"
                             % [box_summary(b) for b in boxes])
    return window


def check_main_window(window, image):
    width, height = kpfile.canvas_size(image)
    left, top, right, bottom = window["rect"]
    equal((right - left, bottom - top), (width, height), "character window size")
    # Windows adds WS_CLIPSIBLINGS to every top-level window; the visible bit depends on placement.
    equal(window["style"] & ~(kpwine.WS_VISIBLE | 0x04000000), kpwine.WS_POPUP, "window style")
    # Layered from Windows 2000 on (colour-key shaping); otherwise exactly a tool window.
    equal(window["exstyle"] & ~kpwine.WS_EX_LAYERED, kpwine.WS_EX_TOOLWINDOW, "extended window style")


def close_and_wait(prefix, program, window):
    prefix.post(window["hwnd"], kpwine.WM_CLOSE)
    equal(program.wait(timeout=20), 0, "exit code after WM_CLOSE")


def run_loaded(ctx, prefix, args=None, cmdline=None, cwd=None):
    """Starts Kelpo32.exe, expects the character window without any message, closes it with
    WM_CLOSE and expects exit code 0. Returns the window as the probe saw it."""
    if cmdline is not None:
        program = prefix.start_cmdline(ctx.exe, cmdline, cwd=cwd)
    else:
        program = prefix.start(ctx.exe, args or [])
    window = wait_main_window(prefix)
    close_and_wait(prefix, program, window)
    return window


def settings(prefix):
    key = prefix.reg_list(SETTINGS_KEY)
    check(key is not None, "no key HKCU\\" + SETTINGS_KEY)
    return key["values"]


def char_settings(prefix, name):
    key = prefix.reg_list(char_key(name))
    check(key is not None, "no key HKCU\\" + char_key(name))
    values = key["values"]
    return {v: values.get(v) for v in ("Position", "Pattern", "Fixed")}


def dword_triple(position, pattern, fixed):
    return {"Position": ("REG_DWORD", position), "Pattern": ("REG_DWORD", pattern),
            "Fixed": ("REG_DWORD", fixed)}


# --- loader messages ------------------------------------------------------------------------------

def _bad_file(kind):
    image = kpfile.build()
    return {
        "empty": b"",
        "bad-magic": b"XP" + image[2:],
        "one-byte": b"K",
        "version-304": kpfile.with_version(image, 304),
    }[kind]


LOADER_FAILURES = [
    ("missing", (None, MSG_CANNOT_READ)),
    ("empty", ("empty", MSG_CORRUPT)),
    ("bad-magic", ("bad-magic", MSG_OLD_FORMAT)),
    ("one-byte", ("one-byte", MSG_OLD_FORMAT)),
    ("version-304", ("version-304", MSG_TOO_NEW)),
]


@case(archs=BOTH, params=LOADER_FAILURES)
def loader_refusal_shows_message_then_open_dialog(ctx):
    kind, message = ctx.param
    prefix = ctx.prefix()
    if kind is None:
        path = r"C:\kp\missing.kp"
    else:
        path = prefix.write(r"C:\kp\%s.kp" % kind, _bad_file(kind))
    program = prefix.start(ctx.exe, [path])
    box = expect_message_box(prefix, message, OK_ONLY)
    expect_no_main_window(prefix)
    prefix.press(box, kpwine.IDOK)
    cancel_open_dialog(prefix, previous=box["hwnd"])
    equal(program.wait(timeout=20), 0, "exit code")


@case(archs=BOTH, params=[("yes", kpwine.IDYES), ("no", kpwine.IDNO)])
def wrong_size_field_asks_whether_to_continue(ctx):
    answer = ctx.param
    prefix = ctx.prefix()
    image = kpfile.build(name="サイズ違い")
    image = kpfile.with_file_size(image, len(image) + 1)
    path = prefix.write(r"C:\kp\size.kp", image)
    program = prefix.start(ctx.exe, [path])
    box = expect_message_box(prefix, MSG_MAYBE_CORRUPT, YES_NO)
    prefix.press(box, answer)
    if answer == kpwine.IDNO:
        cancel_open_dialog(prefix, previous=box["hwnd"])
        equal(program.wait(timeout=20), 0, "exit code")
        return
    window = wait_main_window(prefix)
    check_main_window(window, image)
    close_and_wait(prefix, program, window)
    equal(settings(prefix).get("CharName"), ("REG_SZ", "サイズ違い"), "CharName")


@case(archs=BOTH)
def version_300_loads_without_checks(ctx):
    prefix = ctx.prefix()
    image = kpfile.build(version=300)
    image = kpfile.with_header_crc(kpfile.with_file_size(image, 12345), 0)
    path = prefix.write(r"C:\kp\old.kp", image)
    program = prefix.start(ctx.exe, [path])
    window = wait_main_window(prefix)
    check(prefix.wait_dialog(timeout=2.0) is None, "a dialog appeared for a version 300 file")
    check_main_window(window, image)
    close_and_wait(prefix, program, window)


# --- settings written at exit ---------------------------------------------------------------------

@case(archs=BOTH, params=[("ascii", "Walker"), ("japanese", "けるぽ")])
def exit_writes_settings(ctx):
    name = ctx.param
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\char.kp", kpfile.build(name=name, default_pattern=2, default_position=40))
    run_loaded(ctx, prefix, [path])
    values = settings(prefix)
    expected = {
        "DataName": ("REG_SZ", path),
        "CharName": ("REG_SZ", name),
        "AutoAnimation": ("REG_DWORD", 1),
        "TopMost": ("REG_DWORD", 0),
        "TransMode": ("REG_DWORD", 0),
        "Transparency": ("REG_DWORD", 100),
    }
    equal({k: values.get(k) for k in expected}, expected, "general settings")
    check("RandomMode" not in values, "RandomMode written at exit: %r" % (values.get("RandomMode"),))
    # Nothing stored yet for this character: its header's defaults are what the run used.
    equal(char_settings(prefix, name), dword_triple(40, 2, 0), "per-character settings")


# --- command line ---------------------------------------------------------------------------------

OPTION_CASES = [
    # label, options before the file, expected (Position, Pattern, Fixed)
    ("p50-n2-x1", ["-p50", "-n2", "-x1"], (50, 2, 1)),
    ("p250", ["-p250"], (100, 1, 0)),
    ("p-5", ["-p-5"], (0, 1, 0)),
    ("slash-upper-P30", ["/P30"], (30, 1, 0)),
    ("x2-N1", ["-x2", "-N1"], (50, 1, 2)),
]


@case(archs=BOTH, params=[(label, (opts, want)) for label, opts, want in OPTION_CASES])
def options_reach_saved_settings(ctx):
    options, (position, pattern, fixed) = ctx.param
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\opt.kp", kpfile.build(name="オプション", patterns=("一", "二", "三"),
                                                      default_pattern=1, default_position=50))
    run_loaded(ctx, prefix, options + [path])
    equal(char_settings(prefix, "オプション"), dword_triple(position, pattern, fixed), "saved settings")


@case(archs=BOTH)
def later_file_name_wins(ctx):
    prefix = ctx.prefix()
    first = prefix.write(r"C:\kp\first.kp", kpfile.build(name="First"))
    second = prefix.write(r"C:\kp\second.kp", kpfile.build(name="Second"))
    run_loaded(ctx, prefix, [first, second])
    values = settings(prefix)
    equal((values.get("DataName"), values.get("CharName")), (("REG_SZ", second), ("REG_SZ", "Second")),
          "DataName, CharName")


def _remember(prefix, path, name, position, pattern, fixed):
    prefix.reg_set(SETTINGS_KEY, "DataName", path)
    prefix.reg_set(SETTINGS_KEY, "CharName", name)
    for value, data in (("Position", position), ("Pattern", pattern), ("Fixed", fixed)):
        prefix.reg_set(char_key(name), value, data)


@case(archs=BOTH)
def ignore_option_discards_files_and_keeps_stored_values(ctx):
    prefix = ctx.prefix()
    remembered = prefix.write(r"C:\kp\remembered.kp", kpfile.build(name="覚えた"))
    given = prefix.write(r"C:\kp\given.kp", kpfile.build(name="Given"))
    _remember(prefix, remembered, "覚えた", 77, 2, 1)
    program = prefix.start(ctx.exe, ["-i", given])
    cancel_open_dialog(prefix)
    equal(program.wait(timeout=20), 0, "exit code")
    equal(char_settings(prefix, "覚えた"), dword_triple(77, 2, 1), "stored values of the remembered character")
    check(prefix.reg_list(char_key("Given")) is None, "a key was made for the discarded file's character")


@case(archs=BOTH)
def remembered_data_file_is_loaded(ctx):
    prefix = ctx.prefix()
    path = prefix.write(r"C:\kp\remembered.kp", kpfile.build(name="覚えた"))
    _remember(prefix, path, "覚えた", 20, 2, 1)
    run_loaded(ctx, prefix, [])
    values = settings(prefix)
    equal((values.get("DataName"), values.get("CharName")), (("REG_SZ", path), ("REG_SZ", "覚えた")),
          "DataName, CharName")
    equal(char_settings(prefix, "覚えた"), dword_triple(20, 2, 1), "per-character settings")


@case(archs=BOTH)
def random_option_picks_a_file_of_the_directory(ctx):
    prefix = ctx.prefix()
    names = {r"C:\kp\many\one.kp": "One", r"C:\kp\many\two.kp": "Two"}
    for path, name in names.items():
        prefix.write(path, kpfile.build(name=name))
    prefix.write(r"C:\kp\many\ignored.txt", kpfile.build(name="NotKp"))
    run_loaded(ctx, prefix, ["-r", r"C:\kp\many"])
    values = settings(prefix)
    data_name = values.get("DataName")
    check(data_name is not None and data_name[1] in names, "DataName %r is none of %r" % (data_name, names))
    equal(values.get("CharName"), ("REG_SZ", names[data_name[1]]), "CharName of the chosen file")


@case(archs=BOTH, params=[("quoted-whole", '"C:\\dir with blank\\a.kp"'),
                          ("quoted-part", 'C:\\"dir with blank"\\a.kp')])
def quoted_path_with_blank_loads(ctx):
    prefix = ctx.prefix()
    path = prefix.write(r"C:\dir with blank\a.kp", kpfile.build(name="Blank"))
    run_loaded(ctx, prefix, cmdline="-p10 " + ctx.param)
    equal(settings(prefix).get("DataName"), ("REG_SZ", path), "DataName")
    equal(char_settings(prefix, "Blank")["Position"], ("REG_DWORD", 10), "Position")


# --- reported Windows version ---------------------------------------------------------------------

VERSIONS = [
    ("nt40", ("nt40", {"platform": 2, "major": 4, "minor": 0})),
    ("win2k", ("win2k", {"platform": 2, "major": 5, "minor": 0})),
]


@case(archs=BOTH, params=VERSIONS)
def loads_under_reported_version(ctx):
    version, expected = ctx.param
    prefix = ctx.prefix(version=version)
    reported = prefix.version()
    equal({k: reported[k] for k in expected}, expected, "GetVersionEx in the prefix")
    image = kpfile.build(name="版", width=40, height=30)
    path = prefix.write(r"C:\kp\version.kp", image)
    window = run_loaded(ctx, prefix, [path])
    check_main_window(window, image)


@case(archs=BOTH, params=[("accent-cyrillic-korean", "C:\\kp\\café Дом\\캐릭터.kp"),
                          ("random-directory", "C:\\kp\\Ørsted Дом")])
def path_in_any_language_loads_and_reads_back(ctx):
    """Paths are not code page 932 text: é, Ø, Cyrillic and Korean reach the file system and the
    registry unchanged, and the remembered "DataName" opens the same file at the next start."""
    prefix = ctx.prefix()
    given = ctx.param
    path = given if given.endswith(".kp") else given + "\\ørsted.kp"
    image = kpfile.build(name="Unicode")
    path = prefix.write(path, image)
    window = run_loaded(ctx, prefix, ["-r", given] if given != path else [given])
    check_main_window(window, image)
    equal(settings(prefix).get("DataName"), ("REG_SZ", path), "DataName after the first run")
    run_loaded(ctx, prefix, [])
    equal(settings(prefix).get("DataName"), ("REG_SZ", path), "DataName after starting from it")
    equal(settings(prefix).get("CharName"), ("REG_SZ", "Unicode"), "CharName")
