#!/usr/bin/env bash
# Re-indents the same 2 MB JSON document with `pelorin format-json`, `jq .` and
# `python3 -m json.tool`, several times each in one run, and prints the median wall time
# of each (whole processes, start-up included), then the in-process formatter benchmark.
#   bench/compare_json.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-9}
command -v jq >/dev/null || { echo "jq is needed: apt-get install jq" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/bench/bench_json" --write-document "$work/doc.json"
# All three must accept the document, or the comparison means nothing.
"$build/src/pelorin" format-json < "$work/doc.json" > "$work/ours.json"
jq . "$work/doc.json" > "$work/jq.json"
python3 -m json.tool "$work/doc.json" > "$work/python.json"

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
time_ms() { local s e; s=$(date +%s%N); "$@" < "$work/doc.json" >/dev/null 2>&1; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }

ours_times=(); jq_times=(); python_times=()
for _ in $(seq "$runs"); do
  ours_times+=("$(time_ms "$build/src/pelorin" format-json)")
  jq_times+=("$(time_ms jq .)")
  python_times+=("$(time_ms python3 -m json.tool)")
done
o=$(printf '%s\n' "${ours_times[@]}" | median)
j=$(printf '%s\n' "${jq_times[@]}" | median)
p=$(printf '%s\n' "${python_times[@]}" | median)
echo "document: $(stat -c %s "$work/doc.json") bytes"
echo "pelorin format-json:   ${o} ms median of ${runs}"
echo "jq .:                  ${j} ms median of ${runs}"
echo "python3 -m json.tool:  ${p} ms median of ${runs}"
awk -v o="$o" -v j="$j" -v p="$p" 'BEGIN { if (o < 1) o = 1; printf "jq / pelorin: %.1fx   python / pelorin: %.1fx\n", j / o, p / o }'
echo
echo "In process, warm (median of ${runs} repetitions):"
PELORIN_BENCH_JSON="$work/doc.json" "$build/bench/bench_json" --benchmark_repetitions="$runs" --benchmark_min_time=1 \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E "median|Benchmark"
