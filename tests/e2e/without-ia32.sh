#!/usr/bin/env bash
# Runs a command as on a machine whose kernel refuses 32-bit programs (booted with
# ia32_emulation=off): in a private mount namespace, the 32-bit Wine loader and wineserver are
# replaced by copies marked for another processor, which the kernel refuses with "Exec format
# error" (exit status 126), exactly as it refuses every 32-bit program there. Needs root (or
# sudo) for the mount namespace; nothing outside the command sees the change.
#   tests/e2e/without-ia32.sh make run
#   tests/e2e/without-ia32.sh scripts/wine-mode.sh
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mounts=""
for f in /usr/lib/wine/wine /usr/lib/wine/wineserver32; do
  [ -e "$f" ] || continue
  cp "$f" "$dir/${f##*/}"
  # e_machine (offset 18) := 0x28 (ARM): a valid ELF header this kernel will not run.
  printf '\x28' | dd of="$dir/${f##*/}" bs=1 seek=18 conv=notrunc status=none
  mounts+="mount --bind '$dir/${f##*/}' '$f' && "
done
exec $sudo unshare -m -- bash -c "${mounts}"'cd "$0" && exec "$@"' "$(pwd)" "$@"
