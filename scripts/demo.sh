#!/usr/bin/env bash
# The main job: builds and runs the demo host application.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh default
exec build/default/tools/demo/zid_demo "$@"
