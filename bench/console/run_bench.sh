#!/usr/bin/env bash
# End-to-end benchmark of the console under Wine, window visible on a virtual X display: runs
# bench/zel_bench for 1 x 100,000 and 10 x 20,000 frames of 100 bytes, then once more each with
# keys pressed during the burst, and prints the figures with the machine they were taken on.
# Not a test; ctest does not run it.
#
#   bench/run.sh bench [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a Windows build (default build/windows); RUNS repeats each load (default 1).
# The console listens on its fixed port 11925, which nothing else may hold meanwhile; on a
# shared machine run it in a network namespace of its own:
# `scripts/isolated.sh bench/run.sh bench build/windows 3`.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_env.sh"
runs=${2:-1}
for load in "1 100000 100" "10 20000 100"; do
    for run in $(seq 1 "$runs"); do
        echo "(run $run of $runs)"
        bench $load
    done
done
# The same bursts with an operator pressing keys meanwhile: how soon the console acts on them.
for load in "1 100000 100" "10 20000 100"; do
    bench $load --keys --no-ceiling
done
bench_end
