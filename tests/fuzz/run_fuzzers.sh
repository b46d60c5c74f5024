#!/usr/bin/env bash
# Runs every libFuzzer target (an executable named fuzz_* anywhere under build/fuzz) for
# DURATION seconds each. Seeds: tests/fuzz/corpus/<target>/ when it exists, and
# tests/fuzz/crashers/. The committed folders are only read: what a run finds goes to a
# scratch corpus under build/fuzz/corpus-work/<target>/ (kept between runs, so later runs start
# where earlier ones stopped), crash inputs to build/fuzz/artifacts/<target>/.
#   tests/fuzz/run_fuzzers.sh DURATION      (build first: cmake --preset fuzz && cmake --build --preset fuzz)
# Ends with a table (per target: executions, coverage, corpus size, findings) and "N passed,
# M failed", one case per target; exits non-zero when a target failed or none was found.
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

if [ $# -ne 1 ] || ! [[ $1 =~ ^[0-9]+$ ]] || [ "$1" -lt 1 ]; then
  echo "usage: $0 DURATION   (seconds per fuzz target)" >&2
  exit 64
fi
duration=$1
build="$root/build/fuzz"
crashers="$root/tests/fuzz/crashers"

mapfile -t targets < <(find "$build" -type f -name 'fuzz_*' -perm -u+x ! -name '*.*' 2>/dev/null | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets under $build: run cmake --preset fuzz && cmake --build --preset fuzz" >&2
  echo "0 passed, 1 failed"
  exit 1
fi

passed=0
failed=0
summary=()
for target in "${targets[@]}"; do
  name=$(basename "$target")
  work="$build/corpus-work/$name"
  artifacts="$build/artifacts/$name"
  mkdir -p "$work" "$artifacts"
  seeds=()
  [ -d "$root/tests/fuzz/corpus/$name" ] && seeds+=("$root/tests/fuzz/corpus/$name")
  [ -d "$crashers" ] && seeds+=("$crashers")
  log="$build/$name.log"
  echo "=== $name: ${duration}s, seeds: ${seeds[*]:-none}"
  stamp="$build/$name.started"
  touch "$stamp"
  # The scratch corpus comes first: libFuzzer writes new inputs only into the first folder.
  "$target" -max_total_time="$duration" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "${seeds[@]}" >"$log" 2>&1
  rc=$?
  found=$(find "$artifacts" -type f -newer "$stamp" 2>/dev/null | wc -l)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1)
  summary+=("$(printf '%-18s %10s executions  cov %-6s corpus %-12s %s finding(s)' "$name" \
    "$(sed -nE 's/^stat::number_of_executed_units: ([0-9]+).*/\1/p' "$log" | tail -n 1)" \
    "$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$done_line")" \
    "$(sed -nE 's/.* corp: ([^ ]+).*/\1/p' <<<"$done_line")" "$((found + (rc != 0 && found == 0)))")")
  grep -E '^(INFO: seed corpus|#[0-9]+[[:space:]]+(INITED|DONE))|stat::number_of_executed_units|^==[0-9]+==ERROR|SUMMARY' "$log"
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    echo "--- $name: nothing found"
  else
    failed=$((failed + 1))
    echo "--- $name: FAILED (exit status $rc); log: $log; inputs: $artifacts/"
    tail -n 40 "$log"
  fi
done

echo "=== per target"
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
