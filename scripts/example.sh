#!/usr/bin/env bash
# The host's view, as CI checks it: installs the already-built default build tree into a
# scratch prefix, builds examples/player and examples/host-tour against that prefix alone
# (find_package and the public headers, no path into the build tree), installs them
# there, checks that the package asks a host for no private development package and that
# nothing installed names the checkout, moves the prefix, and with the checkout hidden
# plays the loopback HLS origin's recording to its end with the player (its texts, icons
# and engine traced to the moved prefix) and takes the host tour over a channel and a
# recording with renditions that a loopback media server announces by identifier, then
# over the origin's URLs.
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

# A player host is asked for no development package: the package's files name no system
# library's package or CMake target (runtime library names only), and the host's compile
# line holds the package's include folder and nothing else.
# CMake: no find_package of another package (Threads is CMake's own), no pkg-config, no
# target of another package (a private library is a runtime library's name).
config="$prefix/lib/cmake/Zidoredider"
code="$(cat "$config"/*.cmake | sed 's/#.*//')"
if echo "$code" | grep -E 'find_package|pkg_check_modules|find_dependency\((\s*[^T ]|\s*T[^h])' ||
   echo "$code" | grep -oE '[A-Za-z_0-9]+::' | grep -v -E '(^|_)(Zidoredider|Threads)::$'; then
  echo "example: the package configuration asks a host for another package (above)" >&2
  exit 1
