#!/usr/bin/env bash
# Runs the long storm of seeks, audio and subtitle choices, pauses and plays on one item
# (SeekStormTest) and adds up what each run counted:
#
#   scripts/seek-storm.sh [--operations N] [--seeds "47 5 7 13"] [--runs N] [--cores LIST]
#                         [--busy N] [--modes "process inprocess"] [--build DIR]
#
# Each run is one seed in one mode: --operations operations (1,000 by default) 50-500 ms
# apart, with a settle check every 50. --cores pins every run and --busy busy loops of
# this script's own (killed by their process ids at the end) to those cores (taskset's
# list, e.g. 6 or 6,7), so the engine competes for one or two loaded cores as on a small
# machine; the runs of a mode go one after another. A run fails on a failed item (a lost
# engine process among them) or a freeze; an engine process lost to a known fault of the
# media framework's own code is counted apart and fails nothing (the storm tells it from
# the engine's crash report). A run is never run again: what it counted is what it met.
# The summary says each run's figures and the output of every failed run is kept. Not
# part of the test suite: it takes about six minutes a run.
set -uo pipefail

operations=1000 seeds="47 5 7 13" runs=1 cores="" busy=0 modes="process" build=build/default
while [ $# -gt 0 ]; do
  case "$1" in
    --operations) operations=$2; shift 2 ;;
    --seeds) seeds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --cores) cores=$2; shift 2 ;;
    --busy) busy=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--operations N] [--seeds \"47 5 7 13\"] [--runs N] [--cores LIST] [--busy N]" \
            "[--modes \"process inprocess\"] [--build DIR]" >&2; exit 2 ;;
  esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
case "$build" in /*) ;; *) build="$root/$build" ;; esac
binary="$build/tests/platform/media/media_tests"
# The engine program of the same build, unless named already.
[ -n "${ZID_MEDIA_ENGINE:-}" ] || [ ! -x "$build/platform/media/zid_media_engine" ] ||
  export ZID_MEDIA_ENGINE="$build/platform/media/zid_media_engine"
[ -x "$binary" ] || { echo "seek-storm: no test binary at $binary (build the media_tests target)" >&2; exit 2; }
pin=()
[ -n "$cores" ] && pin=(taskset -c "$cores")

busyPids=()
stopBusy() { for pid in "${busyPids[@]}"; do kill "$pid" 2>/dev/null; done; }
trap stopBusy EXIT
for _ in $(seq 1 "$busy"); do
  "${pin[@]}" sh -c 'while :; do :; done' &
  busyPids+=($!)
done

keep=$(mktemp -d /tmp/seek-storm.XXXXXX)
echo "seek-storm: $operations operations a run, seeds $seeds, $runs run(s) each, modes $modes," \
     "cores ${cores:-any}, $busy busy loop(s); failed runs kept in $keep"
status=0
for mode in $modes; do
  engine=""
  [ "$mode" = process ] && engine=process
  total=0 bad=0 failed=0 lost=0 freezes=0 known=0
  for seed in $seeds; do
    for run in $(seq 1 "$runs"); do
      out="$keep/$mode-$seed-$run.log"
      ZID_SEEK_STORM_ALONE=1 ZID_TEST_MEDIA_ENGINE=$engine ZID_SEEK_STORM_SEEDS=$seed ZID_SEEK_STORM_OPERATIONS=$operations \
        "${pin[@]}" "$binary" --gtest_filter='SeekStormTest.*' >"$out" 2>&1
      code=$?
      total=$((total + 1))
      line=$(grep '^\[ storm    \] seed .* operations in' "$out" | tail -n 1)
      echo "seek-storm: $mode, seed $seed, run $run: ${line#\[ storm    \] }$([ "$code" -eq 0 ] || echo " (exit $code)")"
      read -r f l z k < <(echo "$line" | sed -n 's/.*failed items \([0-9]*\), lost engine processes \([0-9]*\), freezes \([0-9]*\), known media framework faults \([0-9]*\).*/\1 \2 \3 \4/p')
      failed=$((failed + ${f:-0})) lost=$((lost + ${l:-0})) freezes=$((freezes + ${z:-0})) known=$((known + ${k:-0}))
      # A run that died without its figures (the test process itself crashed) counts.
      [ -n "$line" ] || [ "$code" -eq 0 ] || lost=$((lost + 1))
      if [ "$code" -eq 0 ]; then
        rm -f "$out"
      else
        bad=$((bad + 1))
        status=1
      fi
    done
  done
  echo "seek-storm: $mode: $total runs, $bad failed; failed items $failed, lost engine processes $lost, freezes $freezes;" \
       "engine processes lost to known media framework faults $known"
done
[ "$status" -eq 0 ] && rmdir "$keep" 2>/dev/null
exit "$status"
