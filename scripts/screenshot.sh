#!/usr/bin/env bash
# Takes docs/screenshot.png: the console running under Wine on a private virtual display, in a
# Wine virtual desktop so that its caption and frame are drawn, with its log service started and
# a few log lines (Chinese and ASCII) received from a client.
#   scripts/screenshot.sh [output.png]
# A relative output path is taken from where the script is called. ZEL_BUILD_DIR selects another
# Windows build directory (default build/windows, or build/windows64 where Wine runs no 32-bit exe:
# scripts/windows-test-preset).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/screenshot.png}")
cd "$root"

scripts/bootstrap.sh screenshot
preset=$(scripts/windows-test-preset)
build=${ZEL_BUILD_DIR:-$root/build/$preset}
if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "Configuring the Windows build in $build..."
    cmake --preset "$preset" >/dev/null
fi
echo "Building the console and the screenshot driver..."
cmake --build "$build" --target screenshot_driver >/dev/null

export ZEL_WINEPREFIX=${ZEL_WINEPREFIX:-$root/build/wineprefix}
if [ ! -f "$ZEL_WINEPREFIX/.zel-ready" ]; then
    echo "Preparing Wine in $ZEL_WINEPREFIX (first run only, about 10 s)..."
    scripts/wine-run wineboot >/dev/null 2>&1 || true
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZEL_SHOT_DRIVER="$build/tests/e2e/screenshot_driver.exe" ZEL_SHOT_WORK="$work" ZEL_SHOT_OUT="$out"

# Everything below runs on a display of its own, so the capture shows nothing but the console.
shoot=$(cat <<'SHOT'
set -euo pipefail
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# However this ends, the driver closes the console and Wine ends before the display goes.
trap 'touch "$ZEL_SHOT_WORK/done"; wait' EXIT

scripts/wine-run explorer /desktop=zelshot,1000x700 "$ZEL_SHOT_DRIVER" \
    "$(winpath "$ZEL_SHOT_WORK/ready")" "$(winpath "$ZEL_SHOT_WORK/done")" </dev/null &
wine_pid=$!

# Wine and the console take a few seconds to come up.
for _ in $(seq 1200); do
    [ -s "$ZEL_SHOT_WORK/ready" ] && break
    kill -0 "$wine_pid" 2>/dev/null || { echo "screenshot: the console did not come up" >&2; exit 1; }
    sleep 0.1
done
[ -s "$ZEL_SHOT_WORK/ready" ] || { echo "screenshot: timed out waiting for the console" >&2; exit 1; }
read -r w h x y < <(tr -d '\r' <"$ZEL_SHOT_WORK/ready")

# The virtual desktop is an X window of its own; window coordinates are relative to it.
desktop=$(xwininfo -root -tree | awk '/"zelshot - Wine desktop"/ { print $1; exit }')
dx=0 dy=0
if [ -n "$desktop" ]; then
    dx=$(xwininfo -id "$desktop" | awk '/Absolute upper-left X/ { print $4 }')
    dy=$(xwininfo -id "$desktop" | awk '/Absolute upper-left Y/ { print $4 }')
fi
import -window root "$ZEL_SHOT_WORK/screen.png"
mkdir -p "$(dirname "$ZEL_SHOT_OUT")"
convert "$ZEL_SHOT_WORK/screen.png" -crop "${w}x${h}+$((x + dx))+$((y + dy))" +repage "$ZEL_SHOT_OUT"
SHOT
)
xvfb-run -a -s "-screen 0 1000x700x24" bash -c "$shoot"
echo "wrote $out"
