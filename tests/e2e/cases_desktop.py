"""Kelpo32.exe on a Wine reporting a recent Windows: Wine 8's answers to the compositor and shell
queries must change nothing, and "FullScreenHide" is read but never written."""

from cases_window import SETTINGS_KEY, close, install, placed_at, start_character, start_target, wait_for
from harness import BOTH, case, equal

# Wine 8 reports composition on for "win81" and "win10" (its frame query fails all the same); the
# program asks neither library on "winxp".
SETTINGS = [
    ("win81-unset", ("win81", None)),
    ("win10-off", ("win10", 0)),
    ("winxp-on", ("winxp", 1)),
]


@case(archs=BOTH, params=SETTINGS)
def fullscreen_hide_setting_keeps_placement_and_is_not_written(ctx):
    version, stored = ctx.param
    prefix = ctx.prefix(version=version)
    if stored is not None:
        prefix.reg_set(SETTINGS_KEY, "FullScreenHide", stored)
    path = install(ctx, prefix, "全画面")
    program, window = start_character(ctx, prefix, path, ["-p25"])
    target = start_target(prefix, (100, 200, 500, 400))
    # Free width 400 - 40 = 360; position 25: x = 100 + 90, on the window's own rectangle.
    wait_for(prefix, "placed on the target", placed_at(190, 200))
    prefix.probe("move", target, 60, 300, 360, 500)
    wait_for(prefix, "followed the target", placed_at(60 + 65, 300))
    close(prefix, program, window)
    expected = None if stored is None else ("REG_DWORD", stored)
    equal(prefix.reg_get(SETTINGS_KEY, "FullScreenHide"), expected, "FullScreenHide after the run")
