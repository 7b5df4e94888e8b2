#!/usr/bin/env bash
# The long run: streams a billion characters (1 GB of frames) through the real console under
# Wine, window visible on a virtual X display, and prints the view's size, the console's memory
# and the window's answers along the way, with the machine it ran on. Then the view's control
# alone as it fills (zel_bench --view-cost), for the cost of one append, paint and trim at each
# size. Not a test; ctest does not run it. Takes about 20 minutes.
#
#   bench/run.sh stream [BUILD_DIR] [MILLIONS]
#
# BUILD_DIR is a Windows build (default build/windows); MILLIONS of characters to send (default
# 1000). The console listens on its fixed port 11925, which nothing else may hold meanwhile; on
# a shared machine run it in a network namespace of its own (see bench/console/run_bench.sh).
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_env.sh"
millions=${2:-1000}
bench --stream "$millions" 100 5400
bench --view-cost 64
bench_end
