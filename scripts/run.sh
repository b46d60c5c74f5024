#!/usr/bin/env bash
# Shows Kelpo32.exe under Wine. On the user's display (DISPLAY set) it runs until the user
# ends it; without a display it runs on a private Xvfb display for a few seconds, saves a
# screenshot, prints its path and stops.
#   scripts/run.sh [ARGS...]   arguments go to Kelpo32.exe (default: the bundled sample)
# Notepad is started first, so that the character has a title bar to stand on.
# Where Wine cannot run 32-bit programs (scripts/wine-mode.sh) the 64-bit build runs, and every
# Wine tool is started through the 64-bit loader.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
export WINEDEBUG=-all
export WINEPREFIX="$root/build/run-prefix"
eval "$(scripts/wine-mode.sh)"
export WINESERVER="$KP_WINESERVER"
if [ "$KP_WINE_WIN32" = 1 ]; then
  exe="$root/dist/win32/Kelpo32.exe"
  echo "run: the 32-bit build dist/win32/Kelpo32.exe runs: $KP_WINE_REASON"
else
  exe="$root/dist/win64/Kelpo32.exe"
  export WINELOADER="$KP_WINE"
  echo "run: the 64-bit build dist/win64/Kelpo32.exe runs, as this Wine cannot run 32-bit programs: $KP_WINE_REASON"
fi
wine() { "$KP_WINE" "$@"; }
wineserver() { "$KP_WINESERVER" "$@"; }

prepare_prefix() {
  # A prefix made by the 64-bit loader alone lacks what 32-bit programs need, and one made
  # through the 32-bit loader is not what a 64-bit-only machine makes: each kind has its own.
  [ "$(cat "$WINEPREFIX/.kelpo32-ready" 2>/dev/null)" = "$KP_WINE_MODE" ] && return
  echo "run: preparing the Wine prefix $WINEPREFIX for $KP_WINE_MODE (once)"
  if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
  rm -rf "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
  # Japanese dialog fonts: map the fonts Windows would use onto the IPA fonts.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /t REG_SZ /d 'IPAGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Shell Dlg' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Tahoma' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  wineserver -w
  echo "$KP_WINE_MODE" >"$WINEPREFIX/.kelpo32-ready"
}

args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  # The bundled sample character.
  sample="$root/dist/samples/kelpo.kp"
  args=("Z:${sample//\//\\}")
fi

# A window for the character to stand on: it takes the title bar of the active window.
start_target() {
  # Below the top of the screen: a window whose top is at the screen's top hides the character.
  local v
  for v in "iWindowPosX 160" "iWindowPosY 240" "iWindowPosDX 640" "iWindowPosDY 360"; do
    wine reg add 'HKCU\Software\Microsoft\Notepad' /v "${v% *}" /t REG_DWORD /d "${v#* }" /f >/dev/null 2>&1
  done
  wine notepad >/dev/null 2>&1 &
  sleep 2
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  prepare_prefix
  echo "run: Kelpo32.exe ${args[*]} on $DISPLAY (end it from its window, or press Ctrl+C)"
  trap 'wineserver -k 2>/dev/null || true' EXIT
  # A real display has a window manager: let it manage Wine's windows again.
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
  start_target
  wine "$exe" "${args[@]}"
  exit 0
fi

# No display: a private Xvfb on a free display number.
n=70
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=":$n"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
prepare_prefix
# Without a window manager nothing places the target: Managed=N keeps Wine from waiting for one.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
start_target
wine "$exe" "${args[@]}" &
sleep "${RUN_SECONDS:-8}"
shot="$root/build/run-screenshot.png"
import -window root "$shot"
echo "run: screenshot saved to $shot"
