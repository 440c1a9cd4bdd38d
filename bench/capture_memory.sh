#!/usr/bin/env bash
# Memory of the tray app idle and after N captures, each shown in the editor and closed
# again with Ctrl+W, side by side with Flameshot's daemon taking N captures (`flameshot
# full`), under one Xvfb with openbox. PSS from /proc/PID/smaps_rollup, 50 s after the last step:
# the app returns freed memory 2 s after its editor closes, and library pages 40 s after that.
#   bench/capture_memory.sh [BUILD_DIR] [CAPTURES]
#   PELORIN_COMPARE=/path/to/other/pelorin adds another build (before/after).
#   PELORIN_MEMORY_SMAPS=DIR keeps /proc/PID/smaps of each round, idle and after, to see where
#   the growth is (bench/smaps_growth.py DIR/LABEL-idle DIR/LABEL-after sums it by mapping).
# Captures are a 2880 × 1800 screenshot handed over by a stand-in capture tool (the real one
# needs a user to pick an area).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
captures=${2:-10}
other=${PELORIN_COMPARE:-}
for tool in Xvfb openbox xdotool convert dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb openbox xdotool imagemagick dbus)" >&2; exit 1; }
done
if [ -z "${PELORIN_MEMORY_IN_SESSION:-}" ]; then
  # Flameshot talks to its daemon over the session bus.
  PELORIN_MEMORY_IN_SESSION=1 exec dbus-run-session -- "$0" "$@"
fi
source bench/x-desktop.sh
start_desktop ":$((70 + RANDOM % 9))"
cat >"$work/capture-tool" <<EOF
#!/bin/sh
eval out=\\\${\$#}
cp '$work/shot.png' "\$out"
EOF
chmod +x "$work/capture-tool"

pss() { awk '/^Pss:/ {print $2}' "/proc/$1/smaps_rollup"; }
keep_smaps() { [ -z "${PELORIN_MEMORY_SMAPS:-}" ] || { mkdir -p "$PELORIN_MEMORY_SMAPS"; cp "/proc/$1/smaps" "$PELORIN_MEMORY_SMAPS/$2"; }; }

# The app's own editor window (not the tray icon's) is shown, or gone.
editor_shown() { xdotool search --onlyvisible --name '^Pelorin' 2>/dev/null | head -1; }

pelorin_round() { # label pelorin-binary
  local label=$1 bin=$2 home="$work/home-$1" pid idle after win n
  mkdir -p "$home/.config/Pelorin"
  printf '{"captureToolPath": "%s"}\n' "$work/capture-tool" \
    >"$home/.config/Pelorin/Pelorin.json"
  export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_CACHE_HOME=$home/.cache
  "$bin" --background >/dev/null 2>&1 &
  pid=$!
  sleep 4
  # The launcher execs the app; the process keeps its id.
  idle=$(pss "$pid")
  keep_smaps "$pid" "$label-idle"
  for ((i = 0; i < captures; i++)); do
    "$bin" --capture >/dev/null 2>&1 || true
    n=0
    until win=$(editor_shown) && [ -n "$win" ] || [ $n -gt 100 ]; do sleep 0.1; n=$((n + 1)); done
    sleep 0.5
    xdotool windowactivate --sync "$win" key --clearmodifiers ctrl+w 2>/dev/null || true
    n=0
    while [ -n "$(editor_shown)" ] && [ $n -le 50 ]; do sleep 0.1; n=$((n + 1)); done
  done
  sleep 50
  after=$(pss "$pid")
  keep_smaps "$pid" "$label-after"
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "$label: idle PSS $((idle / 1024)) MB, after $captures captures (editor closed) $((after / 1024)) MB, growth $(((after - idle) / 1024)) MB"
}

pelorin_round Pelorin "$build/src/pelorin"
[ -z "$other" ] || pelorin_round Compared "$other"

if command -v flameshot >/dev/null; then
  export HOME=$work/home-flameshot XDG_CONFIG_HOME=$work/home-flameshot/.config
  mkdir -p "$HOME/shots"
  flameshot >/dev/null 2>&1 &
  pid=$!
  sleep 4
  idle=$(pss "$pid")
  for ((i = 0; i < captures; i++)); do
    flameshot full -p "$HOME/shots" >/dev/null 2>&1 || true
    sleep 1
  done
  sleep 15
  after=$(pss "$pid")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  echo "Flameshot: idle PSS $((idle / 1024)) MB, after $captures captures $((after / 1024)) MB, growth $(((after - idle) / 1024)) MB ($(ls "$HOME/shots" | wc -l) files)"
else
  echo "flameshot is not installed: Pelorin alone" >&2
fi
