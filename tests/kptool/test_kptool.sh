#!/usr/bin/env bash
# kptool end to end: `kptool check` over every fixture (output and exit status, table-driven),
# usage errors, a few `kptool dump` lines, dump --source then build on every fixture that loads,
# build errors, the documented example, and check --lint.
#   tests/kptool/test_kptool.sh KPTOOL MAKE_FIXTURES
# Ends with "N passed, M failed"; exits non-zero when any case failed.
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 KPTOOL MAKE_FIXTURES" >&2
  exit 64
fi
kptool=$(realpath "$1")
make_fixtures=$(realpath "$2")
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
"$make_fixtures" "$dir" >/dev/null || { echo "make_fixtures failed"; exit 1; }

# The program's messages (LoadMessageText) on one line, with their number and gloss.
m1='データファイルが読み込めません。 (message 1: the file cannot be read)'
m2='データが破損しています。 (message 2: the data is damaged)'
m3='旧バージョンのデータです。ZAVOVOで変換して下さい。 (message 3: not a character file; the program calls it old-version data to be converted with ZAVOVO)'
m4='プログラムのバージョンが低いため、実行できません。 (message 4: the file needs a newer version of the program)'
m5='データが破損している可能性があります。 続けますか？ (message 5: the data may be damaged; continue?)'
m6='キャラクターの大きさが範囲外のため、表示できません。 (message 6: the window or the first cell is 0 pixels or larger than 4096 pixels, which the program cannot show)'
m5_2="$m5"$'\n'"answering Yes would give $m2"

expected_text() { # verdict -> the whole expected output
  case $1 in
    ok) printf '%s' ok ;;
    1) printf '%s' "$m1" ;;
    2) printf '%s' "$m2" ;;
    3) printf '%s' "$m3" ;;
    4) printf '%s' "$m4" ;;
    5) printf '%s' "$m5" ;;
    6) printf '%s' "$m6" ;;
    5+2) printf '%s' "$m5_2" ;;
  esac
}

# fixture  verdict (ok, a message number, or 5+2: the question, and Yes gives message 2)
read -r -d '' table <<'EOF'
good300.kp                          ok
good301.kp                          ok
good302.kp                          ok
good303.kp                          ok
japanese301.kp                      ok
longname300.kp                      ok
soundoutside301.kp                  ok
badcrc300.kp                        ok
size302.kp                          5
headercrc301.kp                     5
charcrc301.kp                       5
allbad303.kp                        5
empty.kp                            2
onebyte.kp                          3
badmagic.kp                         3
kponly.kp                           4
v304.kp                             4
zeropatterns301.kp                  2
corrupt-short-header.kp             2
corrupt-short-header-301.kp         5+2
corrupt-header-offset-huge.kp       2
corrupt-header-offset-huge-301.kp   5+2
corrupt-header-offset-small.kp      2
corrupt-menu-column-word.kp         2
corrupt-char-header-cut.kp          2
corrupt-pattern-table-past-end.kp   2
corrupt-pattern-record-outside.kp   2
corrupt-pattern-offset-huge.kp      2
corrupt-name-negative-length.kp     2
corrupt-name-past-end.kp            2
corrupt-name-empty-at-end.kp        2
corrupt-cells-offset-huge.kp        2
corrupt-cell-table-outside.kp       2
corrupt-cell0-outside.kp            2
corrupt-cell0-header-cut.kp         2
window4096.kp                       ok
window65535.kp                      6
window4097-301.kp                   6
cell0-wide.kp                       6
corrupt-colour-table-cut.kp         2
corrupt-sounds-offset-huge.kp       2
corrupt-sound-section-cut.kp        2
corrupt-sound-table-past-end.kp     2
EOF

check_case() { # label, verdict, kptool arguments...
  local label=$1 verdict=$2
  shift 2
  local out rc want want_rc
  out=$("$kptool" check "$@" 2>/dev/null)
  rc=$?
  want=$(expected_text "$verdict")
  case $verdict in ok) want_rc=0 ;; 5+2) want_rc=5 ;; *) want_rc=$verdict ;; esac
  if [ "$rc" -ne "$want_rc" ]; then
    fail "check $label: exit status $rc, expected $want_rc (output: $out)"
  elif [ "$out" != "$want" ]; then
    fail "check $label: output '$out', expected '$want'"
  else
    pass
  fi
}

