#!/usr/bin/env bash
# The bundled character samples/kelpo: it builds, loads and lints clean, dump --source gives it
# back byte for byte, its pictures and sounds are what make_assets.py draws, and its patterns do
# what samples/README.md says (checked with kptool trace).
#   tests/kptool/test_sample.sh KPTOOL
# Ends with "N passed, M failed"; exits non-zero when any case failed.
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 KPTOOL" >&2
  exit 64
fi
kptool=$(realpath "$1")
sample=$(realpath "$(dirname "$0")/../../samples/kelpo")
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
kp="$dir/kelpo.kp"

if "$kptool" build "$sample/kelpo.kps" -o "$kp" 2>"$dir/err"; then pass
else
  fail "samples/kelpo/kelpo.kps does not build: $(cat "$dir/err")"
  echo "$passed passed, $failed failed"
  exit 1
fi

out=$("$kptool" check --lint "$kp" 2>&1)
rc=$?
if [ "$rc" -eq 0 ] && [ "$out" = $'ok\nlint: no problems found' ]; then pass
else fail "check --lint of the sample: $rc '$out'"; fi

if "$kptool" dump "$kp" --source "$dir/src" >/dev/null 2>&1 &&
   "$kptool" build "$dir/src/character.kps" -o "$dir/again.kp" 2>"$dir/err" && cmp -s "$kp" "$dir/again.kp"; then pass
else fail "dump --source then build of the sample differs: $(cat "$dir/err")"; fi

dump=$("$kptool" dump "$kp")
dump_has() { # label, fixed text of a line that must appear in the dump
  if grep -qxF -- "$2" <<<"$dump"; then pass; else fail "dump ($1): no line '$2'"; fi
}
dump_has "checked version" '  version: 301 (size and both check values verified at load)'
dump_has "name" '  name: "ケルポ"'
dump_has "menu columns" '  menu columns: 4'
dump_has "canvas holds the balloon and the pictures" '  canvas width: 128'
dump_has "canvas height" '  canvas height: 96'
dump_has "two sounds" '  count: 2'
names=$(grep -oE '^  pattern [0-9]+: .*name "[^"]*"' <<<"$dump" | sed -E 's/.*name "([^"]*)"/\1/' | tr '\n' ' ')
if [ "$names" = "待機 歩く ジャンプ あいさつ ついてくる おやすみ なでる " ]; then pass
else fail "pattern names: '$names'"; fi

# The committed pictures and sounds are the generator's output, and the source names them all.
if command -v python3 >/dev/null 2>&1; then
  if python3 "$sample/make_assets.py" "$dir/art" 2>"$dir/err"; then
    bad=$(cd "$dir/art" && for f in *; do cmp -s "$f" "$sample/$f" || echo "$f"; done)
    if [ -z "$bad" ]; then pass; else fail "make_assets.py draws other files than are committed: $bad"; fi
    named=$(grep -oE '^(cell|sound) [0-9]+ "[^"]+"' "$sample/kelpo.kps" | sed -E 's/.*"(.*)"/\1/' | sort)
    made=$(cd "$dir/art" && ls | sort)
    if [ "$named" = "$made" ]; then pass
    else fail "kelpo.kps and make_assets.py disagree on the files: $(diff <(echo "$named") <(echo "$made") | tr '\n' ' ')"; fi
  else
    fail "make_assets.py failed: $(cat "$dir/err")"
  fi
fi

# Behaviour, through kptool trace.
trace() { "$kptool" trace "$kp" "$@" 2>&1; }
has() { # label, trace output, an event that must occur (its text after the time)
  if sed -E 's/^ *[0-9]+  //' <<<"$2" | grep -xF -- "$3" >/dev/null; then pass
  else fail "$1: no event '$3' in:"$'\n'"$(head -n 40 <<<"$2")"; fi
}
lacks() { # label, trace output, extended regular expression no event may match
  if grep -qE -- "^ *[0-9]+  $3" <<<"$2"; then fail "$1: an event matches '$3'"; else pass; fi
}

