#!/usr/bin/env bash
# Installs what is missing, builds the console and zelsend, and starts the console under Wine: on your display if
# there is one, otherwise on a virtual one (Xvfb).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/bootstrap.sh run

# The program and zelsend, for Windows and for this machine, so that the README's examples work
# next (scripts/build.sh builds the tests too). The build's output goes to a log that is shown
# when the build fails.
mkdir -p build
log=build/run-build.log
if [ ! -f "build/$(scripts/windows-test-preset)/CMakeCache.txt" ]; then
    echo "Building ZelLogConsole and zelsend for the first time; this takes a minute or two..."
fi
: >"$log"
# Where Wine runs no 32-bit exe, the console starts from the 64-bit build of the same sources.
run_preset=$(scripts/windows-test-preset)
presets=(windows host)
[ "$run_preset" = windows ] || presets+=("$run_preset")
for preset in "${presets[@]}"; do
    targets=(zelsend)
    [ "$preset" = host ] || targets+=(ZelLogConsole)
    if ! { [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset"; } >>"$log" 2>&1 ||
        ! cmake --build --preset "$preset" --target "${targets[@]}" >>"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "run.sh: the build failed; its whole output is in $log" >&2
        exit 1
    fi
done
echo "zelsend: build/host/tools/zelsend/zelsend (this machine), build/$run_preset/tools/zelsend/zelsend.exe (Windows)"
exe=build/$run_preset/ZelLogConsole.exe
if [ "$run_preset" != windows ]; then
    echo "This machine's kernel runs no 32-bit program, so Wine cannot start the 32-bit console:"
    echo "running the same console built for 64-bit Windows ($exe)."
fi

# Wine makes its prefix on first use (about 10 s); say so rather than sit silent.
prepare_prefix() {
    export ZEL_WINEPREFIX=$1
    if [ ! -f "$ZEL_WINEPREFIX/.zel-ready" ]; then
        echo "Preparing Wine in $ZEL_WINEPREFIX (first run only, about 10 s)..."
    fi
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        echo "Starting ZelLogConsole on your display ($DISPLAY). Close its window to stop it."
        # The window manager draws the frame: the console gets a window of its own.
        export ZEL_WINE_DESKTOP=0
        prepare_prefix "$PWD/build/wineprefix-display"
    else
        echo "Starting ZelLogConsole on your display ($DISPLAY), inside a Wine desktop window since"
        echo "no window manager runs there to draw its frame. Close the console to stop it."
        prepare_prefix "${ZEL_WINEPREFIX:-$PWD/build/wineprefix}"
    fi
    exec scripts/wine-run "$exe"
fi

if [ -n "${DISPLAY:-}" ]; then
    echo "No X server answers on DISPLAY=$DISPLAY: starting ZelLogConsole on a virtual display (Xvfb) instead."
else
    echo "No display found (DISPLAY is not set): starting ZelLogConsole on a virtual display (Xvfb)."
fi
unset DISPLAY
prepare_prefix "${ZEL_WINEPREFIX:-$PWD/build/wineprefix}"
echo "Its window is on that invisible display, where nobody can click 启动 (Start): this shows that"
echo "the program runs. To use it, run scripts/run.sh on a desktop (or over ssh -X);"
echo "scripts/screenshot.sh takes a picture of the window. Stop it with Ctrl+C."
exec scripts/wine-run "$exe"
