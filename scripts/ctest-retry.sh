#!/usr/bin/env bash
# Runs ctest with one retry for a failing test, then names every test that passed only
# on its retry: such a test has a fault to find, not noise.
# Arguments are passed to ctest (e.g. --preset native -L bus).
set -uo pipefail
log="$(mktemp /tmp/orvex-ctest.XXXXXX)"
# Output goes to a file, not a pipe: Wine's background processes inherit ctest's
# streams and would keep a pipe open after ctest ends.
ctest --repeat until-pass:2 "$@" >"$log" 2>&1 &
ctest_pid=$!
tail -n +1 --pid="$ctest_pid" -f "$log"
wait "$ctest_pid"
rc=$?
# A first attempt that failed prints "Test #N: name ...***Failed" (or Timeout,
# Exception); its retry prints the same name again. Skipped tests are not listed.
retried=$(grep -E 'Test +#[0-9]+: .*\*\*\*(Failed|Timeout|Exception)' "$log" | sed -E 's/.*Test +#[0-9]+: ([^ ]+) .*/\1/' | sort -u)
if [ -n "$retried" ]; then
  echo "== tests that failed at least once in this run (look at each one):"
  while read -r name; do
    # Fixed strings: names hold regex characters, and a parameterised test's line has
    # its parameter ("  # GetParam() = ...") between the name and the result.
    if grep -E 'Test +#[0-9]+: ' "$log" | grep -F -- ": $name " | grep -qE ' Passed +[0-9.]+ sec'; then
      echo "  $name (passed on its retry)"
    else
      echo "  $name (failed twice)"
    fi
  done <<<"$retried"
fi
rm -f "$log"
exit "$rc"
