#!/usr/bin/env bash
# Peak memory of `pelorin render` at two output sizes (padding 0, so the output is the input's
# size), fitted to base + bytes per output pixel.
#   bench/export_memory.sh [BUILD_DIR] [PELORIN]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
pelorin=${2:-$build/src/pelorin}
command -v convert >/dev/null || { echo "ImageMagick is needed: apt-get install imagemagick" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

peak_kb() { /usr/bin/time -f '%M' "$pelorin" render "$1" -o "$work/out.png" 2>&1 >/dev/null | tail -1; }
sizes=(2880x1800 5760x3600)
declare -a pixels kb
for i in 0 1; do
  convert resources/sample-screenshot.png -resize "${sizes[$i]}!" -units PixelsPerInch -density 144 "$work/in$i.png"
  w=${sizes[$i]%x*} h=${sizes[$i]#*x}
  pixels[$i]=$((w * h))
  kb[$i]=$(peak_kb "$work/in$i.png")
  echo "${sizes[$i]}: peak ${kb[$i]} KB"
done
awk -v p0="${pixels[0]}" -v p1="${pixels[1]}" -v k0="${kb[0]}" -v k1="${kb[1]}" 'BEGIN {
  slope = (k1 - k0) * 1024 / (p1 - p0)
  base = (k0 * 1024 - slope * p0) / 1048576
  printf "fit: %.0f MB + %.1f bytes per output pixel\n", base, slope
}'
