#!/usr/bin/env bash
# Runs a test binary that drives the real media engine:  scripts/engine-test.sh <binary> [args]
#
# GStreamer 1.22.0's adaptive demuxer (the one Debian 12 ships) has two faults on seeks
# that nothing outside it can prevent: it can abort the process when a flushing seek lands
# while it is still cancelling a segment download (an assertion in its download requests,
# fixed in later GStreamer releases), and, rarer and under load, crash in libsoup
# while closing a cancelled download's stream on its download thread. A test that dies of
# either (for the crash: a crash report naming both libraries, printed by the test binary,
# the engine program or the sanitizer) runs again, at most twice; every other failure is
# reported as it is, at once.
#
# A test that plays through the engine in a child process (every host's default) sees the
# same faults as an item error, and fails where it expected its seek to complete: it runs
# again too when it failed and the output holds the assertion (only a process about to
# abort prints it, and the test process lived: it was the engine program) or the engine
# program's own crash report (its "fatal signal" line or its sanitizer's SEGV report)
# naming both libraries. A test that plays on after such a death passes and never runs
# again; a failure with neither in the output is reported at once.
#
# A third fault of the same demuxer fails a load rather than a seek: when it has fetched a
# short stream to its end before it exposed the stream's pads (a 10-s VOD on loopback
# takes about 0.1 s; a loaded machine delays the exposing), it cannot end the stream and
# fails it as "Couldn't download fragments". Bare playbin3 meets it too. Only the
# demuxer's own error log says which it was, so that log (its errors only) is turned on.
#
# A fault is matched in the failing test's own output only (from its "[ RUN ]" line to its
# result, or to the end for the test running when the binary died), never in a
# neighbour's, and only the failing tests run again (with those that never ran after a
# crash): a binary running many tests reruns none of those that failed otherwise. A
# stalled playlist guard cannot be told apart by the demuxer's words: it logs "Did not find
# transfer" for a request that timed out and for every download a seek cancels alike; the
# guard answers every read well within the demuxer's time-out instead. Every rerun is
# listed at the end of the run, whether or not it passed.
set -uo pipefail
signature='download_request_set_uri: assertion failed'
unexposed="Can't push EOS on non-exposed pad"
export GST_DEBUG="${GST_DEBUG:+$GST_DEBUG,}adaptivedemux2:1"
# Which known fault the output holds (its name), or nothing. $1: one test's output; $2:
# whether the test binary itself died.
known_fault() {
  grep -q "$signature" "$1" && { echo "the abort in its download requests"; return 0; }
  grep -qF "$unexposed" "$1" && { echo "a stream fetched to its end before its pads were exposed"; return 0; }
  local who='zid_media_engine'
  if [ "$2" = died ] || grep -q "AddressSanitizer: SEGV" "$1"; then who='test binary'; fi
  if grep -qE "^$who: fatal signal [0-9]+ \(the crashing thread|AddressSanitizer: SEGV" "$1" &&
     grep -q 'libsoup-3\.0\.so' "$1" && grep -q 'libgstadaptivedemux2\.so' "$1"; then
    echo "the crash in libsoup on a download thread"; return 0
  fi
  return 1
}
# One test's output: its "[ RUN ]" line to its result line (or to the end).
test_output() {
  awk -v run="[ RUN      ] $2" -v ok="[       OK ] $2 (" -v failed="[  FAILED  ] $2 (" -v failed_param="[  FAILED  ] $2, where GetParam" '
    $0 == run { on = 1 }
    on { print }
    on && (index($0, ok) == 1 || index($0, failed) == 1 || index($0, failed_param) == 1) { on = 0 }' "$1"
}
out=$(mktemp) one=$(mktemp)
trap 'rm -f "$out" "$one"' EXIT
args=("$@")
reruns=()
for attempt in 1 2 3; do
  "${args[@]}" >"$out" 2>&1 &
  pid=$!
  wait "$pid"
  status=$?
  cat "$out"
  [ "$status" -eq 0 ] && break
  died=lived
  [ "$status" -ge 128 ] && died=died
  # A test of a parameterized suite is named on its result line with its parameter after
  # a comma ("[  FAILED  ] Suite/Test.Name/0, where GetParam() = ...").
  failed=$(sed -n -e 's/^\[  FAILED  \] \([^ ]*\) (.*/\1/p' -e 's/^\[  FAILED  \] \([^ ,]*\), where GetParam.*/\1/p' "$out" | sort -u)
  # The test running when the binary died, and those that never ran after it.
  if [ "$died" = died ]; then
    running=$(awk '/^\[ RUN      \] / { t = $4 } /^\[       OK \] |^\[  FAILED  \] / { if ($4 == t) t = "" } END { print t }' "$out")
    failed=$(printf '%s\n%s\n' "$failed" "$running" | sed '/^$/d' | sort -u)
  fi
  again=() faults=()
  for name in $failed; do
    test_output "$out" "$name" >"$one"
    # A crash report printed after the test's last line belongs to it.
    # (Matched as a string: a parameterized test's name holds slashes.)
    [ "$died" = died ] && [ "$name" = "${running:-}" ] &&
      awk -v run="[ RUN      ] $name" 'on || $0 == run { on = 1; print }' "$out" >"$one"
    fault=$(known_fault "$one" "$died") || { again=(); break; }
    again+=("$name")
    faults+=("$name (attempt $((attempt + 1)): $fault)")
  done
  if [ "${#again[@]}" -eq 0 ] || [ "$attempt" -eq 3 ]; then
    break
  fi
  reruns+=("${faults[@]}")
  filter=$(IFS=:; echo "${again[*]}")
  if [ "$died" = died ]; then
    # The tests after the crashed one run too: those the run would have run.
    done_tests=$(sed -n -e 's/^\[ \(      OK\|  FAILED\) \] \([^ ]*\) (.*/\2/p' \
                        -e 's/^\[  FAILED  \] \([^ ,]*\), where GetParam.*/\1/p' "$out")
    listed=$("${args[@]}" --gtest_list_tests 2>/dev/null | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
    for name in $listed; do
      grep -qxF "$name" <<<"$done_tests" || grep -qxF "$name" <<<"$(printf '%s\n' "${again[@]}")" || filter="$filter:$name"
    done
  fi
  echo "engine-test: the media engine's adaptive demuxer met one of its known GStreamer 1.22.0 faults; running again (attempt $((attempt + 1)) of 3): ${again[*]}" >&2
  # Only those tests, whatever shard they came from.
  args=("$@" "--gtest_filter=$filter")
  unset GTEST_TOTAL_SHARDS GTEST_SHARD_INDEX
done
if [ "${#reruns[@]}" -gt 0 ]; then
  echo "engine-test: tests run again after a known fault:" >&2
  printf 'engine-test:   %s\n' "${reruns[@]}" >&2
fi
exit "$status"