# Every fixture that make_fixtures writes has a row, and every row a fixture.
listed=$("$make_fixtures" --list | awk '{print $1}' | sort)
tabled=$(awk 'NF {print $1}' <<<"$table" | sort)
if [ "$listed" = "$tabled" ]; then pass; else
  fail "fixture table and make_fixtures --list differ: $(diff <(echo "$listed") <(echo "$tabled") | tr '\n' ' ')"
fi

# ... and a line in tests/fixtures/README.md.
readme="$(dirname "$0")/../fixtures/README.md"
missing=$(while read -r name; do grep -qF "| $name |" "$readme" || echo "$name"; done <<<"$listed")
if [ -z "$missing" ]; then pass; else fail "fixtures missing from $readme: $missing"; fi

while read -r name verdict; do
  [ -n "$name" ] || continue
  check_case "$name" "$verdict" "$dir/$name"
done <<<"$table"

# Files that cannot be read: message 1.
check_case "a missing file" 1 "$dir/no-such-file.kp"
check_case "a directory" 1 "$dir"
cp "$dir/good301.kp" "$dir/unreadable.kp"
chmod 000 "$dir/unreadable.kp"
if [ "$(id -u)" -ne 0 ]; then check_case "an unreadable file" 1 "$dir/unreadable.kp"; fi
# "--" ends the options, so a file may start with a dash.
cp "$dir/good300.kp" "$dir/-dash.kp"
(cd "$dir" && check_case "-- then a file named with a dash" ok -- -dash.kp)

# Usage: no arguments, --help, unknown commands and options, the wrong number of files.
usage_case() { # label, expected status, arguments...
  local label=$1 want=$2
  shift 2
  local out rc
  out=$("$kptool" "$@" 2>&1)
  rc=$?
  if [ "$rc" -ne "$want" ]; then fail "$label: exit status $rc, expected $want"
  elif ! grep -q '^usage: kptool' <<<"$out"; then fail "$label: no usage text in '$out'"
  else pass; fi
}
usage_case "no arguments" 64
usage_case "--help" 0 --help
usage_case "check --help" 0 check --help
usage_case "unknown command" 64 frobnicate "$dir/good300.kp"
usage_case "unknown option" 64 check --bogus "$dir/good300.kp"
usage_case "unknown dump option" 64 dump --lint "$dir/good300.kp"
usage_case "check without a file" 64 check
usage_case "check with two files" 64 check "$dir/good300.kp" "$dir/good301.kp"

# dump: a few lines.
verdict_of() { # fixture -> its exit status from the table
  awk -v f="$1" '$1 == f { v = $2; sub(/\+2$/, "", v); print (v == "ok" ? 0 : v) }' <<<"$table"
}
dump_has() { # label, fixture, fixed text of a line that must appear; the status is the verdict's
  local label=$1 fixture=$2 line=$3 out rc
  out=$("$kptool" dump "$dir/$fixture" 2>&1)
  rc=$?
  if [ "$rc" -ne "$(verdict_of "$fixture")" ]; then fail "dump $fixture ($label): exit status $rc"
  elif ! grep -qxF -- "$line" <<<"$out"; then fail "dump $fixture ($label): no line '$line' in:"$'\n'"$out"
  else pass; fi
}
dump_has "Japanese name in UTF-8" japanese301.kp '  name: "テスト"'
dump_has "Japanese about text" japanese301.kp '  about: "テスト用のキャラクターです。"'
dump_has "Japanese pattern name, form A" japanese301.kp '  pattern 3: offset 148 (file offset 2306), name "手を振る"'
dump_has "plain pattern name, version 300" good300.kp '  pattern 2: offset 133 (file offset 2291), name "Walk"'
dump_has "pattern count" good301.kp '  pattern count: 3'
dump_has "patterns line" good301.kp 'patterns: 3 (numbered from 1, as the menu and the command line number them)'
dump_has "version" good303.kp '  version: 303 (size and both check values verified at load)'
dump_has "unchecked version" badcrc300.kp '  version: 300 (no checks at load)'
dump_has "header check" good301.kp '  header check: stored 0x183B, computed 0x183B (first 34 bits)'
dump_has "character header check" good301.kp '  header check: stored 0xED85, computed 0xED85 (116 bits)'
dump_has "broken character header check" charcrc301.kp '  header check: stored 0xEC84, computed 0xED85 (116 bits)'
dump_has "menu columns" good303.kp '  menu columns: 2'
dump_has "no menu columns" good301.kp '  menu columns: 0 (prefix size 4: no menu-column word)'
dump_has "sound count" good303.kp '  count: 2'
dump_has "sound RIFF length" good301.kp '  sound 0: offset 8 (file offset 2330), RIFF length 42'
dump_has "second sound" good303.kp '  sound 1: offset 60 (file offset 2470), RIFF length 40'
dump_has "cell 0 depth" good300.kp '    biBitCount: 8'
dump_has "cell 0 width" good300.kp '    biWidth: 32'
dump_has "colour table" good300.kp '  colour table at 106: 256 entries (the first 4 shown)'
dump_has "every cell" good303.kp '  cell 1: at 0,0, 4 x 4, 1 bits, plain'
dump_has "cell count" good303.kp 'cells: 2 (the table ends where cell 0'"'"'s record begins)'
dump_has "shortened cell table" corrupt-cell0-outside.kp \
  'cells: 67108862 (the table ends where cell 0'"'"'s record begins); shortened to the first 65536, the numbers a script can name'