# The greeting: the very first run says hello first, then the greeting of the hour.
for when in "03:30 まだおきてるの？" "08:00 おはよう！" "13:15 こんにちは！" "20:45 こんばんは！"; do
  t=$(trace --pattern 4 --clock "2026-12-09T${when% *}:00" --duration 7000)
  has "greeting at ${when% *}" "$t" "text at 10,8 \"${when#* }\""
done
has "first greeting" "$t" 'text at 10,8 "はじめまして！"'
has "visits counted" "$t" 'setting "Visits" written: 1'
has "greeting back to idle" "$t" 'pattern 1 "待機"'
# The idle pattern starts with the greeting.
t=$(trace --duration 1000)
has "idle greets first" "$t" 'pattern 4 "あいさつ"'

# A click: the chirp, the pat count in the settings and on screen, then back to the pattern.
t=$(trace --pattern 2 --duration 6000 --clicks 1000)
has "click reaction" "$t" 'pattern 7 "なでる"'
has "chirp" "$t" 'sound 0 (2250 bytes)'
has "pats counted" "$t" 'setting "Pats" written: 1'
has "pats shown" "$t" 'text at 62,8 "1"'
has "pats text" "$t" 'text at 68,8 "回め！"'
if [ "$(grep -oE 'pattern [0-9]+ "[^"]*"' <<<"$t" | tail -n 1)" = 'pattern 2 "歩く"' ]; then pass
else fail "after the click reaction the walk does not go on"; fi
t=$(trace --pattern 7 --duration 3000)
lacks "a run that starts with the reaction counts no pat" "$t" 'setting "Pats"'
clicks=$(seq -s, 1000 100 13000) # 121 clicks
t=$(trace --pattern 1 --auto off --duration 15000 --clicks "$clicks")
has "121st pat" "$t" 'setting "Pats" written: 121'
for digit in '62,8 "1"' '68,8 "2"' '74,8 "1"' '80,8 "回め！"'; do
  has "three digits" "$t" "text at $digit"
done
clicks=$(seq -s, 1000 20 21000) # 1001 clicks
t=$(trace --pattern 7 --auto off --duration 22000 --clicks "$clicks")
has "the count stops at 999" "$t" 'setting "Pats" written: 999'
lacks "no count above 999" "$t" 'setting "Pats" written: 1000'

# Automatic animation off: the idle pattern stays; on, it goes for walks and hops.
t=$(trace --auto off --cursor 500,500 --duration 300000)
lacks "no outings with automatic animation off" "$t" 'pattern [2-7] '
t=$(trace --cursor 500,500 --duration 300000)
has "walks on its own" "$t" 'pattern 2 "歩く"'
has "hops on its own" "$t" 'pattern 3 "ジャンプ"'
lacks "no sleep by day" "$t" 'pattern 6 '
t=$(trace --cursor 500,500 --clock 2026-12-09T02:00:00 --duration 300000)
has "sleeps at night" "$t" 'pattern 6 "おやすみ"'

# The walk steps the position; the hop lifts the window and lands with a pop.
t=$(trace --pattern 2 --seed 3 --duration 3000)
positions=$(grep -oE 'position [0-9]+' <<<"$t" | sort -u | wc -l)
if [ "$positions" -ge 10 ]; then pass; else fail "the walk visits $positions positions in 3 s"; fi
t=$(trace --pattern 3 --duration 2000)
has "hop rises" "$t" 'offset y 100'
has "hop lands" "$t" 'sound 1 (1036 bytes)'
lacks "hop never sinks below the title bar" "$t" 'offset y ([0-8]?[0-9]|9[0-3])$'

# The cursor: idle looks toward it, follow walks toward it.
t=$(trace --pattern 1 --auto off --cursor -20,40 --duration 3000)
has "looks left" "$t" 'draw cell 3 at 32,32'
lacks "not right" "$t" 'draw cell 4 '
t=$(trace --pattern 1 --auto off --cursor 120,40 --duration 3000)
has "looks right" "$t" 'draw cell 4 at 32,32'
t=$(trace --pattern 5 --position 0 --cursor 400,40 --duration 2000)
has "follows to the right" "$t" 'position 10'
lacks "never to the left" "$t" 'draw cell [56] '

finish