fi
# pkg-config: the only package a component requires is the package itself.
if grep -E -n '^Requires(\.private)?:' "$prefix"/lib/pkgconfig/*.pc | grep -v -E 'Requires: zidoredider = [0-9.]+$'; then
  echo "example: the package's .pc files require another package (above)" >&2
  exit 1
fi
includes="$(ninja -C "$work/build-tour" -t commands zid_host_tour | grep -m1 -- ' -c ' | grep -oE -- ' -(I|isystem) ?[^ ]+' || true)"
if [[ "$(echo "$includes" | grep -c .)" -ne 1 ]]; then
  echo "example: a host's compile line should name the package's include folder only; it names:" >&2
  echo "$includes" >&2
  exit 1
fi
pc_includes="$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags zidoredider-window | grep -oE -- '-I[^ ]+' | sort -u)"
if [[ "$(echo "$pc_includes" | grep -c .)" -ne 1 ]]; then
  echo "example: pkg-config gives a host more than the package's include folder: $pc_includes" >&2
  exit 1
fi
echo "example: a host compiles with one include folder: $(echo $includes)"

# The web engine is a component a host asks for: a host that links Zidoredider::Web has
# it, one that links the player alone has none (and no GTK on its link line). A package
# built without WebKitGTK has no Web component, and nothing to check here.
if [[ -f "$prefix/lib/pkgconfig/zidoredider-web.pc" ]]; then
mkdir -p "$work/web-check"
cat >"$work/web-check/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(ZidorediderWebCheck LANGUAGES CXX)
find_package(Zidoredider 0.1 REQUIRED COMPONENTS Player Web)
file(WRITE ${CMAKE_BINARY_DIR}/check.cpp "#include <web/WebEngine.h>\nint main() { return web::isRealEngineAvailable() ? 0 : 1; }\n")
add_executable(with_web ${CMAKE_BINARY_DIR}/check.cpp)
target_link_libraries(with_web PRIVATE Zidoredider::Web)
add_executable(without_web ${CMAKE_BINARY_DIR}/check.cpp)
target_link_libraries(without_web PRIVATE Zidoredider::Player)
CMAKE
cmake -S "$work/web-check" -B "$work/web-check/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/web-check/build" >/dev/null
"$work/web-check/build/with_web" || { echo "example: a host linking Zidoredider::Web has no web engine" >&2; exit 1; }
if "$work/web-check/build/without_web"; then
  echo "example: a host linking Zidoredider::Player alone has the web engine" >&2
  exit 1
fi
if ldd "$work/web-check/build/without_web" | grep -E 'libwebkit|libgtk'; then
  echo "example: a host without the Web component links GTK (above)" >&2
  exit 1
fi
echo "example: the web engine comes with the Web component only"
fi

# The installed build names no checkout: no path of this checkout or of its build folder in
# the installed libraries or the engine's program.
checkout="$(pwd -P)"
build_abs="$(cd "$build" && pwd -P)"
for file in "$prefix"/lib/libzidoredider*.so.*.*.* "$prefix"/libexec/zidoredider/*; do
  if strings -a "$file" | grep -F -e "$checkout" -e "$build_abs"; then
    echo "example: $file names the checkout or the build folder (above)" >&2
    exit 1
  fi
done

# Relocatable: the prefix moves, and every host below runs from its new place with the
# checkout out of sight (a mount namespace lays an empty folder over it).
moved="$work/moved"
mv "$prefix" "$moved"
prefix="$moved"
if ! unshare -m --propagation private true 2>/dev/null; then
  echo "example: cannot make a mount namespace here (unshare -m) to hide the checkout" >&2
  exit 1
fi
hidden() {
  # The build folder first: it may lie inside the checkout.
  unshare -m --propagation private sh -c 'mount -t tmpfs none "$1" && mount -t tmpfs none "$2" && cd "$3" && shift 3 && exec "$@"' \
    hidden "$build_abs" "$checkout" "$work" "$@"
}

# Each server's output file exists before the server starts: a background job opens its
# redirection only after the fork, so a read at once could find no file.
: >"$work/origin.txt"
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

# A machine with only runtime packages links and runs a host. The files of every
# development package the build brings (those of scripts/packages.txt and the ones they
# pull in, the compiler's own apart) are hidden by an overlay over /usr in a mount
# namespace, the checkout and the build folder too; there a host made from the installed
# examples (the player with CMake, the tour with pkg-config and a compiler) builds, links
# and plays, and readelf shows that it needs the package's libraries and the C and C++
# runtimes only, and ldd that every library below it is found.
host_without_development_packages() {
  local packages toolchain dev
  packages="$(grep -vE '^[[:space:]]*(#|$)' scripts/packages.txt)"
  depends() {
    apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
      --no-replaces --no-enhances "$@" 2>/dev/null | grep -E '^[a-z0-9]' | sed 's/:.*//' | sort -u
  }
  toolchain="$(depends build-essential)"
  dev="$(comm -23 <(depends $packages) <(echo "$toolchain") | grep -E -- '-dev$' || true)"
  [[ -n "$dev" ]] || { echo "example: no development package of scripts/packages.txt is installed" >&2; return 1; }
  # Installed ones only (alternatives name some that are not).
  { dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' $dev 2>/dev/null || true; } |
    awk '$1 == "ii" { print $2 }' >"$work/dev-packages.txt"
  dpkg -L $(cat "$work/dev-packages.txt") | sort -u >"$work/dev-files.txt"
  echo "example: hiding $(wc -l <"$work/dev-files.txt") files of $(wc -l <"$work/dev-packages.txt") development packages"
  mkdir -p "$work/nodev" "$work/nodev-overlay"
  # Whiteouts in the overlay's upper layer, on a tmpfs of the namespace (an overlay cannot
  # take its upper layer from every file system); folders stay, emptied.
  cat >"$work/whiteouts.py" <<'PY'
import os, stat, sys
upper = sys.argv[1]
for line in sys.stdin:
    path = line.rstrip("\n")
    if not path or (os.path.isdir(path) and not os.path.islink(path)):
        continue
    # /lib is /usr/lib on a merged-/usr system: hide the file where it really is.
    path = os.path.join(os.path.realpath(os.path.dirname(path)), os.path.basename(path))
    if not path.startswith("/usr/") or not os.path.lexists(path):
        continue
    target = os.path.join(upper, os.path.relpath(path, "/usr"))
    os.makedirs(os.path.dirname(target), exist_ok=True)
    if not os.path.lexists(target):
        os.mknod(target, stat.S_IFCHR, os.makedev(0, 0))
PY
  cat >"$work/nodev/run.sh" <<'SH'
set -euo pipefail
overlay="$work/nodev-overlay"
mount -t tmpfs none "$overlay"
mkdir "$overlay/upper" "$overlay/work"
python3 "$work/whiteouts.py" "$overlay/upper" <"$work/dev-files.txt"
mount -t overlay overlay -o "lowerdir=/usr,upperdir=$overlay/upper,workdir=$overlay/work" /usr
mount -t tmpfs none "$build_abs"
mount -t tmpfs none "$checkout"
cd "$work/nodev"
if [[ -e /usr/include/gst/gst.h || -e /usr/lib/x86_64-linux-gnu/libcairo.so ]]; then
  echo "example: the overlay hides no development file" >&2
  exit 1
fi
examples="$prefix/share/zidoredider/examples"
cmake -S "$examples/player" -B player -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build player >player-build.txt ||
  { grep -E 'error|cannot find' player-build.txt | sed -n 1,30p; echo "example: the player does not build without development packages" >&2; exit 1; }
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
c++ -O2 "$examples/host-tour/main.cpp" -o tour $(pkg-config --cflags --libs zidoredider-window) \
    -Wl,-rpath,"$prefix/lib"
for program in player/zid_example_player tour; do
  needed="$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
  others="$(echo "$needed" | grep -v -E '^(libzidoredider(-window|-web)?\.so\.[0-9.]+|libstdc\+\+\.so\.6|libm\.so\.6|libgcc_s\.so\.1|libc\.so\.6)$' || true)"
  if [[ -n "$others" || "$(echo "$needed" | grep -c '^libzidoredider')" -eq 0 ]]; then
    echo "example: $program needs $(echo $needed); a host should need the package's libraries and the C and C++ runtimes only" >&2
    exit 1
  fi
  if ldd "$program" | grep 'not found'; then
    echo "example: a library below $program is not found without development packages (above)" >&2
    exit 1
  fi
done
echo "example: without development packages, a host needs $(readelf -d tour | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')"
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" player/zid_example_player "$url" --timeout 120 >player.txt ||
  { cat player.txt; echo "example: the player built without development packages did not play" >&2; exit 1; }
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" ./tour --live "$live" --recording "$master" >tour.txt ||
  { cat tour.txt; echo "example: the tour built without development packages failed" >&2; exit 1; }
SH
  url="$url" live="$(awk '$1 == "live" { print $2 }' "$work/origin.txt")" master="${url%muxed/index.m3u8}master.m3u8" \
    unshare -m --propagation private bash "$work/nodev/run.sh"
}
export work prefix build_abs checkout
host_without_development_packages || { echo "example: a host does not link or run with runtime packages only" >&2; exit 1; }
echo "example: a host built and played with runtime packages only"

