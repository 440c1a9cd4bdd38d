#!/usr/bin/env bash
# Frames the same 2880 × 1800 screenshot with `pelorin render` and with one ImageMagick
# `convert` process each, with and without the drop shadow, runs both alternately several times
# and prints the median wall time of each and their ratio.
#   bench/compare_imagemagick.sh [BUILD_DIR] [RUNS]
#
# Both sides make the same picture: the default style at 2 pixels per point, padding 0 (the
# output is the card's size), corners of 18 pt = 36 px, the oceanBreeze gradient from the
# top-left to the bottom-right corner (#3399e6 to #66ccf2), 8-bit RGB PNG output of the same
# size with the card in the same place. The shadow is 50 % black, 20 pt = 40 px down, with a
# 40 pt blur: Pelorin shades it analytically on the GPU path; ImageMagick has to blur the
# card's alpha with a Gaussian (sigma 40 px, about the same reach), which is most of its cost.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
command -v convert >/dev/null || { echo "ImageMagick is needed: apt-get install imagemagick" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

w=2880 h=1800
# The bundled 1600 × 1000 sample scaled to a 2880 × 1800 capture of a 2× screen (144 dpi).
convert resources/sample-screenshot.png -resize ${w}x${h}! -units PixelsPerInch -density 144 "$work/in.png"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }

ours_shadow() { "$build/src/pelorin" render "$work/in.png" -o "$work/ours-shadow.png"; }
ours_flat() { "$build/src/pelorin" render "$work/in.png" --shadow-opacity 0 -o "$work/ours-flat.png"; }

# One process: gradient, rounded card, optionally its shadow under it, flattened onto the
# gradient's canvas (which also crops the shadow to the output).
theirs() {
  local out=$1 shadow=$2
  local shadow_layer=()
  [[ $shadow == yes ]] && shadow_layer=(\( -clone 1 -background black -shadow 50x40+0+40 \) -swap 1,2)
  convert -size ${w}x${h} -define gradient:vector=0,0,$((w - 1)),$((h - 1)) gradient:'#3399e6-#66ccf2' \
    \( "$work/in.png" -alpha set \
       \( -size ${w}x${h} xc:black -fill white -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) 36,36" \) \
       -alpha off -compose CopyOpacity -composite \) \
    "${shadow_layer[@]}" \
    -background none -compose Over -layers flatten -alpha off -depth 8 \
    -units PixelsPerInch -density 144 "PNG24:$out"
}
theirs_shadow() { theirs "$work/theirs-shadow.png" yes; }
theirs_flat() { theirs "$work/theirs-flat.png" no; }

declare -A times
for _ in $(seq "$runs"); do
  for job in ours_shadow theirs_shadow ours_flat theirs_flat; do
    times[$job]+="$(time_ms $job) "
  done
done
med() { printf '%s\n' ${times[$1]} | median; }
describe() { identify -format '%wx%h %[channels] %[depth]-bit' "$1"; }
for kind in shadow flat; do
  o=$(med ours_$kind) t=$(med theirs_$kind)
  label=$([[ $kind == shadow ]] && echo "with shadow" || echo "no shadow")
  echo "$label:"
  echo "  pelorin render:      ${o} ms median of ${runs} ($(stat -c %s "$work/ours-$kind.png") bytes, $(describe "$work/ours-$kind.png"))"
  echo "  ImageMagick convert: ${t} ms median of ${runs} ($(stat -c %s "$work/theirs-$kind.png") bytes, $(describe "$work/theirs-$kind.png"))"
  awk -v o="$o" -v t="$t" 'BEGIN { printf "  ratio pelorin / ImageMagick: %.2f\n", o / t }'
done
