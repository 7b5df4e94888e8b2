#!/usr/bin/env bash
# Runs the Windows test suite under Wine on the display it is given ($DISPLAY), with one
# wineserver kept up for the whole run: a test whose Wine connects to a server that is just
# shutting down fails at once ("recvmsg: Connection reset by peer"), whatever it tests.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1

export WINEPREFIX="${ZEL_WINEPREFIX:-$PWD/build/wineprefix}"
scripts/wine-run cmd /c exit >/dev/null 2>&1 # makes the prefix on first use
wineserver -p
# Each group runs once: with the server kept up, a failure is the test's own, not Wine's.
ctest --preset windows -j "$(nproc)"
status=$?
wineserver -k 2>/dev/null || true
exit $status
