#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and `make run` need, and nothing
# when all of them are present already.
set -euo pipefail

packages=(
  cmake ninja-build make g++ clang libclang-rt-14-dev clang-format python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libgif-dev libfreetype-dev
  gcc-mingw-w64-i686-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
  gcc-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  wine wine64 wine32:i386
  xvfb xdotool x11-utils imagemagick fonts-ipafont-gothic
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# A mirror in mid-sync makes `apt-get update` fail for one index now and then: try again, and go on
# with the lists we have if it keeps failing, since the install below tells whether they suffice.
for attempt in 1 2 3; do
  if $sudo apt-get update -q; then break; fi
  echo "deps: apt-get update failed (attempt $attempt)" >&2
  sleep $((attempt * 5))
done
install() { # packages...
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@"
}

# When one architecture's index could not be fetched, the two architectures' candidates of a
# Multi-Arch: same library differ (amd64 from the fresh security index, i386 from the main one)
# and apt refuses the i386 packages. The pins below hold the amd64 side of every such library
# that the i386 packages need at the version that i386 can have, together with the installed
# packages of the same version that depend on it exactly (libpng-dev on libpng16-16, say), so
# that nothing is removed.
multiarch_pins() { # i386 packages...
  local closure skewed p v r
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "$@" 2>/dev/null | grep -E '^[a-z0-9]' | sed 's/:i386$//' | sort -u)
  # "name i386-candidate" for every library of the closure whose amd64 candidate differs.
  skewed=$(for p in $closure; do echo "$p:i386" "$p:amd64"; done | xargs apt-cache policy 2>/dev/null |
    awk '/^[^ ]/{sub(/:$/, ""); name=$0; if (name !~ /:(i386|amd64)$/) name=name ":amd64"} /Candidate:/{cand[name]=$2}
      END{for (n in cand) if (n ~ /:i386$/) {b=substr(n, 1, length(n)-5);
        if (cand[n] != "(none)" && (b ":amd64") in cand && cand[b ":amd64"] != "(none)" &&
            cand[b ":amd64"] != cand[n]) print b, cand[n]}}')
  [ -n "$skewed" ] || return 0
  # Hold each skewed library, and every installed amd64 package built from the same source
  # (its -dev package, say) that is available at that version too.
  local installed siblings
  installed=$(dpkg-query -W -f='${Package} ${Architecture} ${source:Package}\n' 2>/dev/null)
  siblings=$(awk 'NR==FNR{want[$1]=$2; next} $2=="amd64" || $2=="all"{src[$1]=$3}
    END{for (p in want) if (p in src) for (q in src) if (src[q]==src[p]) print q, want[p]}' \
    <(echo "$skewed") <(echo "$installed") | sort -u)
  [ -n "$siblings" ] || return 0
  awk '{print $1}' <<<"$siblings" | xargs apt-cache madison 2>/dev/null |
    awk -F'|' 'NR==FNR{split($0, a, " "); want[a[1]]=a[2]; next}
      {gsub(/ /, "", $1); gsub(/ /, "", $2); if ($1 in want && want[$1]==$2) print $1 ":amd64=" $2}' \
      <(echo "$siblings") - | sort -u
}

native=()
foreign=()
for p in "${missing[@]}"; do
  if [[ $p == *:i386 ]]; then foreign+=("$p"); else native+=("$p"); fi
done
[ ${#native[@]} -eq 0 ] || install "${native[@]}"
if [ ${#foreign[@]} -gt 0 ] && ! install "${foreign[@]}"; then
  mapfile -t pins < <(multiarch_pins "${foreign[@]}")
  echo "deps: retrying with amd64 libraries held at the versions i386 has: ${pins[*]}"
  install --allow-downgrades "${foreign[@]}" "${pins[@]}"
fi
