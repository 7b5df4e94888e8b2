#!/usr/bin/env bash
# Builds the console for 32-bit Windows (build/windows/ZelLogConsole.exe) and the host-side
# tools and tests (build/host).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

for preset in windows host; do
    if [ ! -f "build/$preset/CMakeCache.txt" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset"
done
