#!/usr/bin/env bash
# What a user waits for around a capture, Pelorin side by side with Ksnip (Debian's ksnip) in
# one run, each app already running, under Xvfb with a window manager and a tray host:
#   bench/capture_open.sh [BUILD_DIR] [RUNS]
#   PELORIN_COMPARE=/path/to/other/bin/pelorin adds another build to every round (before/after).
# Rows, in milliseconds (median of RUNS, load beside them):
#   capture  `pelorin --capture` / `ksnip -r` until the selection overlay covers the screen
#   release  the dragged area taken (Ksnip: the button let go; Pelorin: Enter) until the editor shows it
#            (the desktop is one colour; the editor's centre must show it)
#   open     `pelorin FILE` / `ksnip FILE` (a 2880×1800 screenshot, 1.9 MB) until the editor
#            shows it (the picture's middle is one colour; the editor's centre must show it)
# Each round starts the apps afresh and lets them settle for two seconds first.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
other=${PELORIN_COMPARE:-}
wait_for="$build/bench/bench_window_wait"
[[ -x $wait_for ]] || { echo "capture_open.sh: build bench_window_wait first ($wait_for)" >&2; exit 2; }
for tool in Xvfb openbox trayer xdotool xsetroot convert ksnip; do
  command -v "$tool" >/dev/null || { echo "needs $tool (apt-get install xvfb openbox trayer xdotool x11-xserver-utils imagemagick ksnip)" >&2; exit 1; }
done

work=$(mktemp -d)
# A display of our own: Xvfb picks a free number and tells it.
exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -t 10 -u "$fd" number || { echo "capture_open.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$number
openbox >/dev/null 2>&1 &
wm=$!
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
trayer=$!
app=
cleanup() {
  [ -z "$app" ] || kill "$app" 2>/dev/null || true
  kill "$trayer" "$wm" "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A screenshot-like picture: a gradient with grain under rows of bars, the middle one colour.
draw=$(for ((y = 40; y < 1800; y += 36)); do for ((x = 80; x < 2800; x += 170)); do
  echo "fill rgb($((60 + x % 80)),70,$((90 + y % 60))) rectangle $x,$y,$((x + 60 + (x * 7 + y * 3) % 90)),$((y + 14))"
done; done)
convert -size 2880x1800 gradient:'#f0f2f6-#d2dae6' -depth 8 -attenuate 0.15 +noise Uniform -draw "$draw" \
  -fill '#00c000' -draw 'rectangle 576,360 2304,1440' -density 144 -units PixelsPerInch PNG24:"$work/shot.png"

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share \
  XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# start NAME COMMAND...: the app in the background, once its first window (tray icon or main
# window) exists, then two seconds to settle.
start() {
  local class=$1 n=0; shift
  "$@" >/dev/null 2>&1 &
  app=$!
  until xdotool search --classname "$class" >/dev/null 2>&1 || [ $n -gt 300 ]; do sleep 0.05; n=$((n + 1)); done
  sleep 2
}
stop() { kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true; app=; sleep 0.3; }
drag() { xdotool mousemove 100 100 mousedown 1 mousemove 800 600 mousemove 1500 900; sleep 0.2; }
# Ksnip captures as the button is let go; Pelorin's overlay keeps the area to adjust until
# Enter (or a double click) takes it: there the key press is timed.

measure() { # label app-class overlay-class editor-class start-command capture-command open-command release-word
  local label=$1 class=$2 overlay=$3 editor=$4 starter=$5 capture=$6 open=$7 release=$8 c r o
  xsetroot -solid '#ff00ff' # here: the window manager paints the root once it has started
  # shellcheck disable=SC2086
  start "$class" $starter
  # shellcheck disable=SC2086
  c=$("$wait_for" --class "$overlay" --size 1920x1080 -- $capture || true)
  sleep 0.5
  drag
  if [ "$release" = pelorin ]; then xdotool mouseup 1; sleep 0.3; release="xdotool key Return"; else release="xdotool mouseup 1"; fi
  # shellcheck disable=SC2086
  r=$("$wait_for" --class "$editor" --size 500x400 --not-size 1920x1080 --colour ff00ff -- $release || true)
  stop
  # shellcheck disable=SC2086
  start "$class" $starter
  # shellcheck disable=SC2086
  o=$("$wait_for" --class "$editor" --size 500x400 --colour 00c000 -- $open "$work/shot.png" || true)
  stop
  echo "$label $c $r $o $(cut -d' ' -f1 /proc/loadavg)" | tee -a "$work/all"
}

pelorin=$build/src/pelorin
for ((i = 0; i < runs; i++)); do
  measure pelorin pelorin pelorin-screencapture pelorin "$pelorin --background" "$pelorin --capture" "$pelorin" pelorin
  [ -z "$other" ] ||
    measure compared pelorin pelorin-screencapture pelorin "$other --background" "$other --capture" "$other" pelorin
  measure ksnip ksnip ksnip ksnip ksnip "ksnip -r" ksnip ksnip
done

echo "medians (ms; -1: not seen within 10 s; load is the 1-minute average during the rounds):"
for label in pelorin compared ksnip; do
  grep -q "^$label " "$work/all" || continue
  grep "^$label " "$work/all" | awk -v l="$label" '
    { for (k = 2; k <= 5; k++) v[k, NR] = $k }
    function med(k, n,   i, j, t, a) {
      for (i = 1; i <= n; i++) a[i] = v[k, i]
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
      return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    END { printf "%-9s capture→overlay %5.0f  release→editor %5.0f  file→editor %5.0f  (load %.1f)\n",
          l, med(2, NR), med(3, NR), med(4, NR), med(5, NR) }'
done
