#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan+UBSan) in the sanitizer build
# (build/asan) and runs each one: first every committed seed once and whole (the reproducers of past faults are
# larger than the fuzzing length bound), then fuzzing from the seeds for a bounded
# time. New inputs go to build/asan/corpus, crashes to build/asan/artifacts. Any
# crash, leak, sanitizer report or time-out fails the run.
#
# Usage: scripts/fuzz.sh [seconds per target (default 30)] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(strings_file keyed_archive user_defaults date_format regex icmp_reply format
           image_body gateway_answer media_server_frames websocket_peer readiness_poll url_path vast vast_request_format)
fi

# The fuzz targets are part of the sanitizer build (clang, ASan+UBSan, every library
# instrumented for coverage), so CI compiles the tree once for both.
build=build/asan
source scripts/ccache-env.sh
cmake --preset asan >/dev/null
cmake --build "$build" -j "$(nproc)" --target zid_fuzz

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Every seed of a target gets past the target's own reading of its input to the code
# under test: one written in another format than the target reads (a leading byte
# missing, say) runs clean without testing what it was committed for. With
# ZID_FUZZ_REACH set a target prints "zidfuzz: reached" for each input that got there,
# after libFuzzer's "Running: <file>". Seeds named refused_* are inputs the code under
# test is meant to turn away at its first look (a body that is no image at all) and are
# not held to it.
check_reach() {
  local target=$1 seeds=$2 log=$3
  local total ran short
  total=$(find "$seeds" -maxdepth 1 -type f | wc -l)
  ran=$(grep -c '^Running: ' "$log" || true)
  if [ "$ran" -ne "$total" ]; then
    echo "== $target: $ran of $total seeds were run; cannot tell which reached the code under test"
    return 1
  fi
  short=$(awk '/^Running: / { if (seed != "" && !reached) print seed; seed = substr($0, 10); reached = 0 }
               /^zidfuzz: reached$/ { reached = 1 }
               END { if (seed != "" && !reached) print seed }' "$log" |
          while read -r seed; do basename "$seed"; done | grep -v '^refused_' || true)
  if [ -n "$short" ]; then
    echo "== $target: seeds that never reach the code under test (not in the target's input format?):" $short
    return 1
  fi
}

# One target's seeds, then its fuzzing; prints what it found, returns non-zero on a fault.
run_target() {
  local target=$1
  local binary="$build/fuzz/fuzz_$target"
  local seeds="fuzz/corpus/$target"
  local work="$build/corpus/$target"
  local artifacts="$build/artifacts"
  mkdir -p "$work" "$artifacts"
  if ! ZID_FUZZ_REACH=1 "$binary" -timeout=20 -rss_limit_mb=4096 -artifact_prefix="$artifacts/$target-" "$seeds"/* \
       >"$build/$target.seeds.log" 2>&1; then
    echo "== $target: a seed failed"
    tail -40 "$build/$target.seeds.log"
    return 1
  fi
  check_reach "$target" "$seeds" "$build/$target.seeds.log" || return 1
  if ! "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$work" "$seeds" \
       >"$build/$target.fuzz.log" 2>&1; then
    echo "== $target: fuzzing for ${seconds}s failed"
    tail -60 "$build/$target.fuzz.log"
    return 1
  fi
  echo "== $target: seeds passed, fuzzed ${seconds}s: $(grep -E "stat::number_of_executed_units|stat::new_units_added" "$build/$target.fuzz.log" | tr '\n' ' ')"
}

# Targets run side by side, one per core: each is single-threaded, so on two cores the
# stage takes half the time of running them one after another.
jobs=${FUZZ_JOBS:-$(nproc)}
failed=()
pids=()
names=()
wait_one() {
  wait "${pids[0]}" || failed+=("${names[0]}")
  cat "$build/${names[0]}.out"
  pids=("${pids[@]:1}")
  names=("${names[@]:1}")
}
for target in "${targets[@]}"; do
  while [ ${#pids[@]} -ge "$jobs" ]; do wait_one; done
  run_target "$target" >"$build/$target.out" 2>&1 &
  pids+=($!)
  names+=("$target")
done
while [ ${#pids[@]} -gt 0 ]; do wait_one; done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]} (inputs in $build/artifacts)" >&2
  exit 1
fi
echo "fuzzing passed: ${targets[*]}"