# Traced runs of the installed player: what it read under the moved prefix, and that it
# looked for nothing in the checkout.
resources="$prefix/share/zidoredider"
traced() {
  local trace="$1"; shift
  hidden strace -f -qq -e trace=%file -o "$trace" "$@"
}
# Whole-file greps: a reader that stops at its first match (grep -q, head) would end the
# grep before it with SIGPIPE, which pipefail reads as a failed check.
check_trace() {
  local trace="$1"; shift
  local looked
  looked="$(grep -F -e "$checkout" -e "$build_abs" "$trace" || true)"
  if [[ -n "$looked" ]]; then
    echo "$looked" | sed -n 1,5p
    echo "example: the installed player looked into the checkout (above)" >&2
    exit 1
  fi
  for what in "$@"; do
    if [[ "$(grep -E "\"$resources/[^\"]*$what\"" "$trace" | grep -vc ENOENT || true)" -eq 0 ]]; then
      echo "example: the installed player read no $what from $resources" >&2
      exit 1
    fi
  done
}
# Null outputs, and the player's stored state in the scratch folder: its texts and engine
# come from the moved prefix.
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" \
  traced "$work/files.txt" "$prefix/bin/zid_example_player" "$url" --timeout 120
check_trace "$work/files.txt" 'Localizable\.strings'
grep -q "execve(\"$prefix/libexec/zidoredider/zid_media_engine\"" "$work/files.txt" ||
  { echo "example: the installed player did not start the engine under $prefix/libexec" >&2; exit 1; }
# The tour, as a host of its own media server runs it: a channel and a recorded video by
# identifier (the recording's master playlist, with alternative audio and subtitles),
# headless. The players dial wss://r<n>-<cluster>.media.test:443 with n drawn at random,
# so the tour runs in a network namespace of its own where the media server listens on
# 127.0.0.1:443 and answers DNS for media.test (a private resolv.conf names 127.0.0.1);
# the tour trusts the server's test authority through its --trust file, as a host
# trusts its own authority. The HLS origin runs in the namespace too. The toolbar items
# the tour makes draw the icons of the moved prefix.
media_server_tool="$build/tools/media_server/zid_media_server"
[[ -x "$media_server_tool" ]] || { echo "example: $media_server_tool is missing; build the tree first" >&2; exit 1; }
# The servers' PIDs are global to the namespace's shell: its EXIT trap runs after the
# function has returned, when a local array would be gone and the servers left running.
tour_by_identifier() {
  tour_servers=()
  trap 'for pid in "${tour_servers[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done' EXIT
  ip link set lo up
  echo "nameserver 127.0.0.1" >"$work/resolv.conf"
  mount --bind "$work/resolv.conf" /etc/resolv.conf
  : >"$work/tour-origin.txt"
  : >"$work/media-server.txt"
  "$origin_tool" >"$work/tour-origin.txt" &
  tour_servers+=($!)
  local live="" master=""
  for _ in $(seq 1 600); do
    live="$(awk '$1 == "live" { print $2 }' "$work/tour-origin.txt")"
    [[ -n "$live" ]] && break
    sleep 0.1
  done
  [[ -n "$live" ]] || { echo "example: the tour's HLS origin did not say its URLs" >&2; return 1; }
  master="$(awk '$1 == "recording" { print $2 }' "$work/tour-origin.txt")"
  master="${master%muxed/index.m3u8}master.m3u8"
  "$media_server_tool" --port 443 --name-server --trust-out "$work/media-server-authority.pem" \
    --announce tour-channel "$live" --announce tour-video "$master" >"$work/media-server.txt" &
  tour_servers+=($!)
  for _ in $(seq 1 100); do
    grep -q '^media-server 443$' "$work/media-server.txt" && break
    kill -0 "${tour_servers[1]}" 2>/dev/null || { echo "example: the media server did not start" >&2; return 1; }
    sleep 0.1
  done
  grep -q '^media-server 443$' "$work/media-server.txt" || { echo "example: the media server did not start" >&2; return 1; }
  ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" traced "$work/tour-files.txt" "$prefix/bin/zid_host_tour" \
    --media-server media.test --trust "$work/media-server-authority.pem" --channel tour-channel --video tour-video \
    | tee "$work/tour.txt"
}
export -f tour_by_identifier hidden traced
export work prefix origin_tool media_server_tool build_abs checkout
unshare -n -m --propagation private bash -c 'set -euo pipefail; tour_by_identifier' ||
  { echo "example: the host tour by identifier failed" >&2; exit 1; }
for played in 'live channel tour-channel of media.test' 'recording video tour-video of media.test' 'tour: every step passed'; do
  grep -qx "$played" "$work/tour.txt" || { echo "example: the tour did not say \"$played\"" >&2; exit 1; }
done
check_trace "$work/tour-files.txt" '\.png' 'Localizable\.strings'
# The same tour by URL (the host naming a live stream's kind), over the origin outside.
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" hidden "$prefix/bin/zid_host_tour" \
  --live "$(awk '$1 == "live" { print $2 }' "$work/origin.txt")" --recording "${url%muxed/index.m3u8}master.m3u8" \
  >"$work/tour-urls.txt" || { cat "$work/tour-urls.txt"; echo "example: the host tour by URL failed" >&2; exit 1; }
echo "example: the tour by URL: $(tail -1 "$work/tour-urls.txt")"
echo "example: the moved install read $(cat "$work/files.txt" "$work/tour-files.txt" | grep -cE "\"$resources/.*(strings|png)\"") resource files from $resources, none from the checkout"

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
# Its text is laid out in the pinned fonts of the moved prefix.
ZID_MEDIA_NULL_OUTPUT=1 XDG_DATA_HOME="$work/data" traced "$work/window-files.txt" \
  "$prefix/bin/zid_example_player" "$live" --timeout 60 --window --screenshot "$shot"
check_trace "$work/window-files.txt" 'fonts/fonts\.conf'
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
