#!/usr/bin/env bash
# Frames the same 2880 × 1800 screenshot with `pelorin render` and with ImageMagick's
# `convert` (gradient background, rounded corners, drop shadow, same output size), several
# times each in one run, and prints the median wall time of each and their ratio.
#   bench/compare_imagemagick.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-7}
command -v convert >/dev/null || { echo "ImageMagick is needed: apt-get install imagemagick" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The bundled 1600 × 1000 sample scaled to a 2880 × 1800 capture of a 2× screen (144 dpi).
convert resources/sample-screenshot.png -resize 2880x1800! -units PixelsPerInch -density 144 "$work/in.png"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }

# Default style at 2 pixels per point: radius 18 pt = 36 px, shadow blur 40 pt, offset 20 pt
# down, opacity 0.5, the oceanBreeze gradient, output the size of the card (padding 0).
ours() { "$build/src/pelorin" render "$work/in.png" -o "$work/ours.png"; }
theirs() {
  convert -size 2880x1800 gradient:'#3399e6-#66ccf2' -rotate 0 "$work/bg.png"
  convert "$work/in.png" \
    \( +clone -alpha extract -fill black -draw 'color 0,0 reset' -fill white \
       -draw 'roundrectangle 0,0 2879,1799 36,36' \) -alpha off -compose CopyOpacity -composite \
    \( +clone -background black -shadow 50x40+0+40 \) +swap -background none -compose Over -layers merge +repage \
    "$work/card.png"
  convert "$work/bg.png" "$work/card.png" -gravity center -compose Over -composite -crop 2880x1800+0+0 +repage "$work/theirs.png"
}

ours_times=(); theirs_times=()
for _ in $(seq "$runs"); do
  ours_times+=("$(time_ms ours)")
  theirs_times+=("$(time_ms theirs)")
done
o=$(printf '%s\n' "${ours_times[@]}" | median)
t=$(printf '%s\n' "${theirs_times[@]}" | median)
echo "pelorin render:     ${o} ms median of ${runs} ($(stat -c %s "$work/ours.png") bytes)"
echo "ImageMagick convert: ${t} ms median of ${runs} ($(stat -c %s "$work/theirs.png") bytes)"
awk -v o="$o" -v t="$t" 'BEGIN { printf "ratio pelorin / ImageMagick: %.2f\n", o / t }'
