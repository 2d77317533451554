#!/usr/bin/env bash
# The host's view, as CI checks it: installs the already-built default build tree into a
# scratch prefix, builds examples/player and examples/host-tour against that prefix alone
# (find_package and the public headers, no path into the build tree), installs them
# there, plays the loopback HLS origin's recording to its end with the player and takes
# the host tour over the origin's live stream and its recording with renditions.
#   scripts/example.sh [build-dir]     (default: build/default, built beforehand)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
origin_tool="$build/tools/hls_origin/zid_hls_origin"
if [[ ! -x "$origin_tool" ]]; then
  echo "example: $origin_tool is missing; build the tree first (scripts/build.sh)" >&2
  exit 2
fi

work="$(mktemp -d /tmp/zid-example-XXXXXX)"
origin_pid=""
cleanup() {
  if [[ -n "$origin_pid" ]]; then kill "$origin_pid" 2>/dev/null || true; wait "$origin_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

prefix="$work/prefix"
echo "example: installing into $prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
echo "example: $(find "$prefix/include" -name '*.h' | wc -l) public headers installed"
cmake -S examples/player -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work/build"
cmake --install "$work/build" >/dev/null
cmake -S examples/host-tour -B "$work/build-tour" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$work/build-tour"
cmake --install "$work/build-tour" >/dev/null

"$origin_tool" >"$work/origin.txt" &
origin_pid=$!
url=""
for _ in $(seq 1 600); do
  url="$(awk '$1 == "recording" { print $2 }' "$work/origin.txt")"
  [[ -n "$url" ]] && break
  kill -0 "$origin_pid" 2>/dev/null || { echo "example: the HLS origin did not start" >&2; exit 1; }
  sleep 0.1
done
[[ -n "$url" ]] || { echo "example: the HLS origin did not say its URL" >&2; exit 1; }

# Null outputs, and the player's stored state in the scratch folder.
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" "$prefix/bin/zid_example_player" "$url" --timeout 120
# The tour: the live stream, then the recording's master playlist (alternative audio and
# subtitles), headless.
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" "$prefix/bin/zid_host_tour" \
  --live "$(awk '$1 == "live" { print $2 }' "$work/origin.txt")" --recording "${url%muxed/index.m3u8}master.m3u8"

# In a desktop window: the live channel to its first picture, read back from the X
# server. Without a display this part is left out, unless ZID_REQUIRE_DISPLAY=1 (CI,
# under scripts/with-display.sh), where a missing display fails.
if [[ -z "${DISPLAY:-}" ]]; then
  if [[ "${ZID_REQUIRE_DISPLAY:-}" == 1 ]]; then
    echo "example: no display for the window mode (DISPLAY is not set)" >&2
    exit 1
  fi
  echo "example: no display; the window mode is left out (scripts/with-display.sh gives one)"
  exit 0
fi
live="$(awk '$1 == "live" { print $2 }' "$work/origin.txt")"
shot="$work/first-picture.png"
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" "$prefix/bin/zid_example_player" "$live" --timeout 60 \
  --window --screenshot "$shot"
# The picture shows the frame: the test pattern's colours, not an empty black window.
stats="$(ffprobe -v error -f lavfi -i "movie=$shot,signalstats" \
         -show_entries frame_tags=lavfi.signalstats.YAVG,lavfi.signalstats.YMAX -of default=nw=1:nk=1)"
read -r yavg ymax <<<"$(echo $stats)"
echo "example: window picture: mean luma $yavg, brightest $ymax"
awk -v a="$yavg" -v m="$ymax" 'BEGIN { exit !(a > 40 && m > 150) }' || {
  echo "example: the window's picture shows no frame ($shot)" >&2
  cp "$shot" /tmp/zid-example-window.png 2>/dev/null && echo "example: kept as /tmp/zid-example-window.png" >&2
  exit 1
}
