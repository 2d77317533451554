#!/usr/bin/env bash
# Plays items through one ProcessEngine (the default engine, in child processes) round
# after round against the loopback HLS origin, and shows what the engine processes hold
# once each round is closed:
#
#   scripts/engine-soak.sh [items] [build dir]
#
# Four items at a time are made, played 0.3 s and closed, until that many items have
# played (100 by default). After each round the engine processes' threads and data
# memory (VmData, what their RLIMIT_DATA bounds) are printed once their threads have
# settled. The run fails when an item fails, or when the engine processes end with more
# than two threads or 32 MiB of data memory (the heap's two arenas grow 10-30 MiB over
# 100 items) above what they held after the first round (or after the first round that
# had more processes: the spare the engine keeps once a process is full). Not
# part of the default test run (about 40 s); CI runs the short form,
# EngineProcessLifeTest.AClosedItemLeavesNoThread*.
set -uo pipefail

items=${1:-100}
build=${2:-build/default}
binary="$(cd "$(dirname "$0")/.." && pwd)/$build/tests/platform/media/media_tests"
if [ ! -x "$binary" ]; then
  echo "engine-soak: no test binary at $binary (build the media_tests target)" >&2
  exit 2
fi

ZID_SOAK_ITEMS=$items exec "$(dirname "$0")/engine-test.sh" "$binary" --gtest_also_run_disabled_tests \
  --gtest_filter='EngineProcessLifeTest.DISABLED_ItemsOneRoundAfterAnotherLeaveNothingInTheEngineProcesses'
