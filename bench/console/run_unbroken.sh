#!/usr/bin/env bash
# Text without line breaks against the line ceiling, in the same run: a 16 MiB frame without a
# line break through the real console (zel_bench --unbroken-large, then saved through the save
# dialog and compared with what was sent), the reference ceiling appending 100-character lines
# (its lines/s x 100 = characters/s), and a line from a second client sent a second after a
# 4 MiB frame without a line break (zel_bench --behind-unbroken), RUNS times. Prints each figure,
# the ratio of characters/s and the machine's load. Not a test; ctest does not run it.
#
#   bench/run.sh unbroken BUILD_DIR RUNS REFERENCE_EXE
#
# REFERENCE_EXE: as for bench/run.sh lines. On a shared machine run it in a network namespace of
# its own: `scripts/isolated.sh bench/run.sh unbroken build/windows 3 /tmp/line_ceiling.exe`.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_env.sh"
unbroken_run() {
    out=$(bench --unbroken-large 120 | tr -d '\r') || status=1
    echo "$out"
    console=$(sed -n 's/^16 MiB frame without a line break: .*, \([0-9]*\) characters\/s.*/\1/p' <<<"$out")
    reference_ceiling
    if [ -n "$console" ] && [ -n "$ref" ]; then
        awk -v c="$console" -v r="$ref" \
            'BEGIN { printf "ratio: console %d characters/s / line ceiling %d characters/s = %.2f x\n", c, r * 100, c / (r * 100) }'
    else
        ratio_missing
    fi
    bench --behind-unbroken 4 | tr -d '\r' || status=1
}
against_reference unbroken unbroken_run "$@"
