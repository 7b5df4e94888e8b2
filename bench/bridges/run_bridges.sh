#!/usr/bin/env bash
# zelsend's bridges: how much --debug-output slows the programs that write debug output (under
# Wine, against a plain reader in the same run) and whether it loses any at a steady rate, and
# how soon a line written to a followed file arrives (under Wine and on the host). Prints the machine and its
# load. Not a test; ctest does not run it.
#
#   bench/run.sh bridges [WINDOWS_BUILD=build/windows] [HOST_BUILD=build/host] [RUNS=5]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
windows=${1:-$root/build/windows}
host=${2:-$root/build/host}
runs=${3:-5}
echo "host: $(sed -n 's/^model name\s*:\s*//p' /proc/cpuinfo | head -1), $(nproc) cores, $(wine --version)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
status=0
echo "== debug_output_bench 10000 strings x $runs runs each, then 10000/s for 3 s"
ZEL_WINE_DESKTOP=0 "$root/scripts/wine-run" "$windows/bench/debug_output_bench.exe" 10000 "$runs" 10000 3 || status=1
echo "== follow_bench 400 lines, zelsend.exe under Wine"
ZEL_WINE_DESKTOP=0 "$root/scripts/wine-run" "$windows/bench/follow_bench.exe" 400 || status=1
echo "== follow_bench 400 lines, zelsend on the host"
"$host/bench/follow_bench" 400 || status=1
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
