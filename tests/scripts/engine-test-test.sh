#!/usr/bin/env bash
# scripts/engine-test.sh on a stand-in test binary whose tests meet the media engine's
# faults on purpose: a known fault runs the test again, with the tests of its shard (and
# only those) that never ran after a crash; a crash of our own code, a crash named only in
# another stack, and a demuxer that had nothing to expose run nothing again.
#   engine-test-test.sh <source root> <stand-in binary> <work folder>
set -uo pipefail
root=$1 standin=$2 work=$3
runner="$root/scripts/engine-test.sh"
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# Runs the runner on the stand-in: run <case> <fault or ""> [stand-in arguments...], with
# the environment's sharding variables. Sets $out (its output), $code, and the tests each
# attempt ran in $work/<case>.attempt<N> (one name a line, in the order they ran).
run() {
  local name=$1 fault=$2
  shift 2
  out="$work/$name.out"
  ZID_STAND_IN_LOG="$work/$name.log" ZID_STAND_IN_FAULT="$fault" "$runner" "$standin" "$@" >"$out" 2>&1
  code=$?
  touch "$work/$name.log"
  local n=0 pid
  for pid in $(awk '!seen[$1]++ { print $1 }' "$work/$name.log"); do
    n=$((n + 1))
    awk -v pid="$pid" '$1 == pid { print $2 }' "$work/$name.log" >"$work/$name.attempt$n"
  done
  attempts=$n
}
# What the stand-in runs alone, without the runner and without a fault (the framework's
# own choice of tests and order): truth <case> [stand-in arguments...] > list
truth() {
  local name=$1
  shift
  ZID_STAND_IN_LOG="$work/$name.truth" "$standin" "$@" >/dev/null 2>&1
  awk '{ print $2 }' "$work/$name.truth"
}
# The tests of a list from the named one on.
from() { awk -v name="$1" '$0 == name { on = 1 } on'; }
expect_reran() {  # <case> <what it should have run again, one a line> <fault's words>
  local name=$1 expected=$2 words=$3
  [ "$code" -eq 0 ] || fail "$name: the run ended with $code, not 0"
  [ "$attempts" -eq 2 ] || fail "$name: $attempts attempts, not 2"
  if [ "$(cat "$work/$name.attempt2" 2>/dev/null)" != "$expected" ]; then
    fail "$name: the second attempt ran"; sed 's/^/    /' "$work/$name.attempt2"; echo "  not"; sed 's/^/    /' <<<"$expected"
  fi
  local first
  first=$(head -n 1 <<<"$expected")
  grep -qxF "engine-test:   $first (attempt 2: $words)" "$out" || fail "$name: no rerun line for $first ($words)"
}
expect_no_rerun() {  # <case>
  local name=$1
  [ "$code" -ne 0 ] || fail "$name: the run passed"
  [ "$attempts" -eq 1 ] || fail "$name: $attempts attempts, not 1"
  ! grep -q "running again\|run again after a known fault" "$out" || fail "$name: it ran again"
}

# A crash in libsoup on the demuxer's download thread of the test binary: the crashed test
# and those after it run again.
all=$(truth all)
[ "$(wc -l <<<"$all")" -eq 16 ] || fail "the stand-in ran $(wc -l <<<"$all") tests, not 16"
run crash Stand.C=libsoup-crash
expect_reran crash "$(from Stand.C <<<"$all")" "the crash in libsoup on a download thread"
grep -q "^test binary: fatal signal 11" "$out" || fail "crash: the crash report is not printed"

# In a shard after a filter: the shard's tests (test i of those the filter keeps, less the
# disabled, in shard i % 3) that never ran, and none of another shard's. The framework's
# own run of the shard says which those are; its list holds all the tests of the filter.
export GTEST_TOTAL_SHARDS=3 GTEST_SHARD_INDEX=1
filter=--gtest_filter=-Other.H
shard=$(truth shard "$filter")
[ "$(wc -l <<<"$shard")" -eq 5 ] || fail "shard 1 of 3 has $(wc -l <<<"$shard") tests, not 5"
second=$(sed -n 2p <<<"$shard")
run shard "$second=libsoup-crash" "$filter"
expect_reran shard "$(from "$second" <<<"$shard")" "the crash in libsoup on a download thread"
[ "$(cat "$work/shard.attempt1")" = "$(head -n 2 <<<"$shard")" ] || fail "shard: the first attempt ran other tests"
# A parameterized test's name holds slashes.
param=$(grep -m 1 '^Value/Each\.J/' <<<"$shard")
if [ -n "$param" ]; then
  run shard-param "$param=libsoup-crash" "$filter"
  expect_reran shard-param "$(from "$param" <<<"$shard")" "the crash in libsoup on a download thread"
else
  fail "shard 1 of 3 holds no parameterized test"
fi
unset GTEST_TOTAL_SHARDS GTEST_SHARD_INDEX

# The same crash in the engine program, which the test outlives: only the failed test.
run engine Stand.B=engine-libsoup-crash
expect_reran engine Stand.B "the crash in libsoup on a download thread"
# As the sanitizer reports it (the process aborts on its report).
run asan Stand.D=asan-libsoup-crash
expect_reran asan "$(from Stand.D <<<"$all")" "the crash in libsoup on a download thread"
# The demuxer's assertion.
run abort Later.K=abort
expect_reran abort "$(from Later.K <<<"$all")" "the abort in its download requests"
# A stream fetched to its end before the demuxer exposed it; the demuxer's notes are read
# and not printed, its error is.
run unexposed Other.G=unexposed
expect_reran unexposed Other.G "a stream fetched to its end before its pads were exposed"
! grep -q "INFO .*adaptivedemux2" "$out" || fail "unexposed: the demuxer's notes are printed"
grep -q "Can't push EOS on non-exposed pad" "$out" || fail "unexposed: the demuxer's error is not printed"

# Not known faults: the same words from a demuxer whose segments were empty (a neighbour's
# had bytes), our code crashing on the download thread under libsoup (a flood's crash),
# and our code crashing on a thread of its own while another stack names both libraries.
run empty Other.G=unexposed-empty
expect_no_rerun empty
run ours Stand.C=our-crash
expect_no_rerun ours
[ "$code" -ge 128 ] || fail "ours: the run ended with $code, not by the crash's signal"
run elsewhere Stand.C=crash-elsewhere
expect_no_rerun elsewhere

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; the runs' outputs are in $work"
  exit 1
fi
echo "all checks passed"
