#!/usr/bin/env bash
# Installs what is missing, builds, and starts the console under Wine: on your display if
# there is one, otherwise on a virtual one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/bootstrap.sh
scripts/build.sh >/dev/null

exe=build/windows/ZelLogConsole.exe
if [ -n "${DISPLAY:-}" ]; then
    echo "Starting ZelLogConsole on your display ($DISPLAY). Close its window to stop it."
    # A window manager is there to draw the frame: the console gets a window of its own.
    ZEL_WINE_DESKTOP=0 ZEL_WINEPREFIX="$PWD/build/wineprefix-display" exec scripts/wine-run "$exe"
fi

echo "No display found (DISPLAY is not set): starting ZelLogConsole on a virtual display (Xvfb)."
echo "It listens on TCP port 11925 all the same. Stop it with Ctrl+C."
exec scripts/wine-run "$exe"
