#!/usr/bin/env bash
# Ordinary lines against both line ceilings, in the same run: 10 clients x 5,000 frames of 100
# bytes through the real console (zel_bench 10 5000 100, which also times its own ceiling), then
# the reference ceiling program appending the same 50,000 lines in 1 Mi slices, RUNS times, one
# after the other. Prints each figure and the ratios, with the machine and its load average.
# Not a test; ctest does not run it.
#
#   bench/run.sh lines BUILD_DIR RUNS REFERENCE_EXE
#
# REFERENCE_EXE: the reference ceiling built from its source outside this repository (see the
# "Ordinary lines" part of docs/performance.md). On a shared machine run it in a network
# namespace of its own: `scripts/isolated.sh bench/run.sh lines build/windows 3 /tmp/line_ceiling.exe`.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_env.sh"
lines_run() {
    out=$(bench 10 5000 100 | tr -d '\r') || status=1
    echo "$out"
    console=$(sed -n 's/^console: .*: \([0-9]*\) frames\/s.*/\1/p' <<<"$out")
    own=$(sed -n 's/^ceiling: .* s, \([0-9]*\) frames\/s .*/\1/p' <<<"$out")
    reference_ceiling
    if [ -n "$console" ] && [ -n "$own" ] && [ -n "$ref" ]; then
        awk -v c="$console" -v o="$own" -v r="$ref" \
            'BEGIN { printf "ratio: console / own ceiling %.2f x, console / reference ceiling %.2f x\n", c / o, c / r }'
    else
        ratio_missing
    fi
}
against_reference lines lines_run "$@"
