#!/usr/bin/env bash
# How soon the editor window shows its chrome and the screenshot, with Mesa's shader cache
# cold (a new, empty cache folder) and warm (the same folder again), each in a fresh process
# under its own Xvfb:
#   bench/editor_open.sh [BUILD_DIR] [RUNS]
# Prints every run and the medians per case. The tray program makes its editor window at
# start-up; the canvas makes its GL context once a capture starts, so "after capture" (a
# capture that takes 500 ms from the key to the picked area) is what a user sees. Without
# the capture the GL context and the shading programs are made after the screenshot arrives.
set -euo pipefail
build=${1:-build}
runs=${2:-5}
bench="$build/bench/bench_editor_open"
[[ -x $bench ]] || { echo "editor_open.sh: build bench_editor_open first ($bench)" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

run() { # cache-dir mode label
    local line
    line=$(MESA_SHADER_CACHE_DIR="$1" xvfb-run -a -s "-screen 0 1920x1080x24" "$bench" $2 2>/dev/null | tail -1)
    echo "$3 $line" | tee -a "$out/all"
}

for ((i = 0; i < runs; i++)); do
    for mode in "" "--made-at-start" "--made-at-start --capture-ms 500"; do
        case $mode in
            "") label=made-at-once ;;
            --made-at-start) label=made-at-start ;;
            *) label=after-capture ;;
        esac
        cache="$out/cache-$i-$label"
        run "$cache" "$mode" "cold/$label"
        run "$cache" "$mode" "warm/$label"
    done
done

echo "medians (ms):"
for case in cold/made-at-once warm/made-at-once cold/made-at-start warm/made-at-start cold/after-capture \
    warm/after-capture; do
    grep "^$case " "$out/all" | awk -v c="$case" '
        { e[NR] = $3; p[NR] = $5; s[NR] = $7 }
        function med(a, n,   i, j, t) {
            for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        END { printf "%-20s exposed %6.1f  first paint %6.1f  screenshot %6.1f  (first paint after expose %6.1f)\n",
              c, med(e, NR), med(p, NR), med(s, NR), med(p, NR) - med(e, NR) }'
done
