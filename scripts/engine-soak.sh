#!/usr/bin/env bash
# Plays items through one ProcessEngine (the default engine, in child processes) round
# after round against the loopback HLS origin, and shows what the engine processes hold
# once each round is closed:
#
#   scripts/engine-soak.sh [items] [build dir]
#
# Four items at a time are made, played 0.3 s and closed, until that many items have
# played (100 by default). After each round, once the engine processes' threads have
# settled and the processes have given back what the items freed (2 s idle), their
# threads, data memory (VmData, what their RLIMIT_DATA bounds) and memory in use
# (RssAnon) are printed. The run fails when an item fails, when the engine processes end
# with more than two threads above the first round's (or the first round that had more
# processes: the spare the engine keeps once a process is full), or when an engine process
# holds, after a later round, more than 48 MiB of data memory or 8 MiB in use above the
# level it settled at (the most it held after its 3rd to 5th rounds). The room is the
# spread of ten runs with some to spare (docs/performance/media.md).
# ZID_SOAK_LEAK=<bytes> plays through the tests' stand-in engine program leaking that many
# bytes an item, and the run passes only when the check catches it:
#   ZID_SOAK_LEAK=1048576 scripts/engine-soak.sh 100
# Not part of the default test run (2-3 minutes); CI runs the short form,
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
  --gtest_filter='EngineProcessSoakTest.DISABLED_ItemsOneRoundAfterAnotherLeaveNothingInTheEngineProcesses'
