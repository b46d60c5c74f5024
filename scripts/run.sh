#!/usr/bin/env bash
# Shows Kelpo32.exe under Wine. On the user's display (DISPLAY set) it runs until the user
# ends it; without a display it runs on a private Xvfb display for a few seconds, saves a
# screenshot, prints its path and stops.
#   scripts/run.sh [ARGS...]   arguments go to Kelpo32.exe (default: the demo character)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
export WINEDEBUG=-all
export WINEPREFIX="$root/build/run-prefix"
exe="$root/dist/win32/Kelpo32.exe"

prepare_prefix() {
  [ -f "$WINEPREFIX/.kelpo32-ready" ] && return
  echo "run: preparing the Wine prefix $WINEPREFIX (once)"
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  # Japanese dialog fonts: map the fonts Windows would use onto the IPA fonts.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /t REG_SZ /d 'IPAGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS Shell Dlg' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Tahoma' /t REG_SZ /d 'IPAPGothic' /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.kelpo32-ready"
}

args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  # Until the bundled character arrives, show the loader's question on a demo file whose
  # size field is wrong.
  demo="$root/build/run-demo"
  mkdir -p "$demo"
  "$root/build/native/tests/fixtures/make_fixtures" "$demo" >/dev/null
  args=("Z:${demo//\//\\}\\size302.kp")
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  prepare_prefix
  echo "run: Kelpo32.exe ${args[*]} on $DISPLAY (end it from its window, or press Ctrl+C)"
  trap 'wineserver -k 2>/dev/null || true' EXIT
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
wine "$exe" "${args[@]}" &
sleep "${RUN_SECONDS:-8}"
shot="$root/build/run-screenshot.png"
import -window root "$shot"
echo "run: screenshot saved to $shot"
