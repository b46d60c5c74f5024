#!/usr/bin/env bash
# Decides once how this machine runs Windows programs under Wine, for the run script, the
# end-to-end tests and the cost measurement. It prints shell assignments, one a line:
#
#   KP_WINE_WIN32=1|0        1 when 32-bit Windows programs run here
#   KP_WINE=PATH             the Wine loader that starts programs and Wine's own tools
#                            (wineboot, reg, notepad): Debian's `wine`, or the 64-bit loader
#   KP_WINESERVER=PATH       the wineserver that goes with it
#   KP_WINE_MODE=win32+win64|win64
#   KP_WINE_REASON=TEXT      one line saying why
#
#   eval "$(scripts/wine-mode.sh)"
#
# Whether 32-bit programs run is tried, not guessed: the 32-bit Wine loader is started. A kernel
# booted with 32-bit emulation off refuses it ("Exec format error"), a 64-bit-only Wine has none,
# and Debian's `wine` wrappers always go through it once it is installed, so there every tool
# must be started through the 64-bit loader instead. KELPO32_NO_WIN32=1 forces that answer, so
# that the 64-bit-only path can be tried on any machine.
set -uo pipefail

wine32=${KP_WINE32_LOADER:-/usr/lib/wine/wine}
wine64=${KP_WINE64_LOADER:-/usr/lib/wine/wine64}
[ -x "$wine64" ] || wine64=$(command -v wine64 2>/dev/null || true)
server64=/usr/lib/wine/wineserver64
[ -x "$server64" ] || server64=$(command -v wineserver 2>/dev/null || echo wineserver)

# Quotes a value for the shell (and for Python's shlex).
emit() { # name value
  printf "%s=%q\n" "$1" "$2"
}

win32=0
if [ "${KELPO32_NO_WIN32:-0}" != "0" ] && [ -n "${KELPO32_NO_WIN32:-}" ]; then
  reason="KELPO32_NO_WIN32=$KELPO32_NO_WIN32 is set"
elif [ ! -e "$wine32" ]; then
  reason="there is no 32-bit Wine loader ($wine32)"
else
  out=$("$wine32" --version 2>&1)
  rc=$?
  if [ "$rc" -eq 0 ]; then
    win32=1
    reason="the 32-bit Wine loader runs ($out)"
  else
    why=$(tr '\n' ' ' <<<"$out" | sed -E 's/ +$//; s/.*: //')
    [ -n "$why" ] || why="exit status $rc"
    reason="the 32-bit Wine loader $wine32 cannot run here ($why"
    if [ "$rc" -eq 126 ]; then
      reason+="; the kernel refuses 32-bit programs, see ia32_emulation"
    fi
    reason+=")"
  fi
fi

if [ "$win32" -eq 1 ]; then
  emit KP_WINE_WIN32 1
  emit KP_WINE "$(command -v wine 2>/dev/null || echo "$wine32")"
  emit KP_WINESERVER "$(command -v wineserver 2>/dev/null || echo wineserver)"
  emit KP_WINE_MODE win32+win64
else
  emit KP_WINE_WIN32 0
  emit KP_WINE "${wine64:-wine64}"
  emit KP_WINESERVER "$server64"
  emit KP_WINE_MODE win64
fi
emit KP_WINE_REASON "$reason"
