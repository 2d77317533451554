#!/usr/bin/env bash
# Runs a test binary that drives the real media engine:  scripts/engine-test.sh <binary> [args]
#
# GStreamer 1.22.0's adaptive demuxer (the one Debian 12 ships) has two faults on seeks
# that nothing outside it can prevent: it can abort the process when a flushing seek lands
# while it is still cancelling a segment download (an assertion in its download requests,
# fixed in later GStreamer releases), and, rarer and under load, crash in libsoup
# while closing a cancelled download's stream on its download thread. A test that dies of
# either runs again, at most twice; every other failure is reported as it is, at once.
#
# The crash is told by the crash report of the process that died (the test binary's or the
# engine program's "fatal signal" report, or its sanitizer's SEGV report), and by the
# crashing thread's own frames in it, never by names found anywhere in the output: the
# signal is SIGSEGV, the innermost frame past GLib and the C library is libsoup's, the
# demuxer's library is further down the same stack, and no frame is this project's. A
# crash of our own code (one a flood of connections brings about, say) has our frames on
# its thread, and one on another thread names libsoup in some other stack: neither runs
# again.
#
# A test that plays through the engine in a child process (every host's default) sees the
# same faults as an item error, and fails where it expected its seek to complete: it runs
# again too when it failed and the output holds the assertion (only a process about to
# abort prints it, and the test process lived: it was the engine program) or the engine
# program's own crash report matched as above. A test that plays on after such a death
# passes and never runs again; a failure with neither in the output is reported at once.
#
# A third fault of the same demuxer fails a load rather than a seek: when it has fetched a
# short stream to its end before it exposed the stream's pads (a 10-s VOD on loopback
# takes about 0.1 s; a loaded machine delays the exposing), it cannot end the stream and
# fails it as "Couldn't download fragments". Bare playbin3 meets it too. Only the
# demuxer's own log says which it was, so its log is turned on up to its notes (level
# INFO), among them each fragment's bitrate: an origin whose segments are empty (0 bytes)
# ends the stream in the same words, with nothing to expose. The fault is matched only
# where the demuxer that said so (its process and its scheduling thread, since its last
# start) last fetched a fragment that had bytes. The notes are left out of what this
# prints.
#
# A fault is matched in the failing test's own output only (from its "[ RUN ]" line to its
# result, or to the end for the test running when the binary died), never in a
# neighbour's, and only the failing tests run again (with those of its shard that never
# ran after a crash): a binary running many tests reruns none of those that failed
# otherwise. A stalled playlist guard cannot be told apart by the demuxer's words: it logs
# "Did not find transfer" for a request that timed out and for every download a seek
# cancels alike; the guard answers every read well within the demuxer's time-out instead.
# Every rerun is listed at the end of the run, whether or not it passed
# (scripts/ctest-stage.sh lists them again after the stage).
set -uo pipefail
signature='download_request_set_uri: assertion failed'
unexposed="Can't push EOS on non-exposed pad"
export GST_DEBUG="${GST_DEBUG:+$GST_DEBUG,}adaptivedemux2:4"
export GST_DEBUG_NO_COLOR=1
root=$(cd "$(dirname "$0")/.." && pwd -P)
# The demuxer's notes (its level INFO), read here and not printed.
notes='^[0-9]+:[0-9]+:[0-9]+\.[0-9]+ +[0-9]+ +0x[0-9a-f]+ +INFO +adaptivedemux2 '

