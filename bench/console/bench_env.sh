# Sourced by the bench scripts: finds the bench in the Windows build named by $1 (default
# build/windows) and prints the machine. Sets root and exe; `bench ARGS` runs one mode and
# `bench_end` prints the load after and exits 1 if any mode failed.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$root/build/windows}
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
