#!/usr/bin/env bash
# Configures and builds a preset (default: "default"): scripts/build.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

source scripts/ccache-env.sh
cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" -j "$(nproc)"
