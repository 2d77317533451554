#!/usr/bin/env bash
# Configures and builds a preset (default: "default"): scripts/build.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

source scripts/ccache-env.sh
# ZID_UNITY=ON (CI sets it) compiles each target's sources in batches: a build from
# nothing takes far less compiler time, an edit recompiles its whole batch.
cmake --preset "$preset" -DZID_UNITY="${ZID_UNITY:-OFF}" -DZID_BENCH_OPTIMIZE="${ZID_BENCH_OPTIMIZE:-}" >/dev/null
cmake --build "build/$preset" -j "$(nproc)"
