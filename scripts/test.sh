#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test.
#   scripts/test.sh [preset]    (presets: default, asan, tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/install-deps.sh
scripts/build.sh "$preset"
# Tests that build (the installed headers' check) share the build's compiler cache.
source scripts/ccache-env.sh
cd "build/$preset"
ctest --output-on-failure -j "$(nproc)" --timeout 300
