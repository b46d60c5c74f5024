#!/usr/bin/env bash
# kptool preview end to end: tests/kptool/trace/walk.kps built with `kptool build`, previewed with
# trace options and the preview's own, the files and the summary line checked; then the exit
# statuses of the command line's failures (the cases themselves are in PreviewTest.cpp).
#   tests/kptool/test_preview.sh KPTOOL
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

# A 2 x 2 BMP of 8 bits per pixel, every pixel colour 1 (blue) of a red-and-blue colour table.
bmp() {
  printf 'BM\x46\x04\x00\x00\x00\x00\x00\x00\x36\x04\x00\x00'
  printf '\x28\x00\x00\x00\x02\x00\x00\x00\x02\x00\x00\x00\x01\x00\x08\x00'
  printf '\x00\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x00\x00\xff\x00\xff\x00\x00\x00'
  head -c 1016 /dev/zero
  printf '\x01\x01\x00\x00\x01\x01\x00\x00'
}

cp "$here/trace/walk.kps" "$dir/"
bmp >"$dir/cell.bmp"
if ! "$kptool" build "$dir/walk.kps" -o "$dir/walk.kp" >"$dir/build.log" 2>&1; then
  fail "build: $(cat "$dir/build.log")"
  echo "$passed passed, $failed failed"
  exit 1
fi

# The walk with its two clicks: steps at 0, 200, 250 (the click), 260, 460 and 660 ms.
out="$dir/out"
summary=$("$kptool" preview --duration 700 --clicks 250,650 --scale 2 --window region "$dir/walk.kp" -o "$out")
status=$?
want="6 frames in 700 ms: $out/frame-0000.png .. $out/frame-0005.png and $out/preview.gif"
if [ "$status" -eq 0 ] && [ "$summary" = "$want" ]; then pass; else fail "summary: [$summary], status $status"; fi
frames=$(cd "$out" && ls frame-*.png | tr '\n' ' ')
if [ "$frames" = "frame-0000.png frame-0001.png frame-0002.png frame-0003.png frame-0004.png frame-0005.png " ]; then
  pass
else
  fail "frame files: $frames"
fi
# PNG and GIF signatures, and the picture's size (16 x 16: the 8 x 8 window at scale 2).
if [ "$(head -c 8 "$out/frame-0000.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] &&
  [ "$(od -An -tu4 -j16 -N8 --endian=big "$out/frame-0000.png" | tr -s ' ')" = " 16 16" ]; then
  pass
else
  fail "frame-0000.png is not a 16 x 16 PNG"
fi
if [ "$(head -c 6 "$out/preview.gif")" = "GIF89a" ]; then pass; else fail "preview.gif is not a GIF89a"; fi
if [ "$(stat -c %a "$out/preview.gif")" = "$(stat -c %a "$out/frame-0000.png")" ]; then
  pass
else
  fail "preview.gif has permissions $(stat -c %a "$out/preview.gif"), the frames $(stat -c %a "$out/frame-0000.png")"
fi

: >"$dir/empty.kp"
expect_status 1 "missing file" "$kptool" preview "$dir/missing.kp" -o "$dir/o1"
expect_status 2 "empty file" "$kptool" preview "$dir/empty.kp" -o "$dir/o2"
expect_status 64 "no -o" "$kptool" preview "$dir/walk.kp"
expect_status 64 "bad --window" "$kptool" preview --window round "$dir/walk.kp" -o "$dir/o3"
expect_status 64 "bad trace option" "$kptool" preview --seed x "$dir/walk.kp" -o "$dir/o3"
expect_status 73 "output is a file" "$kptool" preview "$dir/walk.kp" -o "$dir/walk.kps"

finish
