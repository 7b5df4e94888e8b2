#!/usr/bin/env bash
# Lines wider than the view against lines that fit, in the same run: 10 clients send about
# 10.5 M characters each time, as lines of 100 bytes (one row), of 300 bytes and of 1,000 bytes
# (words of nine letters: they wrap at spaces, as JSON and request logs do), and of 150 to 400
# bytes mixed. Prints each run and each wide kind's characters/s as a ratio to the short lines'.
# Then the reference line ceiling, when given; then one client streaming 30 M characters, past
# the view's capacity, of lines of 100 and of 300 bytes, and the Select All and Copy of the full
# view at the end. Not a test; ctest does not run it.
#
#   bench/run.sh wide BUILD_DIR RUNS [REFERENCE_EXE]
#
# On a shared machine run it in a network namespace of its own:
# `scripts/isolated.sh bench/run.sh wide build/windows 3 /tmp/line_ceiling.exe`.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_env.sh"
runs=${2:-3}
reference=${3:-}
rate() { sed -n 's/^console: .* frames\/s, \([0-9]*\) characters\/s$/\1/p' <<<"$1"; }
for run in $(seq 1 "$runs"); do
    echo "(run $run of $runs, load average $(cut -d' ' -f1-3 /proc/loadavg))"
    out=$(bench 10 10500 100 --no-ceiling | tr -d '\r') || status=1
    echo "$out"
    short=$(rate "$out")
    for kind in "3500 300" "1050 1000" "3818 150-400"; do
        # shellcheck disable=SC2086 # two words: frames and size
        out=$(bench 10 $kind --no-ceiling | tr -d '\r') || status=1
        echo "$out"
        wide=$(rate "$out")
        if [ -n "$short" ] && [ -n "$wide" ]; then
            awk -v w="$wide" -v s="$short" -v k="${kind#* }" \
                'BEGIN { printf "ratio: lines of %s bytes / lines of 100 bytes: %.2f x characters/s\n", k, w / s }'
        else
            ratio_missing
        fi
    done
    if [ -n "$reference" ]; then
        reference_ceiling
        [ -n "${ref:-}" ] && awk -v s="$short" -v r="$ref" \
            'BEGIN { printf "ratio: lines of 100 bytes / reference line ceiling: %.2f x\n", s / (r * 100) }'
    fi
done
stream_rate() { sed -n 's/^stream: the last frame showed .*: \([0-9]*\) characters\/s$/\1/p' <<<"$1"; }
out=$(bench --stream 30 100 600 | tr -d '\r') || status=1
echo "$out"
short=$(stream_rate "$out")
out=$(bench --stream 30 300 600 | tr -d '\r') || status=1
echo "$out"
wide=$(stream_rate "$out")
if [ -n "$short" ] && [ -n "$wide" ]; then
    awk -v w="$wide" -v s="$short" \
        'BEGIN { printf "ratio: a stream past capacity, lines of 300 bytes / lines of 100 bytes: %.2f x\n", w / s }'
else
    ratio_missing
fi
bench_end
