#!/usr/bin/env bash
# One stage of the test command, run from a build folder:
#   scripts/ctest-stage.sh <stage name> [ctest options...]
# Runs ctest with the options given, then says what a reader of the console needs and
# ctest does not print: the output of each failed test once more, and every test run again
# after a known fault of the media engine (scripts/engine-test.sh), which ctest shows as
# "Passed" with no word of it unless the test failed in the end. The reruns are read from
# the run's log, where the runner lists them at the end of each test's output. The last
# line says how the stage ended and how many tests ran again.
set -uo pipefail
stage=$1
shift
log=Testing/Temporary/LastTest.log
# A log of an earlier run is no list of this one's.
rm -f "$log"
status=0
ctest --output-on-failure --timeout 300 "$@" || status=$?
if [ "$status" -ne 0 ] && [ -f Testing/Temporary/LastTestsFailed.log ]; then
  # ctest printed each failure's output when that test ended, amid two thousand others;
  # a reader of only the log's end (a CI summary) finds it said again here.
  while IFS=: read -r _ name; do
    [ -n "$name" ] || continue
    echo "== the output of the failed test $name (its last 150 lines)"
    awk -v name="$name" '
      index($0, " Testing: " name) && substr($0, length($0) - length(name) + 1) == name { on = 1 }
      on { print }
      on && index($0, "\"" name "\" end time:") == 1 { on = 0 }' "$log" | tail -n 150
  done < Testing/Temporary/LastTestsFailed.log
fi
# Each rerun as "<ctest test>: <test> (attempt N: <fault>), <how that ctest test ended>".
reruns=()
if [ -f "$log" ]; then
  mapfile -t reruns < <(awk '
    /^[0-9]+\/[0-9]+ Test: / { test = substr($0, index($0, " Test: ") + 7); n = 0; next }
    /^engine-test:   / { listed[++n] = substr($0, 16); next }
    /^Test (Passed|Failed)/ || /^Test .*(Timeout|Exception|Not Run)/ {
      verdict = $0; sub(/\.$/, "", verdict); sub(/^Test /, "", verdict)
      for (i = 1; i <= n; i++) print test ": " listed[i] ", " tolower(verdict) " in the end"
      n = 0
    }' "$log")
fi
if [ "${#reruns[@]}" -gt 0 ]; then
  echo "== $stage: ${#reruns[@]} rerun(s) after a known fault of the media engine (test, attempt, fault):"
  printf '==   %s\n' "${reruns[@]}"
fi
verdict=passed
[ "$status" -eq 0 ] || verdict="failed (ctest $status)"
if [ "${#reruns[@]}" -gt 0 ]; then
  echo "== $stage: $verdict; ${#reruns[@]} rerun(s) after a known fault (listed above)"
else
  echo "== $stage: $verdict; no test run again"
fi
exit "$status"
