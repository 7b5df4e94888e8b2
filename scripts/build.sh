#!/usr/bin/env bash
# Builds the console for 32-bit Windows (build/windows/ZelLogConsole.exe) and the host-side
# tools and tests (build/host).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Where Wine runs no 32-bit exe, the Windows programs are built for 64-bit Windows too, to be run.
presets=(windows host)
[ "$(scripts/windows-test-preset)" = windows ] || presets+=("$(scripts/windows-test-preset)")
for preset in "${presets[@]}"; do
    if [ ! -f "build/$preset/CMakeCache.txt" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset"
done
