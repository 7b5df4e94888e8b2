#!/usr/bin/env bash
# Builds bench/clients/dotnet_client_bench.cs with the .NET client (clients/dotnet/ZelLog.cs) using
# Debian's mcs and runs it under mono: the cost of ZelLogClient.Send and the lines per second it
# delivers into a loopback receiver, with the machine and its load. Not a test.
#
#   bench/run.sh dotnet_bench [THREADS=4] [LINES_PER_THREAD=250000] [SIZE=100] [RATE=0] [ROUNDS=3]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mcs -nologo -optimize+ -warnaserror -out:"$out/dotnet_client_bench.exe" \
    "$root/clients/dotnet/ZelLog.cs" "$root/bench/clients/dotnet_client_bench.cs"
exec mono "$out/dotnet_client_bench.exe" "$@"