dump_has "first colours" good300.kp '    1: red 1, green 1, blue 1'
dump_has "file size" size302.kp '  file size field: 2327 (actual size 2326)'
dump_has "long pattern name" longname300.kp \
  "  pattern 1: offset 116 (file offset 2274), name \"$(printf 'x%.0s' $(seq 255))\" (length 300, the menu reads 255)"
dump_has "sound outside" soundoutside301.kp '  sound 0: offset 15728640 (file offset 15730962), RIFF length outside the file'
dump_has "header offset outside" corrupt-header-offset-huge.kp '  name: outside the file'
dump_has "pattern count outside" corrupt-header-offset-huge.kp 'patterns: outside the file'
dump_has "pattern table outside" corrupt-pattern-table-past-end.kp '  patterns 104..60000: table entries outside the file'
dump_has "pattern record outside" corrupt-pattern-record-outside.kp \
  '  pattern 1: offset 16777215 (file offset 16779373), name outside the file'
dump_has "negative name length" corrupt-name-negative-length.kp '  pattern 1: offset 116 (file offset 2274), name "" (length -2)'
dump_has "cell 0 outside" corrupt-cell0-outside.kp '    biSize: outside the file'
dump_has "colour table cut" corrupt-colour-table-cut.kp '  colour table at 2384: 256 entries (cut: part of it is outside the file) (the first 4 shown)'
dump_has "sound table outside" corrupt-sound-table-past-end.kp '  sounds 0..4999: table entries outside the file'
dump_has "short file" corrupt-short-header.kp '  file size field: outside the file (actual size 30)'
dump_has "short file sections" corrupt-short-header.kp 'sections: outside the file (the file header is 36 bytes)'
dump_has "empty file" empty.kp '  magic: outside the file'
dump_has "one byte" onebyte.kp '  version: outside the file'
# A file that does not load: what could be read, then the verdict, and its status.
out=$("$kptool" dump "$dir/badmagic.kp" 2>&1)
rc=$?
if [ "$rc" -eq 3 ] && [ "$(tail -n1 <<<"$out")" = "verdict: $m3" ] && grep -q '^file header:' <<<"$out"; then pass
else fail "dump of a foreign file: $rc '$out'"; fi
out=$("$kptool" dump "$dir/no-such-file.kp" 2>&1)
rc=$?
if [ "$rc" -eq 1 ] && [ "$out" = "$m1" ]; then pass; else fail "dump of a missing file: $rc '$out'"; fi

# dump --source then build: every fixture that the program loads (answering Yes to the question
# included) comes back byte for byte.
while read -r name verdict; do
  case $verdict in ok | 5) ;; *) continue ;; esac
  src="$dir/src-$name"
  if ! "$kptool" dump "$dir/$name" --source "$src" >/dev/null 2>&1; then fail "dump --source $name"; continue; fi
  if ! "$kptool" build "$src/character.kps" -o "$dir/again-$name" 2>"$dir/err"; then
    fail "build of the source of $name: $(cat "$dir/err")"
  elif cmp -s "$dir/$name" "$dir/again-$name"; then pass
  else fail "dump --source then build of $name differs"; fi
