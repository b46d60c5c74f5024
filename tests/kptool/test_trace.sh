#!/usr/bin/env bash
# kptool trace end to end: every tests/kptool/trace/*.kps is built with `kptool build` (its cells
# from one small BMP made here), traced with the options of its "# trace-options:" line, and the
# output compared with its "# expect:" lines. Then the exit statuses of files it cannot run and
# of bad options.
#   tests/kptool/test_trace.sh KPTOOL
# Ends with "N passed, M failed"; exits non-zero when any case failed.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 KPTOOL" >&2
  exit 64
fi
kptool=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

# A 2 x 2 BMP of 8 bits per pixel, every pixel colour 1 of a black colour table.
bmp() {
  printf 'BM\x46\x04\x00\x00\x00\x00\x00\x00\x36\x04\x00\x00'
  printf '\x28\x00\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x08\x00'
  printf '\x00\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00'
  head -c 1024 /dev/zero
  printf '\x01\x01\x00\x00\x01\x01\x00\x00'
}

for source in "$here"/trace/*.kps; do
  name=$(basename "$source" .kps)
  work="$dir/$name"
  mkdir -p "$work"
  cp "$source" "$work/"
  bmp >"$work/cell.bmp"
  if ! "$kptool" build "$work/$name.kps" -o "$work/$name.kp" >"$work/build.log" 2>&1; then
    fail "$name: build: $(cat "$work/build.log")"
    continue
  fi
  read -r -a options <<<"$(sed -n 's/^# trace-options: //p' "$source")"
  sed -n 's/^# expect: //p' "$source" >"$work/expected"
  "$kptool" trace "${options[@]}" "$work/$name.kp" >"$work/actual" 2>&1
  status=$?
  if [ "$status" -ne 0 ]; then
    fail "$name: exit status $status"
  elif diff -u "$work/expected" "$work/actual" >"$work/diff"; then
    pass
  else
    fail "$name: trace differs:"
    cat "$work/diff"
  fi
done

# Exit statuses: an unreadable file, a file the program refuses, and option values that do not fit.
printf 'KP' >"$dir/short.kp"
expect_status 1 "missing file" "$kptool" trace "$dir/missing.kp"
expect_status 4 "refused file (the status check gives it)" "$kptool" trace "$dir/short.kp"
if "$kptool" trace --position 70 --cursor 2,3 --duration 0 "$dir/start/start.kp" | grep -qx '       0  position 70'; then pass
else fail "--position 70 does not start at 70"; fi
expect_status 64 "bad --position" "$kptool" trace --position 101 "$dir/start/start.kp"
expect_status 64 "bad --seed" "$kptool" trace --seed x "$dir/walk/walk.kp"
expect_status 64 "bad --clock" "$kptool" trace --clock 2001-02-30T00:00:00 "$dir/walk/walk.kp"
expect_status 64 "unknown option" "$kptool" trace --frames 3 "$dir/walk/walk.kp"
expect_status 0 "every option" "$kptool" trace --pattern 0 --duration 100 --seed 5 \
  --clock "2001-01-01 00:00:00.250" --cursor -3,4 --clicks 10,20 --auto on "$dir/walk/walk.kp"

finish
