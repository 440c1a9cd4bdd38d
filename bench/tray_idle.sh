#!/usr/bin/env bash
# Start-up time to "tray icon shown" and idle resident memory of Pelorin's tray app, side by
# side with Flameshot's tray daemon, both under the same Xvfb with trayer as the tray host.
#   bench/tray_idle.sh [BUILD_DIR] [RUNS]
#   PELORIN_COMPARE=/path/to/other/pelorin adds another build to every round (before/after).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
other=${PELORIN_COMPARE:-}
for tool in Xvfb trayer xdotool; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb trayer xdotool)" >&2; exit 1; }
done
peer=flameshot
command -v flameshot >/dev/null || { echo "flameshot is not installed: measuring Pelorin alone" >&2; peer=; }

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1600x1000x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$display
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
trayer=$!
sleep 1
home=$(mktemp -d)
cleanup() { kill "$trayer" "$xvfb" 2>/dev/null || true; rm -rf "$home"; }
trap cleanup EXIT

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# Milliseconds until a window of the given WM_CLASS exists (the tray icon's window, as the app
# is started without its editor window), and the resident set after three idle seconds.
measure() {
  local class=$1; shift
  local start end pid rss n=0
  start=$(date +%s%N)
  HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" "$@" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --classname "$class" >/dev/null 2>&1 || [ $n -gt 2000 ]; do sleep 0.01; n=$((n + 1)); done
  end=$(date +%s%N)
  sleep 3
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  sleep 0.5
  echo "$(( (end - start) / 1000000 )) $rss"
}

ps=(); pr=(); fs=(); fr=(); os=(); or=()
for _ in $(seq "$runs"); do
  read -r t r <<<"$(measure pelorin "$build/src/pelorin" --background)"; ps+=("$t"); pr+=("$r")
  if [ -n "$other" ]; then
    read -r t r <<<"$(measure pelorin "$other" --background)"; os+=("$t"); or+=("$r")
  fi
  if [ -n "$peer" ]; then
    read -r t r <<<"$(measure flameshot flameshot)"; fs+=("$t"); fr+=("$r")
  fi
done
echo "Pelorin:   tray shown after $(printf '%s\n' "${ps[@]}" | median) ms, idle RSS $(printf '%s\n' "${pr[@]}" | median) kB (median of $runs)"
[ -z "$other" ] ||
  echo "Compared:  tray shown after $(printf '%s\n' "${os[@]}" | median) ms, idle RSS $(printf '%s\n' "${or[@]}" | median) kB (median of $runs)"
[ -z "$peer" ] ||
  echo "Flameshot: tray shown after $(printf '%s\n' "${fs[@]}" | median) ms, idle RSS $(printf '%s\n' "${fr[@]}" | median) kB (median of $runs)"
