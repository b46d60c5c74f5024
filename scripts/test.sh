#!/usr/bin/env bash
# Runs every test suite, goes on after a failing one, and ends with one line that adds up the
# test cases of all suites: "N passed, M failed", with ", K skipped" when a suite skipped cases
# that this machine cannot run (the 32-bit build where Wine runs only 64-bit programs).
set -uo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-15}
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
passed=0
failed=0
skipped=0
suites_failed=()

# Adds the counts of a ctest run ("N% tests passed, M tests failed out of T").
count_ctest() {
  local line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  bad=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

# Adds the counts of a runner that ends with "N passed, M failed[, K skipped]".
count_plain() {
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$1" | tail -n 1)
  if [ -z "$line" ]; then failed=$((failed + 1)); return; fi
  passed=$((passed + $(sed -E 's/^([0-9]+) passed.*/\1/' <<<"$line")))
  failed=$((failed + $(sed -E 's/^[0-9]+ passed, ([0-9]+) failed.*/\1/' <<<"$line")))
  if [[ $line =~ ,\ ([0-9]+)\ skipped ]]; then skipped=$((skipped + BASH_REMATCH[1])); fi
}

run_suite() { # name, counter, command...
  local name=$1 counter=$2
  shift 2
  echo "=== $name"
  "$@" 2>&1 | tee "$log/$name.txt"
  local rc=${PIPESTATUS[0]}
  "$counter" "$log/$name.txt"
  [ "$rc" -eq 0 ] || suites_failed+=("$name")
}

run_suite native count_ctest bash -c "cd build/native && ctest --output-on-failure -j $JOBS"
run_suite sanitize count_ctest bash -c "cmake --preset sanitize >/dev/null && cmake --build --preset sanitize -j $JOBS && cd build/sanitize && ctest --output-on-failure -j $JOBS"
if [ -x tests/fuzz/run_fuzzers.sh ]; then
  run_suite fuzz count_plain bash -c "cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j $JOBS && tests/fuzz/run_fuzzers.sh $FUZZ_SECONDS"
fi
# --strict: a case skipped for any reason but a build this machine cannot run fails the run.
run_suite e2e count_plain python3 tests/e2e/run_e2e.py --strict --dist dist

total="$passed passed, $failed failed"
[ "$skipped" -eq 0 ] || total+=", $skipped skipped"
echo
if [ ${#suites_failed[@]} -gt 0 ]; then
  echo "failing suites: ${suites_failed[*]}"
  echo "$total"
  exit 1
fi
echo "$total"
[ "$failed" -eq 0 ]
