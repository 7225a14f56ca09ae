#!/usr/bin/env bash
# Times RSA key-pair generation side by side with `openssl genrsa`.
#
#   bench/keygen-vs-openssl.sh BITS K
#
# Runs K rounds; each round starts one `openssl genrsa BITS` and one
# `bench_keygen --bits BITS --count 1 --first <round>` (a distinct seed per
# round), alternating which goes first, and measures both as whole processes
# (start-up included) with the same clock. Prints both medians and the ratio
# ours / openssl, plus the median that bench_keygen measures inside its own
# process (key generation only).
#
# The executable is looked up as $BUILD/bench_keygen, BUILD defaulting to the
# folder `build` at the top of the tree.
set -euo pipefail

if [[ $# -ne 2 ]]; then
    echo "usage: $0 BITS K" >&2
    exit 2
fi
bits=$1
rounds=$2
top=$(cd "$(dirname "$0")/.." && pwd)
bench="${BUILD:-$top/build}/bench_keygen"
if [[ ! -x $bench ]]; then
    echo "$bench not found: build the bench_keygen target first" >&2
    exit 1
fi
command -v openssl >/dev/null || { echo "openssl not found" >&2; exit 1; }

now_ns() { date +%s%N; }

ours=()
inner=()
theirs=()
run_ours() {
    local start end line
    start=$(now_ns)
    line=$("$bench" --bits "$bits" --count 1 --first "$1")
    end=$(now_ns)
    ours+=("$(( (end - start) / 1000 ))")
    inner+=("$(awk '{for (i = 1; i < NF; ++i) if ($i == "median_ms") print $(i + 1)}' <<<"$line")")
}
run_theirs() {
    local start end
    start=$(now_ns)
    openssl genrsa "$bits" >/dev/null 2>&1
    end=$(now_ns)
    theirs+=("$(( (end - start) / 1000 ))")
}

for ((i = 0; i < rounds; ++i)); do
    if ((i % 2 == 0)); then
        run_ours "$i"
        run_theirs
    else
        run_theirs
        run_ours "$i"
    fi
done

# Median of numbers given one per line.
median() {
    sort -g | awk '{v[NR] = $1} END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ours_ms=$(printf '%s\n' "${ours[@]}" | median | awk '{printf "%.1f", $1 / 1000}')
theirs_ms=$(printf '%s\n' "${theirs[@]}" | median | awk '{printf "%.1f", $1 / 1000}')
inner_ms=$(printf '%s\n' "${inner[@]}" | median | awk '{printf "%.1f", $1}')
echo "bits $bits rounds $rounds"
echo "openssl genrsa        median ${theirs_ms} ms (whole process)"
echo "bench_keygen          median ${ours_ms} ms (whole process)"
echo "bench_keygen keygen   median ${inner_ms} ms (generation only)"
awk -v o="$ours_ms" -v t="$theirs_ms" 'BEGIN {printf "ratio ours/openssl    %.2f\n", o / t}'
