#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang in build-fuzz/ and runs each for SECONDS
# (default 60) on its seed corpus, one after the other. New inputs the fuzzer finds go to
# build-fuzz/corpus/, never into the tree; a crash leaves its input in build-fuzz/findings/
# and makes the script fail. Prints the executions of each target.
#
#   scripts/fuzz.sh [SECONDS] [TARGET…]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=build-fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DPELORIN_FUZZ=ON >/dev/null
if [ $# -gt 0 ]; then
    cmake --build "$build" --target "$@"
    targets=("$@")
else
    cmake --build "$build" --target fuzz_targets
    targets=()
    for source in fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

mkdir -p "$build/findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
passed=0
failed=0
for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    log="$build/$target.log"
    # Images are decoded by libraries that take long over big inputs; the rest are text.
    max_len=16384
    extra=()
    [ "$target" = fuzz_image_file ] && max_len=65536
    # QSettings keeps every file it has read in a cache, which libFuzzer would take for a
    # leak in each run and answer with a slow leak scan.
    [ "$target" = fuzz_annotation_defaults ] && extra+=(-detect_leaks=0)
    if "$build/fuzz/$target" "$corpus" "fuzz/corpus/$target" -max_total_time="$seconds" -max_len="$max_len" \
        -timeout=30 -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$build/findings/$target-" "${extra[@]}" >"$log" 2>&1; then
        result=ok
        passed=$((passed + 1))
    else
        result=FAILED
        failed=$((failed + 1))
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "$target: ${runs:-?} executions in ${seconds} s, $result"
    if [ "$result" = FAILED ]; then
        tail -40 "$log"
    fi
done
echo "fuzzing: $passed passed, $failed failed"
exit $status