done <<<"$table"
# A file that does not load gives no source.
out=$("$kptool" dump "$dir/corrupt-name-past-end.kp" --source "$dir/src-bad" 2>&1)
rc=$?
if [ "$rc" -eq 2 ] && grep -qF "$m2" <<<"$out" && [ ! -e "$dir/src-bad" ]; then pass
else fail "dump --source of a damaged file: $rc '$out'"; fi

# The complete example of docs/script-language.md builds, loads and lints clean, with pictures and
# a sound taken from the fixtures.
ex="$dir/example"
mkdir "$ex"
awk '/^```kps$/{f=1;next} /^```$/{f=0} f' "$(dirname "$0")/../../docs/script-language.md" >"$ex/walker.kps"
cp "$dir/src-good300.kp/cell0.bmp" "$ex/stand.bmp"
cp "$dir/src-good300.kp/cell0.bmp" "$ex/walk.bmp"
cp "$dir/src-good303.kp/cell1.bmp" "$ex/mask.bmp"
cp "$dir/src-good303.kp/sound0.wav" "$ex/hello.wav"
if "$kptool" build "$ex/walker.kps" -o "$ex/walker.kp" 2>"$dir/err"; then pass
else fail "the documented example does not build: $(cat "$dir/err")"; fi
out=$("$kptool" check --lint "$ex/walker.kp" 2>&1)
rc=$?
if [ "$rc" -eq 0 ] && [ "$out" = $'ok\nlint: no problems found' ]; then pass
else fail "check --lint of the documented example: $rc '$out'"; fi
dump_line() { # label, file, fixed text of a line that must appear in its dump
  if "$kptool" dump "$2" | grep -qxF -- "$3"; then pass; else fail "dump ($1): no line '$3'"; fi
}
dump_line "pattern name in the disassembly" "$ex/walker.kp" 'pattern "立つ"'
dump_line "label" "$ex/walker.kp" 'L35:'
dump_line "instruction with offset" "$ex/walker.kp" '        OP_IF VAL_CURSORX < 32 L56       # 38'

# build errors: SOURCE:LINE:COLUMN: error: message on stderr, exit 65, no file written.
build_error() { # label, expected first line of stderr, source text
  printf '%s' "$3" >"$ex/bad.kps"
  rm -f "$ex/bad.kp"
  local err rc
  err=$("$kptool" build "$ex/bad.kps" -o "$ex/bad.kp" 2>&1 >/dev/null)
  rc=$?
  if [ "$rc" -ne 65 ]; then fail "build error ($1): exit status $rc"
  elif [ "$(head -n1 <<<"$err")" != "$2" ]; then fail "build error ($1): '$err', expected '$2'"
  elif [ -e "$ex/bad.kp" ]; then fail "build error ($1): a file was written"
  else pass; fi
}
head=$'version 301\nname "T"\nwindow 32 32\ncell 0 "stand.bmp" at 0 0\n'
build_error "bad value" "$ex/bad.kps:6:11: error: OP_WAIT operand 1 (value): 40000 is above 32767, the largest literal (larger numbers come from variables; @0x8000 and up writes a stored word as it is)" \
  "$head"$'pattern "P"\n  OP_WAIT 40000\n'
build_error "missing picture" "$ex/bad.kps:5:8: error: cannot read the cell's picture \"none.bmp\"" \
  "$head"$'cell 1 "none.bmp" at 0 0\npattern "P"\n  OP_WAIT 1\n'
build_error "unknown label" "$ex/bad.kps:6:11: error: no label back in this pattern" "$head"$'pattern "P"\n  OP_GOTO back\n'
out=$("$kptool" build "$ex/no-such.kps" -o "$ex/x.kp" 2>&1)
rc=$?
if [ "$rc" -eq 66 ] && [ "$out" = "kptool: cannot read $ex/no-such.kps" ]; then pass; else fail "build of a missing source: $rc '$out'"; fi
"$kptool" build "$ex/walker.kps" >/dev/null 2>&1
rc=$?
if [ "$rc" -eq 64 ]; then pass; else fail "build without -o: exit status $rc, expected 64"; fi

