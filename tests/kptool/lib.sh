# Shared by the kptool command-line tests (sourced): a scratch directory removed at exit, the
# pass and fail counters, and the closing summary line that scripts/test.sh adds up.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

expect_status() { # want description command...
  local want=$1 what=$2
  shift 2
  "$@" >/dev/null 2>&1
  local got=$?
  if [ "$got" -eq "$want" ]; then pass; else fail "$what: exit status $got, expected $want"; fi
}

# Prints "N passed, M failed"; the status is non-zero when any case failed.
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
