#!/usr/bin/env bash
# Builds the ThreadSanitizer preset (only the test binaries that need it) and runs the
# concurrency tests of the run loop, the operation engine and the task library under
# it: every test whose suite name begins with TaskConcurrency or LoopConcurrency (among
# them the stress test of an end announced while its operation is being added). Exits
# non-zero on a failed test or a reported race.
#   scripts/tsan.sh [build]    (build: only build them)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/ccache-env.sh
cmake --preset tsan -DZID_UNITY="${ZID_UNITY:-OFF}" >/dev/null
cmake --build build/tsan -j "$(nproc)" --target fnd_tests RudoreVaz_tests media_tests
[ "${1:-}" != build ] || exit 0

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir build/tsan --output-on-failure --timeout 300 -R '^(TaskConcurrency|LoopConcurrency)'