# check --lint: problems, programs and sound files, and the exit status.
printf '%s' "$head"$'pattern "P"\n  OP_DRAW 7\n  OP_EXEC "notepad.exe readme.txt"\n  OP_PLAYFILE "chime.wav"\n  OP_WAIT 100\n  OP_GOTO 99\n' >"$ex/lint.kps"
# The same problems at build time: warnings at their source lines, exit status 0; --strict: 65.
err=$("$kptool" build "$ex/lint.kps" -o "$ex/lint.kp" 2>&1)
rc=$?
if [ "$rc" -eq 0 ] && [ "$(grep -c ': warning: ' <<<"$err")" -eq 2 ] &&
  [ "$(head -n1 <<<"$err")" = "$ex/lint.kps:6:11: warning: cell 7 is past the cell table (1 entry)" ]; then pass
else fail "build with lint warnings: $rc '$err'"; fi
expect_status 65 "build --strict with lint warnings" "$kptool" build --strict "$ex/lint.kps" -o "$dir/strict.kp"
out=$("$kptool" check --lint "$ex/lint.kp")
rc=$?
want='ok
problem: pattern 1 "P" offset 5: cell 7 is past the cell table (1 entry)
    5: OP_DRAW 7
problem: pattern 1 "P" offset 50: jump target 99 is outside the pattern (55 bytes)
    50: OP_GOTO 99
starts program: pattern 1 "P" offset 8: "notepad.exe readme.txt"
plays sound file: pattern 1 "P" offset 34: "chime.wav"
lint: 2 problems found'
if [ "$rc" -eq 10 ] && [ "$out" = "$want" ]; then pass; else fail "check --lint with problems: $rc '$out'"; fi
out=$("$kptool" check --lint "$dir/soundoutside301.kp")
rc=$?
if [ "$rc" -eq 10 ] && grep -qxF 'problem: sound 0: no RIFF WAVE image at its offset (it lies outside the file)' <<<"$out"; then pass
else fail "check --lint soundoutside301.kp: $rc '$out'"; fi
out=$("$kptool" check --lint "$dir/size302.kp")
rc=$?
if [ "$rc" -eq 5 ] && [ "$(tail -n1 <<<"$out")" = "lint: no problems found" ]; then pass; else fail "check --lint size302.kp: $rc '$out'"; fi
out=$("$kptool" check --lint "$dir/corrupt-name-past-end.kp")
rc=$?
if [ "$rc" -eq 2 ] && [ "$out" = "$m2" ]; then pass; else fail "check --lint of a damaged file: $rc '$out'"; fi

# A file that would start a program or play a sound file by name, and nothing else: 11.
printf '%s' "$head"$'pattern "P"\n  OP_EXEC "notepad.exe"\n  OP_WAIT 100\n  OP_GOTO 0\n' >"$ex/exec.kps"
"$kptool" build "$ex/exec.kps" -o "$ex/exec.kp"
expect_status 11 "check --lint of a file that starts a program" "$kptool" check --lint "$ex/exec.kp"

# Nothing overwritten: an output that is the source or one of its pictures is refused (73) and
# left as it was; dump --source replaces an existing source only with --force.
cp "$ex/stand.bmp" "$dir/stand-before.bmp"
cp "$ex/walker.kps" "$dir/walker-before.kps"
expect_status 73 "build -o onto its source" "$kptool" build "$ex/walker.kps" -o "$ex/walker.kps"
expect_status 73 "build -o onto a picture (another spelling)" "$kptool" build "$ex/walker.kps" -o "$ex/../example/stand.bmp"
if cmp -s "$ex/stand.bmp" "$dir/stand-before.bmp" && cmp -s "$ex/walker.kps" "$dir/walker-before.kps"; then pass
else fail "a refused build changed its inputs"; fi
expect_status 73 "dump --source into an existing source" "$kptool" dump "$ex/walker.kp" --source "$dir/src-good300.kp"
expect_status 0 "dump --source --force" "$kptool" dump "$ex/walker.kp" --source "$dir/src-good300.kp" --force