# The crashing thread's frames of each crash report of $2 in $1 (one test's output), one
# frame's library or source path a line, a line "--" after each report, innermost first:
# the frames printed above "<who>: fatal signal 11 (the crashing thread's stack is above)"
# less the report's own handler (up to the C library's signal return), and the first stack
# of a sanitizer's SEGV report.
crash_frames() {
  awk -v who="$2" '
    function where(line,   m) {
      # backtrace_symbols_fd: "/path/lib.so(symbol+0x1)[0x7f..]" or "/path/lib.so(+0x1)[0x7f..]"
      if (match(line, /^[^ (]+\([^()]*\)[ ]*\[0x[0-9a-f]+\]$/)) { sub(/\(.*$/, "", line); return line }
      # a sanitizer: "#3 0x7f.. in f (/path/lib.so+0x1)" or "#3 0x7f.. in f /src/file.cpp:12:3"
      if (match(line, /\([^()]*\+0x[0-9a-f]+\)/)) { m = substr(line, RSTART + 1, RLENGTH - 2); sub(/\+0x[0-9a-f]+$/, "", m); return m }
      sub(/:[0-9]+(:[0-9]+)?$/, "", line); n = split(line, parts, " "); return parts[n]
    }
    /^[^ (]+\([^()]*\)[ ]*\[0x[0-9a-f]+\]$/ { stack[++depth] = where($0); next }
    /^\[0x[0-9a-f]+\]$/ { stack[++depth] = "?"; next }  # a frame of no known library
    index($0, who ": fatal signal 11 (the crashing thread") == 1 {
      start = 1
      for (i = 1; i <= depth; i++) if (stack[i] ~ /\/libc\.so/) { start = i + 1; break }
      for (i = start; i <= depth; i++) print stack[i]
      print "--"
      depth = 0; next
    }
    /ERROR: AddressSanitizer: SEGV/ { asan = 1; depth = 0; next }
    asan && /^ *#[0-9]+ 0x[0-9a-f]+ / { print where($0); inframes = 1; next }
    asan && inframes { print "--"; asan = 0; inframes = 0 }
    { depth = 0 }
    END { if (asan && inframes) print "--" }' "$1"
}
# Whether the frames of one report ($1, as crash_frames prints them) are those of libsoup's
# crash on the demuxer's download thread.
libsoup_crash() {
  awk -v root="$root/" '
    NF == 0 { next }
    /\/libsoup-3\.0\.so/ { if (!inner) inner = "libsoup" }
    /\/libgstadaptivedemux2\.so/ { if (inner == "libsoup") demuxer = 1; if (!inner) inner = "demuxer" }
    # GLib, GObject, GIO and the C library may run above libsoup where it crashed.
    !/\/lib(c|pthread|glib-2\.0|gobject-2\.0|gio-2\.0)\.so/ && !/\/libsoup-3\.0\.so/ && !/\/libgstadaptivedemux2\.so/ {
      if (!inner) inner = "other"
    }
    # Ours: the programs and sources of this tree, or a program named without a folder.
    index($0, root) == 1 || $0 !~ /^\// { ours = 1 }
    END { exit !(inner == "libsoup" && demuxer && !ours) }' <<<"$1"
}
# Whether the demuxer that could not end a stream it never exposed had fetched bytes: in
# $1, a "non-exposed pad" error whose process and thread last noted (since that
# demuxer's start) a fragment of a bitrate above 0.
unexposed_with_bytes() {
  awk -v text="$unexposed" '
    $5 != "adaptivedemux2" { next }
    { key = $2 " " $3 }
    /Starting streams. tasks/ { delete rate[key] }
    match($0, /last fragment bitrate was [0-9]+/) { rate[key] = substr($0, RSTART + 26, RLENGTH - 26) + 0 }
    index($0, text) && rate[key] > 0 { found = 1 }
    END { exit !found }' "$1"
}
# Which known fault the output holds (its name), or nothing. $1: one test's output; $2:
# whether the test binary itself died.
known_fault() {
  grep -q "$signature" "$1" && { echo "the abort in its download requests"; return 0; }
  unexposed_with_bytes "$1" && { echo "a stream fetched to its end before its pads were exposed"; return 0; }
  local who='zid_media_engine' report
  if [ "$2" = died ] || grep -q "AddressSanitizer: SEGV" "$1"; then who='test binary'; fi
  report=
  while IFS= read -r frame; do
    if [ "$frame" = "--" ]; then
      libsoup_crash "$report" && { echo "the crash in libsoup on a download thread"; return 0; }
      report=
    else
      report+="$frame"$'\n'
    fi
  done < <(crash_frames "$1" "$who")
  return 1
}
# One test's output: its "[ RUN ]" line to its result line (or to the end).
test_output() {
  awk -v run="[ RUN      ] $2" -v ok="[       OK ] $2 (" -v failed="[  FAILED  ] $2 (" -v failed_param="[  FAILED  ] $2, where GetParam" '
    $0 == run { on = 1 }
    on { print }
    on && (index($0, ok) == 1 || index($0, failed) == 1 || index($0, failed_param) == 1) { on = 0 }' "$1"
}
# The tests the binary runs with the arguments given ($@) and the sharding variables of the
# environment, in the order it runs them. Its own list ignores the sharding variables, so
# the shard is taken from it as the test framework takes it: the tests the filter keeps
# that may run (not disabled, unless asked), numbered in the list's order, test i in shard
# i % GTEST_TOTAL_SHARDS.
tests_to_run() {
  local disabled_too=0 arg
  for arg in "$@"; do
    case "$arg" in
      --gtest_also_run_disabled_tests|--gtest_also_run_disabled_tests=1|--gtest_also_run_disabled_tests=true) disabled_too=1 ;;
      --gtest_also_run_disabled_tests=*) disabled_too=0 ;;
    esac
  done
  case "${GTEST_ALSO_RUN_DISABLED_TESTS:-0}" in 0|false|'') ;; *) disabled_too=1 ;; esac
  local total=${GTEST_TOTAL_SHARDS:-1} index=${GTEST_SHARD_INDEX:-0}
  [ -n "${GTEST_TOTAL_SHARDS:-}" ] && [ -n "${GTEST_SHARD_INDEX:-}" ] || { total=1 index=0; }
  "$@" --gtest_list_tests 2>/dev/null | awk -v total="$total" -v index_="$index" -v disabled_too="$disabled_too" '
    function disabled(name) { return name ~ /^DISABLED_/ || index(name, "/DISABLED_") > 0 }
    /^[^ ]/ { suite = $1; sub(/\.$/, "", suite); next }
    /^  / {
      if (!disabled_too && (disabled(suite) || disabled($1))) next
      if (runnable++ % total == index_) print suite "." $1
    }'
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
  grep -avE "$notes" "$out"
  [ "$status" -eq 0 ] && break
  died=lived
  [ "$status" -ge 128 ] && died=died
  # A test of a parameterized suite is named on its result line with its parameter after
  # a comma ("[  FAILED  ] Suite/Test.Name/0, where GetParam() = ...").
  failed=$(sed -n -e 's/^\[  FAILED  \] \([^ ]*\) (.*/\1/p' -e 's/^\[  FAILED  \] \([^ ,]*\), where GetParam.*/\1/p' "$out" | sort -u)
  # The test running when the binary died, and those that never ran after it.
  if [ "$died" = died ]; then
    running=$(awk '/^\[ RUN      \] / { t = $4 } /^\[       OK \] |^\[  FAILED  \] |^\[  SKIPPED \] / { if ($4 == t) t = "" } END { print t }' "$out")
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
    # The tests this run would have run after the crashed one run too (those of its shard
    # only), in their order.
    done_tests=$(sed -n -e 's/^\[ \(      OK\|  FAILED\|  SKIPPED\) \] \([^ ]*\) (.*/\2/p' \
                        -e 's/^\[  FAILED  \] \([^ ,]*\), where GetParam.*/\1/p' "$out")
    for name in $(tests_to_run "${args[@]}"); do
      grep -qxF "$name" <<<"$done_tests" || grep -qxF "$name" <<<"$(printf '%s\n' "${again[@]}")" || filter="$filter:$name"
    done
  fi
  echo "engine-test: the media engine's adaptive demuxer met one of its known GStreamer 1.22.0 faults; running again (attempt $((attempt + 1)) of 3): ${again[*]}" >&2
  # Only those tests, named one by one: the shard they came from is no longer asked for.
  args=("$@" "--gtest_filter=$filter")
  unset GTEST_TOTAL_SHARDS GTEST_SHARD_INDEX
done
if [ "${#reruns[@]}" -gt 0 ]; then
  echo "engine-test: tests run again after a known fault:" >&2
  printf 'engine-test:   %s\n' "${reruns[@]}" >&2
fi
exit "$status"
