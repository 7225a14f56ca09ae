#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each from its seed
# corpus for a bounded time. Fails when any target reports a crash, a leak, a
# timeout or a sanitizer finding; the input that caused it is kept in the
# target's work folder (crash-*, leak-*, timeout-*) and its log is printed.
#
#   scripts/fuzz-smoke.sh [TARGET...]      (default: every fuzz_* target)
#
# Environment: FUZZ_SECONDS (per target, default 60), FUZZ_JOBS (targets run
# at once, default 2), FUZZ_BUILD (build folder, default build-fuzz),
# CMAKE_ARGS (extra configure arguments, e.g. the ccache launcher).
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_JOBS=${FUZZ_JOBS:-2}
FUZZ_BUILD=${FUZZ_BUILD:-build-fuzz}
# Word splitting is wanted: CMAKE_ARGS may hold several arguments.
# shellcheck disable=SC2086
cmake -S . -B "$FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DREQWIZ_FUZZ=ON ${CMAKE_ARGS:-} >/dev/null
cmake --build "$FUZZ_BUILD" --target fuzzers -j "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for binary in "$FUZZ_BUILD"/fuzz/fuzz_*; do
        [ -x "$binary" ] && targets+=("$(basename "$binary")")
    done
fi

work="$FUZZ_BUILD/smoke"
rm -rf "$work"
mkdir -p "$work"

# One target: a fresh working corpus (new inputs go there, never into the
# repository's seeds), then a pass over the seeds and FUZZ_SECONDS of fuzzing.
run_one() {
    local name=$1 dir="$work/$1"
    local seeds="fuzz/corpus/${name#fuzz_}"
    mkdir -p "$dir/corpus"
    local status=0
    "$FUZZ_BUILD/fuzz/$name" -max_total_time="$FUZZ_SECONDS" -timeout=25 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus" "$seeds" \
        >"$dir/log" 2>&1 || status=$?
    if [ "$status" -ne 0 ] || grep -q 'runtime error:\|ERROR: \(Address\|Leak\|Undefined\)Sanitizer' "$dir/log"; then
        echo "FAIL $name (exit $status)" >"$dir/result"
    else
        echo "ok   $name $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$') runs, $(grep -o 'cov: [0-9]* ft: [0-9]*' "$dir/log" | tail -1)" >"$dir/result"
    fi
}

echo "fuzz-smoke: ${#targets[@]} targets, ${FUZZ_SECONDS} s each, ${FUZZ_JOBS} at a time"
for name in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$FUZZ_JOBS" ]; do
        wait -n || true
    done
    run_one "$name" &
done
wait

failed=0
for name in "${targets[@]}"; do
    result=$(cat "$work/$name/result" 2>/dev/null || echo "FAIL $name (no result)")
    echo "$result"
    if [ "${result#FAIL}" != "$result" ]; then
        failed=1
        echo "---- $work/$name/log (end) ----"
        tail -n 60 "$work/$name/log" || true
        ls "$work/$name" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' || true
    fi
done
exit $failed
