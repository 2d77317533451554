#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test.
#   scripts/test.sh [preset] [part]    (presets: default, asan, tsan)
# The checks that compile against the installed package (ctest label compile_heavy) build
# on every core for minutes; beside the suite, on two cores, they got too little of the
# machine to end in time and slowed tests timed in real time. So they run after the rest,
# one at a time, with the whole machine. part: "suite" runs only the rest, "compile_heavy"
# only those checks, "all" (the default) both in that order (CI runs them as two stages).
# After each, scripts/ctest-stage.sh lists the tests run again after a known fault of the
# media engine, and its last line says how many.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
preset="${1:-default}"
part="${2:-all}"
case "$part" in
  all|suite|compile_heavy) ;;
  *) echo "test.sh: part is all, suite or compile_heavy, not \"$part\"" >&2; exit 2 ;;
esac
scripts/install-deps.sh
scripts/build.sh "$preset"
# Tests that build (the installed headers' check) share the build's compiler cache.
source scripts/ccache-env.sh
cd "build/$preset"
# Most tests spend their time waiting (on the media engine playing in real time, on a
# peer across loopback, on a child process starting): one test per core left the cores
# idle more than half the time. Three per core, at most twelve at once (ZID_TEST_JOBS
# sets another number). Under the sanitizers, which keep the cores busier, three per two
# cores, at least two and at most eight at once: two at once on two cores kept them 61 %
# busy (23.6 minutes), and twelve on eight cores pushed the engine tests' pictures and
# loads past their bounds beside one another.
cores=$(nproc)
if [ "$preset" = default ]; then jobs=$(( cores * 3 )); most=12; else jobs=$(( cores * 3 / 2 )); most=8; fi
if [ "$jobs" -gt "$most" ]; then jobs=$most; fi
if [ "$jobs" -lt 2 ]; then jobs=2; fi
jobs=${ZID_TEST_JOBS:-$jobs}
status=0
if [ "$part" != compile_heavy ]; then
  "$root/scripts/ctest-stage.sh" "tests ($preset)" -j "$jobs" -LE compile_heavy || status=$?
fi
# The sanitizer builds define none of them (what a host's compiler sees is the plain
# build's to check).
if [ "$part" != suite ] && [ "$preset" = default ]; then
  "$root/scripts/ctest-stage.sh" "package checks that compile" -j 1 -L compile_heavy || status=$?
fi
exit "$status"
