#!/usr/bin/env bash
# Whole processes side by side, start-up included: `pelorin format-json` against `jq .` (and
# `python3 -m json.tool`) on the same 2 MB and 20 MB number-heavy documents and a 2 MB
# text-heavy one (an API export of long strings in several scripts), and `pelorin --version` /
# `--help` against `jq --version` / `--help`. The programs take turns run by run (A/B
# interleaved), so a busy machine slows them alike; medians are printed with the ratios the
# targets are stated in, then the in-process formatter benchmark.
#   bench/compare_json.sh [BUILD_DIR] [RUNS]
#   PELORIN_COMPARE=/path/to/other/pelorin adds another build to every round (before/after).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-15}
command -v jq >/dev/null || { echo "jq is needed: apt-get install jq" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pelorin="$build/src/pelorin"
other=${PELORIN_COMPARE:-}

"$build/bench/bench_json" --write-document "$work/2mb.json"
"$build/bench/bench_json" --write-document "$work/20mb.json" 20000000
"$build/bench/bench_json" --write-text-document "$work/2mb-text.json"
# All must accept the documents, or the comparison means nothing.
for doc in 2mb 20mb 2mb-text; do
  "$pelorin" format-json < "$work/$doc.json" > "$work/ours.json"
  jq . "$work/$doc.json" > /dev/null
  if [ -n "$other" ]; then
    "$other" format-json < "$work/$doc.json" | cmp -s - "$work/ours.json" ||
      { echo "$other and $pelorin differ on $doc.json" >&2; exit 1; }
  fi
done
python3 -m json.tool "$work/2mb.json" > /dev/null

echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg); documents: $(stat -c %s "$work/2mb.json"), $(stat -c %s "$work/20mb.json") and $(stat -c %s "$work/2mb-text.json") bytes"
# One round runs every command of a group once, in turn; RUNS rounds; medians in ms.
# posix_spawn and a monotonic clock keep the timer's own cost near zero.
python3 - "$runs" "$work" "$pelorin" "$other" "$build/libexec/pelorin/pelorin-app" <<'PY'
import os, statistics, sys, time
runs, work, pelorin, other, program = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5]

def spawn(argv, stdin):
    fi = os.open(stdin, os.O_RDONLY)
    fo = os.open(os.devnull, os.O_WRONLY)
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ,
                          file_actions=[(os.POSIX_SPAWN_DUP2, fi, 0), (os.POSIX_SPAWN_DUP2, fo, 1),
                                        (os.POSIX_SPAWN_DUP2, fo, 2)])
    _, status, usage = os.wait4(pid, 0)
    elapsed = (time.perf_counter() - start) * 1000
    os.close(fi)
    os.close(fo)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{' '.join(argv)} failed")
    return elapsed, (usage.ru_utime + usage.ru_stime) * 1000

def group(title, stdin, commands):
    times = {name: [] for name, _ in commands}
    cpu = {name: [] for name, _ in commands}
    for _ in range(runs):
        for name, argv in commands:
            wall, used = spawn(argv, stdin)
            times[name].append(wall)
            cpu[name].append(used)
    medians = {name: statistics.median(t) for name, t in times.items()}
    print(f"\n{title} (median of {runs}, ms: wall, and processor time that a busy machine inflates less)")
    for name, _ in commands:
        print(f"  {name:<34} {medians[name]:8.2f}   cpu {statistics.median(cpu[name]):8.2f}")
    return medians

def pelorins(arguments):
    commands = [("pelorin " + " ".join(arguments), [pelorin] + arguments)]
    if other:
        commands.append(("compared build " + " ".join(arguments), [other] + arguments))
    return commands

m = group("format-json, 2 MB", f"{work}/2mb.json",
          pelorins(["format-json"]) + [("jq .", ["jq", "."]), ("python3 -m json.tool", ["python3", "-m", "json.tool"])])
r2 = m["pelorin format-json"] / m["jq ."]
m = group("format-json, 2 MB of text", f"{work}/2mb-text.json",
          pelorins(["format-json"]) + [("jq .", ["jq", "."])])
r2t = m["pelorin format-json"] / m["jq ."]
m = group("format-json, 20 MB", f"{work}/20mb.json", pelorins(["format-json"]) + [("jq .", ["jq", "."])])
r20 = m["pelorin format-json"] / m["jq ."]
m = group("--version", os.devnull, pelorins(["--version"]) + [("jq --version", ["jq", "--version"])])
rv = m["pelorin --version"] / m["jq --version"]
m = group("--help", os.devnull, pelorins(["--help"]) + [("jq --help", ["jq", "--help"])])
rh = m["pelorin --help"] / m["jq --help"]
# What the launcher adds to every other command (and to the app's start): one more exec.
m = group("hand-over of a heavy command", os.devnull,
          [("pelorin detect --help", [pelorin, "detect", "--help"]),
           ("pelorin-app detect --help", [program, "detect", "--help"])])
hand_over = m["pelorin detect --help"] - m["pelorin-app detect --help"]

print("\nTargets (pelorin / jq, wall time):")
print(f"  format-json 2 MB          {r2:5.3f}  (target <= 0.100: {'met' if r2 <= 0.1 else 'MISSED'})")
print(f"  format-json 2 MB of text  {r2t:5.3f}  (target <= 0.100: {'met' if r2t <= 0.1 else 'MISSED'})")
print(f"  format-json 20 MB         {r20:5.3f}  (target <= 0.125: {'met' if r20 <= 0.125 else 'MISSED'})")
print(f"  --version                 {rv:5.3f}  (target <= 2: {'met' if rv <= 2 else 'MISSED'})")
print(f"  --help                    {rh:5.3f}")
print(f"Launcher's cost on a command it hands over: {hand_over:+.2f} ms")
PY

echo
echo "In process, warm (median of ${runs} repetitions):"
PELORIN_BENCH_JSON="$work/2mb.json" "$build/bench/bench_json" --benchmark_repetitions="$runs" --benchmark_min_time=1 \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E "median|Benchmark"
