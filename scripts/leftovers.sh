#!/usr/bin/env bash
# Fails when a process of this checkout outlives the run that started it: any process
# whose working folder or program lies inside the checkout (a deleted one included),
# other than this script and the shells that called it. Servers, engine processes and
# peers that a script or test forgot to end would otherwise live on after CI.
#   scripts/leftovers.sh [seconds to wait for them to end]    (default 10)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd -P)"
grace="${1:-10}"

ancestors=" "
pid=$$
while [[ "$pid" -gt 1 ]]; do
  ancestors+="$pid "
  pid="$(awk '{ print $4 }' "/proc/$pid/stat" 2>/dev/null || echo 1)"
done

inside() { [[ "$1" == "$root" || "$1" == "$root/"* || "$1" == "$root (deleted)" || "$1" == "$root/"*" (deleted)" ]]; }

leftovers() {
  local dir pid cwd exe
  for dir in /proc/[0-9]*; do
    pid="${dir#/proc/}"
    [[ "$ancestors" == *" $pid "* ]] && continue
    cwd="$(readlink "$dir/cwd" 2>/dev/null || true)"
    exe="$(readlink "$dir/exe" 2>/dev/null || true)"
    # The pipelines of this script itself are its children.
    [[ "$(awk '{ print $4 }' "$dir/stat" 2>/dev/null || true)" == "$$" ]] && continue
    if { [[ -n "$cwd" ]] && inside "$cwd"; } || { [[ -n "$exe" ]] && inside "$exe"; }; then
      echo "$pid $(tr '\0' ' ' <"$dir/cmdline" 2>/dev/null | cut -c1-200)"
    fi
  done
}

for (( waited = 0; ; ++waited )); do
  left="$(leftovers)"
  [[ -z "$left" ]] && { echo "leftovers: no process of $root is left"; exit 0; }
  (( waited >= grace )) && break
  sleep 1
done
echo "leftovers: these processes of $root outlived the run:" >&2
echo "$left" >&2
exit 1
