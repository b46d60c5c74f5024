#!/usr/bin/env bash
# scripts/wine-mode.sh: its answer for each kind of machine, with stand-in loaders, so that it runs
# the same whether or not this machine runs 32-bit programs. Prints "N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# A loader that runs, and one the kernel refuses: an ELF marked for another processor, which
# fails with "Exec format error" exactly as a 32-bit program does where 32-bit emulation is off.
printf '#!/bin/sh\necho "wine-stand-in 1.0"\n' >"$tmp/runs" && chmod +x "$tmp/runs"
cp "$(type -P true)" "$tmp/refused"
printf '\x28' | dd of="$tmp/refused" bs=1 seek=18 conv=notrunc status=none

passed=0
failed=0
# name, expected KP_WINE_WIN32, expected text in KP_WINE_REASON, environment...
expect() {
  local name=$1 win32=$2 reason=$3
  shift 3
  local out
  out=$(env "$@" "$root/scripts/wine-mode.sh")
  local KP_WINE_WIN32="" KP_WINE_REASON="" KP_WINE_MODE="" KP_WINE="" KP_WINESERVER=""
  eval "$out"
  local mode=win64
  [ "$win32" = 0 ] || mode=win32+win64
  if [ "$KP_WINE_WIN32" = "$win32" ] && [ "$KP_WINE_MODE" = "$mode" ] && [[ $KP_WINE_REASON == *"$reason"* ]] &&
    [ -n "$KP_WINE" ]; then
    passed=$((passed + 1))
    echo "PASS $name"
  else
    failed=$((failed + 1))
    echo "FAIL $name: got"
    echo "$out" | sed 's/^/    /'
  fi
}

expect runs 1 "loader runs (wine-stand-in 1.0)" KELPO32_NO_WIN32= KP_WINE32_LOADER="$tmp/runs"
expect forced-off 0 "KELPO32_NO_WIN32=1 is set" KELPO32_NO_WIN32=1 KP_WINE32_LOADER="$tmp/runs"
expect forced-zero-is-not-forced 1 "loader runs" KELPO32_NO_WIN32=0 KP_WINE32_LOADER="$tmp/runs"
expect kernel-refuses 0 "Exec format error; the kernel refuses 32-bit programs" KELPO32_NO_WIN32= \
  KP_WINE32_LOADER="$tmp/refused"
expect no-loader 0 "there is no 32-bit Wine loader" KELPO32_NO_WIN32= KP_WINE32_LOADER="$tmp/missing"
# Where 32-bit programs cannot run, nothing may go through Debian's wrappers.
out=$(env KELPO32_NO_WIN32=1 KP_WINE64_LOADER="$tmp/runs" "$root/scripts/wine-mode.sh")
if grep -qx "KP_WINE=$tmp/runs" <<<"$out"; then
  passed=$((passed + 1)); echo "PASS 64-bit-loader"
else
  failed=$((failed + 1)); echo "FAIL 64-bit-loader: $out"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
