#!/usr/bin/env bash
# Runs the real-engine seek tests many at once, in the host's own process and through the
# engine process, and counts the seeks that landed somewhere else than they said:
#
#   scripts/seek-stress.sh [--rounds N] [--jobs N] [--build DIR] [--modes "inprocess process"]
#
# Each round starts --jobs copies of the media test binary at once (8 by default: more
# than the cores of a CI machine, so the engine's threads and the host's loop compete),
# each running the seek tests below once; --rounds rounds (50 by default) per mode. A run
# fails on a wrong landing (a seek reported done with the position or the picture
# elsewhere than where it landed), on a seek never answered, or on anything else; the
# summary tells them apart and the output of every failed run is kept. Each run goes
# through scripts/engine-test.sh, as in the test suite: a run killed by one of the two
# known faults of GStreamer 1.22's adaptive demuxer runs again, and those are counted
# apart. Not part of the default test run: it takes minutes and all the machine's cores.
set -uo pipefail

rounds=50 jobs=8 build=build/default modes="inprocess process"
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    *) echo "usage: $0 [--rounds N] [--jobs N] [--build DIR] [--modes \"inprocess process\"]" >&2; exit 2 ;;
  esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
binary="$root/$build/tests/platform/media/media_tests"
[ -x "$binary" ] || { echo "seek-stress: no test binary at $binary (build the media_tests target)" >&2; exit 2; }

# The tests and the seeks each makes.
declare -A seeks_of=(
  [GstMediaTest.ASeekIsReportedDoneWithItsPictureAlreadyShown]=3
  [GstMediaTest.ASeekIntoTheLastKeyFrameIntervalOrToTheEndCompletesAndLaterSeeksStillWork]=10
  [GstMediaTest.ADefaultSeekLandsOnTheKeyFrameBeforeTheTimeAndAnExactOneOnTheTime]=4
)
filter=$(IFS=:; echo "${!seeks_of[*]}")
seeks_per_run=0
for n in "${seeks_of[@]}"; do seeks_per_run=$((seeks_per_run + n)); done

keep=$(mktemp -d /tmp/seek-stress.XXXXXX)
echo "seek-stress: $rounds rounds of $jobs runs per mode ($modes), $seeks_per_run seeks a run; failed runs kept in $keep"
status=0
for mode in $modes; do
  engine=""
  [ "$mode" = process ] && engine=process
  runs=0 failed=0 wrong=0 unanswered=0 other=0 reruns=0 answeredNo=0 engineDeaths=0
  declare -A failures_of=()
  start=$(date +%s)
  for round in $(seq 1 "$rounds"); do
    pids=()
    for job in $(seq 1 "$jobs"); do
      out="$keep/$mode-$round-$job.log"
      ZID_TEST_MEDIA_ENGINE=$engine "$root/scripts/engine-test.sh" "$binary" --gtest_filter="$filter" >"$out" 2>&1 &
      pids+=($!)
    done
    for job in $(seq 1 "$jobs"); do
      wait "${pids[$((job - 1))]}"
      code=$?
      out="$keep/$mode-$round-$job.log"
      runs=$((runs + 1))
      reruns=$((reruns + $(grep -c '^engine-test: the media engine' "$out")))
      if [ "$code" -eq 0 ]; then
        rm -f "$out"
        continue
      fi
      failed=$((failed + 1))
      # Each failed check: a seek never answered waits on its answer; a seek answered NO
      # did not land (the position then stays where the picture is, which the checks after
      # it find too); a wrong landing compares the position, the picture or the landing
      # with where a seek that said YES should be.
      read -r w u n < <(awk '
        / Failure$/ { if (block) classify(); block = 1; text = ""; next }
        /^\[/ { if (block) classify(); block = 0; next }
        block { text = text " " $0 }
        END { if (block) classify(); print (no ? 0 : wrong + 0), unanswered + 0, no + 0 }
        function classify() {
          if (text ~ /has_value/) unanswered++
          else if (text ~ /Value of: (\*finished|finished\.value_or\(false\))/) no++
          else if (text ~ /currentTime|position|landed|shown|frameNear|positionNear|picture/) wrong++
          block = 0
        }' "$out")
      d=$(grep -c 'zid_media_engine: fatal signal' "$out")
      answeredNo=$((answeredNo + n))
      engineDeaths=$((engineDeaths + d))
      wrong=$((wrong + w))
      unanswered=$((unanswered + u))
      [ "$w" -eq 0 ] && [ "$u" -eq 0 ] && [ "$n" -eq 0 ] && other=$((other + 1))
      for t in "${!seeks_of[@]}"; do
        grep -q "^\[  FAILED  \] $t " "$out" && failures_of[$t]=$((${failures_of[$t]:-0} + 1))
      done
    done
  done
  seconds=$(($(date +%s) - start))
  echo "seek-stress: $mode: $runs runs, $((runs * seeks_per_run)) seeks in ${seconds} s: $failed runs failed;" \
       "wrong landings $wrong, seeks never answered $unanswered, seeks answered NO $answeredNo," \
       "runs failed otherwise $other; engine process deaths $engineDeaths;" \
       "runs again after a known engine crash $reruns"
  for t in "${!seeks_of[@]}"; do
    echo "seek-stress: $mode:   ${t#GstMediaTest.}: $((runs - ${failures_of[$t]:-0})) of $runs passed"
  done
  [ "$failed" -eq 0 ] || status=1
  unset failures_of
done
[ "$status" -eq 0 ] && rmdir "$keep" 2>/dev/null
exit "$status"
