#!/usr/bin/env bash
# Fuzzes the frame splitter and the syslog relay's framing, side by side, for SECONDS each (default 60;
# scripts/test.sh runs 15), starting from the seed corpora in tests/fuzz/corpus and
# tests/fuzz/syslog_corpus, every seed of which is run first, and prints the executions and
# coverage reached. For a longer search: scripts/fuzz.sh 600. Builds with clang in
# build/host-asan, the sanitizer tree of the host tests, which carries the fuzzer's coverage
# instrumentation so that the core libraries are compiled once for both (or in $ZEL_FUZZ_BUILD,
# a tree of its own). The fuzzer works on a scratch copy of the corpus, so a run
# leaves the repo as it was. Exits non-zero when it finds a fault, keeping the input that
# shows it in the build dir's crashes/ folder.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
fi
build=${ZEL_FUZZ_BUILD:-build/host-asan}

# The whole build carries the fuzzer's coverage instrumentation, the core library included.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
if grep -q "fuzzer-no-link" "$build/CMakeCache.txt" 2>/dev/null; then
    : # configured with the instrumentation already
elif [ "$build" = build/host-asan ]; then
    cmake --preset host-asan >/dev/null
else
    cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_FUZZ=ON -DZEL_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags" >/dev/null
fi
cmake --build "$build" --target frame_splitter_fuzz syslog_framing_fuzz
mkdir -p "$build/crashes"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# start TARGET CORPUS: one target in the background on a scratch copy of its corpus, its output
# in its log. The two targets run side by side, a core each.
start() {
    local target=$1 corpus=$2
    mkdir "$scratch/$target"
    cp "$corpus"/* "$scratch/$target/"
    # A 10 s limit per input turns a hang into a failure.
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/crashes/$target-" "$scratch/$target" >"$build/fuzz-last-$target.log" 2>&1 &
}

# report NAME TARGET PID: waits for the target and says what it reached; its exit status is the fuzzer's.
report() {
    local name=$1 target=$2 pid=$3 status=0
    local log="$build/fuzz-last-$target.log"
    wait "$pid" || status=$?
    echo "fuzz: $name for $seconds s (log: $log)"
    # The last status line holds the coverage: cov = edges reached, ft = features, corp = inputs kept.
    grep -E '^#[0-9]+.*cov:' "$log" | tail -n 1 || true
    grep -E '^Done [0-9]+ runs|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz: $name FAILED (exit $status); the input is in $build/crashes/" >&2
    fi
    return "$status"
}

start frame_splitter_fuzz tests/fuzz/corpus
frames=$!
start syslog_framing_fuzz tests/fuzz/syslog_corpus
syslog=$!
status=0
report "frame splitter" frame_splitter_fuzz "$frames" || status=1
report "syslog framing" syslog_framing_fuzz "$syslog" || status=1
exit "$status"