# File names in UTF-8 are opened by that name: the same pictures under Japanese names build the
# same file.
sed -e 's/"stand.bmp"/"ぷるん 絵.bmp"/' -e 's/"hello.wav"/"こんにちは.wav"/' "$ex/walker.kps" >"$ex/jp.kps"
cp "$ex/stand.bmp" "$ex/ぷるん 絵.bmp"
cp "$ex/hello.wav" "$ex/こんにちは.wav"
if "$kptool" build "$ex/jp.kps" -o "$ex/jp.kp" 2>"$dir/err" && cmp -s "$ex/jp.kp" "$ex/walker.kp"; then pass
else fail "Japanese file names: $(cat "$dir/err")"; fi
err=$("$kptool" build "$ex/jp.kps" -o "$ex/jp.kp" 2>&1 >/dev/null; rm "$ex/ぷるん 絵.bmp"; "$kptool" build "$ex/jp.kps" -o "$ex/jp2.kp" 2>&1)
if [ "$(head -n1 <<<"$err")" = "$ex/jp.kps:9:8: error: cannot read the cell's picture \"ぷるん 絵.bmp\"" ]; then pass
else fail "a missing Japanese file name is printed as written: '$err'"; fi

# Warnings at build time leave the status 0; --strict makes them errors.
printf '%s' "$head"$'cell 1 "mask.bmp" at 4 4 mask-runs\npattern "P"\n  OP_WAIT 100\n  OP_GOTO 0\n' >"$ex/warn.kps"
err=$("$kptool" build "$ex/warn.kps" -o "$ex/warn.kp" 2>&1)
rc=$?
if [ "$rc" -eq 0 ] && [ "$(head -n1 <<<"$err")" = "$ex/warn.kps:5:22: warning: mask cell 1 is placed at 4,4, but a window shape always starts at the window's corner (0,0)" ]; then pass
else fail "build with a warning: $rc '$err'"; fi
err=$("$kptool" build --strict "$ex/warn.kps" -o "$ex/warn.kp" 2>&1)
rc=$?
if [ "$rc" -eq 65 ] && grep -q "^$ex/warn.kps:5:22: error: mask cell 1" <<<"$err"; then pass
else fail "build --strict with a warning: $rc '$err'"; fi

# The worked example of docs/FILE-FORMAT.md: its source, built with a 4 x 2 1-bit picture, gives
# the very bytes of its hex dump.
ff="$(dirname "$0")/../../docs/FILE-FORMAT.md"
awk '/^```$/{n++; next} n==1' "$ff" >"$ex/tiny.kps"
printf 'BM\x46\0\0\0\0\0\0\0\x3e\0\0\0\x28\0\0\0\x04\0\0\0\x02\0\0\0\x01\0\x01\0\0\0\0\0\x08\0\0\0%b\0\0\0\0\xff\xff\xff\0\x90\0\0\0\x60\0\0\0' \
  '\0\0\0\0\0\0\0\0\x02\0\0\0\0\0\0\0' >"$ex/c.bmp"
"$kptool" build "$ex/tiny.kps" -o "$ex/tiny.kp" 2>/dev/null
want=$(awk '/^```$/{n++; next} n==3' "$ff" | cut -c11-49 | tr -d ' \n')
got=$(od -An -v -tx1 "$ex/tiny.kp" | tr -d ' \n')
if [ -n "$want" ] && [ "$got" = "$want" ]; then pass; else fail "FILE-FORMAT.md's worked example: $got"; fi

# trace: every event on one line, the question's text with its gloss.
out=$("$kptool" trace --duration 0 "$dir/size302.kp")
if [ "$(head -n1 <<<"$out")" = "       0  message: $m5" ] && ! grep -qv '^ *[0-9]*  ' <<<"$out"; then pass
else fail "trace of a file that may be damaged: '$out'"; fi

# The help text carries the exit status table, and the README the same table.
"$kptool" --help | sed -n '/^exit statuses/,$p' | tail -n +2 >"$dir/help-table"
readme_md="$(dirname "$0")/../../README.md"
sed -n '/^kptool exit statuses/,/^Each load verdict/p' "$readme_md" | sed -n '/^    /s/^    //p' >"$dir/readme-table"
if [ -s "$dir/help-table" ] && cmp -s "$dir/help-table" "$dir/readme-table"; then pass
else fail "README's exit status table differs from --help: $(diff "$dir/help-table" "$dir/readme-table")"; fi

finish
