#!/usr/bin/env bash
# How long the facade's headers take to parse, against <bits/stdc++.h> in the same run:
# g++ -std=c++20 -fsyntax-only, the compiler's CPU time, best of five each, taken turn
# about so that a busy machine slows all alike. Fails when a header takes more than its
# allowed share in three measurements running.
#   scripts/header-parse-time.sh <build-dir> [header max-ratio]...
# Without headers: the facade's own header at 0.6 and the host's one header,
# <Zidoredider/Player.h> (the facade, its toolbars and items, views, the run loop), at 1.0.
# The include folders are those the build gives the facade's own sources
# (compile_commands.json of the build).
set -euo pipefail
build="${1:?build folder}"
shift
if [[ $# -eq 0 ]]; then set -- QXSDKPlayer/Common/QXQuorvexPlayer.h 0.6 Zidoredider/Player.h 1.0; fi
headers=() maxes=()
while [[ $# -gt 0 ]]; do
    headers+=("$1") maxes+=("${2:?max-ratio of $1}")
    shift 2
done
cxx="${CXX:-g++}"
commands="$build/compile_commands.json"
[[ -f "$commands" ]] || { echo "header-parse-time: $commands is missing" >&2; exit 2; }

# The -I and -isystem folders of one of the facade's sources.
mapfile -t flags < <(python3 - "$commands" <<'PY'
import json, shlex, sys
entries = json.load(open(sys.argv[1]))
# The facade's own source, or (in a build that compiles sources in batches) a batch of
# its library: both see the same include folders.
own = [e for e in entries if e["file"].endswith("QXSDKPlayer/src/Common/QXQuorvexPlayer.cpp")]
batch = [e for e in entries if "/QXSDKPlayer.dir/" in e.get("output", e.get("command", ""))]
for entry in (own or batch)[:1]:
    args = entry.get("arguments") or shlex.split(entry["command"])
    i = 0
    while i < len(args):
        a = args[i]
        if a in ("-I", "-isystem"):
            print(a); print(args[i + 1]); i += 2; continue
        if a.startswith("-I") or a.startswith("-isystem"):
            print(a)
        i += 1
PY
)
[[ ${#flags[@]} -gt 0 ]] || { echo "header-parse-time: no compile command of the facade in $commands" >&2; exit 2; }

work="$(mktemp -d /tmp/zid-parse-XXXXXX)"
trap 'rm -rf "$work"' EXIT
echo "#include <bits/stdc++.h>" >"$work/std.cpp"
for ((h = 0; h < ${#headers[@]}; ++h)); do echo "#include <${headers[$h]}>" >"$work/header$h.cpp"; done

# Only the folders the header's own includes come from, as on a host's compile line
# (there, one folder of the installed package): every folder more is searched for every
# standard header too, which would weigh on the header's side alone.
used="$(for ((h = 0; h < ${#headers[@]}; ++h)); do
          "$cxx" -std=c++20 -fsyntax-only -H "${flags[@]}" "$work/header$h.cpp" 2>&1 >/dev/null | sed -n 's/^\.* //p'
        done)"
kept=()
for ((i = 0; i < ${#flags[@]}; ++i)); do
    flag="${flags[$i]}" dir=""
    case "$flag" in
        -I|-isystem) dir="${flags[$((i + 1))]}"; ((++i)) ;;
        -isystem*) dir="${flag#-isystem}"; flag="-isystem" ;;
        -I*) dir="${flag#-I}"; flag="-I" ;;
    esac
    [[ -n "$dir" ]] && grep -q "^${dir%/}/" <<<"$used" && kept+=("$flag" "$dir")
done
flags=("${kept[@]}")
echo "header-parse-time: include folders ${flags[*]}"

seconds() {  # the compiler's CPU time (user + system) for one parse, in seconds: unlike
            # the wall time, it hardly moves when other work shares the machine
    local TIMEFORMAT='%3U %3S' times
    times=$( { time "$cxx" -std=c++20 -fsyntax-only "${flags[@]}" "$1" >/dev/null 2>&1; } 2>&1 )
    echo "${times% *} + ${times#* }" | bc -l
}
# One measurement: best of five each, taken turn about. A machine busy with other work
# (CI runs the tests side by side) can still slow a header's parse more than the standard
# library's in one measurement, so a ratio over the bound is measured again, up to three
# times in all: a header that really grew is over in every one.
measure() {
    local best_std=1000 t h
    local best=()
    for ((h = 0; h < ${#headers[@]}; ++h)); do best+=(1000); done
    for _ in 1 2 3 4 5; do
        t=$(seconds "$work/std.cpp"); best_std=$(echo "if ($t < $best_std) $t else $best_std" | bc -l)
        for ((h = 0; h < ${#headers[@]}; ++h)); do
            t=$(seconds "$work/header$h.cpp"); best[$h]=$(echo "if ($t < ${best[$h]}) $t else ${best[$h]}" | bc -l)
        done
    done
    over=0
    for ((h = 0; h < ${#headers[@]}; ++h)); do
        ratio=$(echo "${best[$h]} / $best_std" | bc -l)
        printf 'header-parse-time: <%s> %.2f s, <bits/stdc++.h> %.2f s, ratio %.2f (at most %s)\n' \
               "${headers[$h]}" "${best[$h]}" "$best_std" "$ratio" "${maxes[$h]}"
        awk -v r="$ratio" -v m="${maxes[$h]}" 'BEGIN { exit !(r <= m) }' || over=1
    done
}
for attempt in 1 2 3; do
    measure
    [[ $over -eq 0 ]] && exit 0
done
echo "header-parse-time: a header parses too slowly in three measurements; keep engine headers and per-class template code out of it" >&2
exit 1
