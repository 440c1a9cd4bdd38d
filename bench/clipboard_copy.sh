#!/usr/bin/env bash
# Ctrl+C in the editor to the image on offer, side by side with Ksnip's editor, under one
# Xvfb with openbox, in turns: each round opens a 2880 × 1800 screenshot in a fresh process
# of each program, waits until it has settled, then presses Ctrl+C twice (a first and a
# second copy), each watched by bench_clipboard_offer from another X client.
#   bench/clipboard_copy.sh [BUILD_DIR] [ROUNDS]
#   PELORIN_COMPARE=/path/to/other/pelorin adds another build to every round (before/after).
# Prints every copy (milliseconds from the key press: new clipboard owner, image/png among
# its targets, the PNG pasted) and the medians of "offers image/png" per program and copy.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
other=${PELORIN_COMPARE:-}
watch="$build/bench/bench_clipboard_offer"
[[ -x $watch ]] || { echo "clipboard_copy.sh: build bench_clipboard_offer first ($watch)" >&2; exit 2; }
for tool in Xvfb openbox xdotool convert; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb openbox xdotool imagemagick)" >&2; exit 1; }
done
source bench/x-desktop.sh
start_desktop ":$((80 + RANDOM % 9))"

# Starts a program on the screenshot, copies twice from its window, stops it.
round() { # label window-class command…
  local label=$1 class=$2 win n pid
  shift 2
  local home="$work/home-$label"
  mkdir -p "$home/.config/Pelorin"
  # Pelorin's editor stays open after a copy, so the second copy has a window to come from.
  echo '{"copyFollowUp": "stay"}' >"$home/.config/Pelorin/Pelorin.json"
  HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache \
    XDG_RUNTIME_DIR=$home/run "$@" >/dev/null 2>&1 &
  pid=$!
  n=0
  until win=$(xdotool search --onlyvisible --class "$class" 2>/dev/null | tail -1) && [ -n "$win" ] || [ $n -gt 200 ]; do
    sleep 0.1; n=$((n + 1))
  done
  sleep 4
  for copy in first second; do
    xdotool windowactivate --sync "$win" 2>/dev/null || true
    sleep 1
    echo "$label $copy $("$watch" --out "$work/$label-$copy.png" || true)" | tee -a "$work/all"
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  sleep 0.5
}

for ((i = 0; i < rounds; i++)); do
  round pelorin '^pelorin$' "$build/src/pelorin" "$work/shot.png"
  [ -z "$other" ] || round compared '^pelorin$' "$other" "$work/shot.png"
  if command -v ksnip >/dev/null; then
    round ksnip '^ksnip$' ksnip -e "$work/shot.png"
  fi
done
echo "medians, ms from Ctrl+C to image/png on offer (and to the PNG pasted):"
for label in pelorin compared ksnip; do
  for copy in first second; do
    grep "^$label $copy " "$work/all" | awk -v l="$label" -v c="$copy" '
      { o[NR] = $6; p[NR] = $8 }
      function med(a, n,   i, j, t) {
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
      }
      END { if (NR) printf "%-9s %-6s offers %7.1f  pasted %7.1f  (%d copies)\n", l, c, med(o, NR), med(p, NR), NR }'
  done
done
