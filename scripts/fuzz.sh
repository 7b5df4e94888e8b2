#!/usr/bin/env bash
# Fuzzes the frame splitter for SECONDS (default 60), starting from the seed corpus in
# tests/fuzz/corpus, and prints the executions and coverage reached. Builds with clang in
# build/fuzz (or $ZEL_FUZZ_BUILD). The fuzzer works on a scratch copy of the corpus, so a run
# leaves the repo as it was. Exits non-zero when it finds a fault, keeping the input that
# shows it in the build dir's crashes/ folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
fi
build=${ZEL_FUZZ_BUILD:-build/fuzz}

# The whole build carries the fuzzer's coverage instrumentation, the core library included.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
if ! grep -q "fuzzer-no-link" "$build/CMakeCache.txt" 2>/dev/null; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_FUZZ=ON -DCMAKE_CXX_FLAGS="$flags" >/dev/null
fi
cmake --build "$build" --target frame_splitter_fuzz

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/corpus"
cp tests/fuzz/corpus/* "$scratch/corpus/"
mkdir -p "$build/crashes"
log="$build/fuzz-last.log"

echo "fuzz: frame splitter for $seconds s (log: $log)"
status=0
# A 10 s limit per input turns a hang into a failure.
"$build/tests/fuzz/frame_splitter_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/crashes/" "$scratch/corpus" >"$log" 2>&1 || status=$?

# The last status line holds the coverage: cov = edges reached, ft = features, corp = inputs kept.
grep -E '^#[0-9]+.*cov:' "$log" | tail -n 1 || true
grep -E '^Done [0-9]+ runs|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz: FAILED (exit $status); the input is in $build/crashes/" >&2
fi
exit "$status"
