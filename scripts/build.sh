#!/usr/bin/env bash
# Builds the console for 32-bit Windows (build/windows/ZelLogConsole.exe) and the host-side
# tools and tests (build/host). `scripts/build.sh tests` builds only the trees whose tests this
# machine runs (scripts/test.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Where Wine runs no 32-bit exe, the Windows programs are built for 64-bit Windows too, to be run
# and tested; the 32-bit tree then builds only the programs that ship, and not for a test run,
# since nothing here can run them.
runs=$(scripts/windows-test-preset)
presets=(windows host)
if [ "$runs" != windows ]; then
    presets+=("$runs")
    [ "${1:-}" != tests ] || presets=(host "$runs")
fi
for preset in "${presets[@]}"; do
    if [ ! -f "build/$preset/CMakeCache.txt" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    targets=()
    [ "$preset" != windows ] || [ "$runs" = windows ] || targets=(--target ZelLogConsole zelsend)
    cmake --build --preset "$preset" "${targets[@]}"
done
