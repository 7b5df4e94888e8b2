#!/usr/bin/env bash
# Runs the Windows test suite under Wine on the display it is given ($DISPLAY), with one
# wineserver kept up for the whole run: a test whose Wine connects to a server that is just
# shutting down fails at once ("recvmsg: Connection reset by peer"), whatever it tests.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

export WINEPREFIX="${ZEL_WINEPREFIX:-$PWD/build/wineprefix}"
scripts/wine-run cmd /c exit >/dev/null 2>&1 # makes the prefix on first use
wineserver -p
# A group that fails is run once more, so that a passing group is not lost to a hitch of Wine's
# under a loaded machine; one that fails twice fails the suite.
ctest --preset windows -j "$(nproc)" --repeat until-pass:2
status=$?
wineserver -k 2>/dev/null || true
exit $status
