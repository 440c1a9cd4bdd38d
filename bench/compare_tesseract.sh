#!/usr/bin/env bash
# Runs `pelorin detect` as a whole command and the `tesseract` command-line tool (automatic
# page segmentation with recognition, one OpenMP thread) on the same 2880 × 1800 screenshots,
# one run each, and prints the wall time of each per image.
#   bench/compare_tesseract.sh [BUILD_DIR] [SHOTS_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shots=${2:-../shared/detection-dev/shots}
command -v tesseract >/dev/null || { echo "the tesseract tool is needed: apt-get install tesseract-ocr" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

time_ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }

printf '%-24s %14s %14s\n' image "pelorin ms" "tesseract ms"
for shot in "$shots"/*@2x.png; do
  ours=$(time_ms "$build/src/pelorin" detect --scale 2 "$shot" -o "$work")
  theirs=$(OMP_THREAD_LIMIT=1 time_ms tesseract "$shot" - --psm 3)
  printf '%-24s %14s %14s\n' "$(basename "$shot")" "$ours" "$theirs"
done
