#!/usr/bin/env bash
# Compiler-cache settings shared by every build script (source it). Paths inside the
# tree are hashed relative to its root and the build folder's own path is left out of
# the hash, so a fresh clone in another folder (as CI makes) reuses what an earlier
# build of the same sources compiled. The cache lives outside the clone.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-25G}"
# Kept in the cache's own configuration too, so a build that does not source this file
# (a host's, a tool's) does not trim the cache back to ccache's default 5 GB.
if command -v ccache >/dev/null; then ccache --max-size "$CCACHE_MAXSIZE" >/dev/null 2>&1 || true; fi
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
