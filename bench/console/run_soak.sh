#!/usr/bin/env bash
# The soak: rounds of mixed clients and clears through the real console under Wine, window
# visible on a virtual X display, for MINUTES (default 60), with the console's memory every
# minute and the machine it ran on (see bench/console/soak.h). Not a test; ctest does not run it.
#
#   bench/run.sh soak [BUILD_DIR] [MINUTES] [--heaps]
#
# --heaps runs the console with a report of its heaps. The console listens on its fixed port
# 11925: on a shared machine run it in a network namespace of its own (see bench/console/run_bench.sh).
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_env.sh"
minutes=${2:-60}
bench --soak "$minutes" ${3:-}
bench_end
