#!/usr/bin/env bash
# Runs a command with what the real web engine's tests need in CI: an X server of its
# own (Xvfb on a free display), no GPU, a fresh home and XDG folders, and the web
# process sandbox when this machine can make its namespaces. A missing display then
# fails those tests instead of skipping them.
#   scripts/with-display.sh <command> [args...]
set -euo pipefail
# The compiler cache stays where it is: the fresh home below must not hide it.
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/data" "$scratch/cache" "$scratch/config" "$scratch/run"
chmod 700 "$scratch/run"
export HOME="$scratch" XDG_DATA_HOME="$scratch/data" XDG_CACHE_HOME="$scratch/cache" \
       XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run"
export WEBKIT_DISABLE_COMPOSITING_MODE=1 WEBKIT_DISABLE_DMABUF_RENDERER=1 LIBGL_ALWAYS_SOFTWARE=1
export ZID_REQUIRE_DISPLAY=1
# As root in a container the sandbox often cannot make its namespaces; only then is it
# turned off, and the run says so.
if ! bwrap --ro-bind / / --unshare-all --die-with-parent true >/dev/null 2>&1; then
  echo "with-display: bwrap cannot create namespaces here; web processes run without their sandbox" >&2
  export WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1
fi
# Not exec: the scratch folder is removed when the command ends.
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$@"
