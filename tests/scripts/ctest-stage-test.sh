#!/usr/bin/env bash
# scripts/ctest-stage.sh on a small ctest project of its own: a test of a stand-in binary
# run through scripts/engine-test.sh crashes on the media engine's known fault, passes on
# its rerun, and ctest calls it "Passed". The stage's console names the rerun (the test,
# its attempt and the fault) with a count, and its last line says so; a stage without
# reruns says that instead.
#   ctest-stage-test.sh <source root> <stand-in binary> <work folder>
set -uo pipefail
root=$1 standin=$2 work=$3
rm -rf "$work"
mkdir -p "$work/project" "$work/build"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

cat >"$work/project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(stand_in NONE)
enable_testing()
add_test(NAME stand_in.crashes_once COMMAND "$root/scripts/engine-test.sh" "$standin" --gtest_filter=Stand.C)
set_tests_properties(stand_in.crashes_once PROPERTIES
                     ENVIRONMENT "ZID_STAND_IN_LOG=$work/crashes.log;ZID_STAND_IN_FAULT=Stand.C=libsoup-crash")
add_test(NAME stand_in.plain COMMAND "$root/scripts/engine-test.sh" "$standin" --gtest_filter=Stand.A)
EOF
cmake -S "$work/project" -B "$work/build" >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
cd "$work/build" || exit 1

"$root/scripts/ctest-stage.sh" "stand-in stage" >"$work/stage.out" 2>&1
code=$?
[ "$code" -eq 0 ] || fail "the stage ended with $code, not 0"
grep -q "stand_in.crashes_once .*Passed" "$work/stage.out" || fail "ctest did not pass the crashed test"
grep -qxF "== stand-in stage: 1 rerun(s) after a known fault of the media engine (test, attempt, fault):" "$work/stage.out" ||
  fail "the console does not count the rerun"
grep -qxF "==   stand_in.crashes_once: Stand.C (attempt 2: the crash in libsoup on a download thread), passed in the end" \
  "$work/stage.out" || fail "the console does not name the rerun"
[ "$(tail -n 1 "$work/stage.out")" = "== stand-in stage: passed; 1 rerun(s) after a known fault (listed above)" ] ||
  fail "the stage's last line does not say it: $(tail -n 1 "$work/stage.out")"

# The same project again: the fault was met once, nothing runs again now.
"$root/scripts/ctest-stage.sh" "second stage" >"$work/second.out" 2>&1
code=$?
[ "$code" -eq 0 ] || fail "the second stage ended with $code, not 0"
! grep -q "after a known fault of the media engine" "$work/second.out" || fail "the second stage lists an old rerun"
[ "$(tail -n 1 "$work/second.out")" = "== second stage: passed; no test run again" ] ||
  fail "the second stage's last line: $(tail -n 1 "$work/second.out")"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; the consoles:"
  sed 's/^/  | /' "$work/stage.out" "$work/second.out"
  exit 1
fi
echo "all checks passed"
