# Sourced by the bench scripts: finds the bench in the Windows build named by $1 (default
# build/windows) and prints the machine. Sets root and exe; `bench ARGS` runs one mode and
# `bench_end` prints the load after and exits 1 if any mode failed. What the scripts that set the
# console against the reference line ceiling share (run_lines.sh, run_unbroken.sh) is below.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/$("$root/scripts/windows-test-preset")}
exe=$build/bench/zel_bench.exe
if [ ! -f "$exe" ]; then
    echo "no $exe: build the Windows preset first (cmake --build $build)" >&2
    exit 2
fi
echo "host: $(sed -n 's/^model name\s*:\s*//p' /proc/cpuinfo | head -1), $(nproc) cores, $(wine --version)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

status=0
bench() {
    echo "== zel_bench $*"
    "$root/scripts/wine-run" "$exe" "$@" || status=1
}
bench_end() {
    echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
    exit $status
}

# `against_reference NAME STEP BUILD_DIR RUNS REFERENCE_EXE`: calls STEP RUNS times (default 3),
# each after a line with the load average, then ends as bench_end does; NAME is the script's
# name in the usage line. Sets reference.
against_reference() {
    local name=$1 step=$2 runs=${4:-3}
    if [ $# -lt 5 ]; then
        echo "usage: bench/run.sh $name BUILD_DIR RUNS REFERENCE_EXE" >&2
        exit 1
    fi
    reference=$5
    for run in $(seq 1 "$runs"); do
        echo "(run $run of $runs, load average $(cut -d' ' -f1-3 /proc/loadavg))"
        "$step"
    done
    bench_end
}

# The reference ceiling appending 50,000 lines in 1 Mi slices: prints its line and sets ref to
# its lines/s.
reference_ceiling() {
    local out
    out=$("$root/scripts/wine-run" "$reference" 50000 1048576 | tr -d '\r') || status=1
    echo "reference: $out"
    ref=$(sed -n 's/.* = \([0-9]*\) lines\/s.*/\1/p' <<<"$out")
}

ratio_missing() {
    echo "ratio: MISSING (a figure was not printed)"
    status=1
}
