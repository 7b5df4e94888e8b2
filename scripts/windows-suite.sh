#!/usr/bin/env bash
# Runs the Windows test suite under Wine on the display it is given ($DISPLAY), with one
# wineserver and one desktop kept up for the whole run: a test whose Wine connects to a server
# that is just shutting down fails at once ("recvmsg: Connection reset by peer"), whatever it
# tests. Arguments go to ctest (e.g. -R SaveLogE2E).
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.." || exit 1

export WINEPREFIX="${ZEL_WINEPREFIX:-$PWD/build/wineprefix}"
scripts/wine-run cmd /c exit >/dev/null 2>&1 # makes the prefix on first use
wineserver -p
# A window that stays for the whole run (a minimised Notepad), so that Wine's desktop process
# starts once, here, with no output of any test: started by a test, it would hold that test's
# output open, and ctest would wait for the test, until the desktop had no window left (minutes,
# while other tests run beside it), and each test would start and end a desktop of its own.
scripts/wine-run start /min notepad >/dev/null 2>&1
# This prefix's processes, should other suites run beside this one.
of_this_prefix() {
    tr '\0' '\n' 2>/dev/null <"/proc/$1/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"
}
# That Notepad.
desktop_window() {
    local pid
    for pid in $(pgrep -x notepad.exe); do
        of_this_prefix "$pid" && return 0
    done
    return 1
}
for _ in $(seq 50); do desktop_window && break; sleep 0.2; done
# Should the desktop or the server go during the run, the log says when: the groups running then
# fail, cut off, and those after it run without the desktop. (A CI run once went on with every
# group 2.5 s slower from some point, and one group never ended.)
watchdog=
if desktop_window; then
    (
        while sleep 1; do
            desktop_window && continue
            echo "windows-suite: $(date +%T): the suite's Wine desktop is gone" >&2
            exit
        done
    ) &
    watchdog=$!
else
    echo "windows-suite: the suite's Wine desktop did not come up" >&2
fi
# A test program that froze under Wine (docs/test_run.md: every thread waiting for the server,
# which has lost it) is ended once none of its threads has run for FROZEN_AFTER seconds, so that
# its group fails and runs again at once instead of waiting out its time limit (120 s). Test
# waits are bounded and poll; none keeps every thread of a test program still for that long.
FROZEN_AFTER=45
freeze_watch() {
    local -A switches=() still_since=()
    local pid now count
    while sleep 5; do
        now=$SECONDS
        for pid in $(pgrep -f '_tests\.exe'); do
            # The Wine process itself, not the shell scripts that started it and wait, still.
            [[ "$(readlink "/proc/$pid/exe" 2>/dev/null)" == */wine* ]] || continue
            of_this_prefix "$pid" || continue
            count=$(cat /proc/"$pid"/task/*/status 2>/dev/null | awk '/ctxt_switches/ { n += $2 } END { print n + 0 }')
            if [ "${switches[$pid]:-}" != "$count" ]; then
                switches[$pid]=$count
                still_since[$pid]=$now
            elif ((now - still_since[$pid] >= FROZEN_AFTER)); then
                echo "windows-suite: $(date +%T): $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | sed 's/ *$//' | cut -c1-160):" \
                    "no thread ran for $FROZEN_AFTER s, frozen under Wine: ended, its group runs again" >&2
                kill -9 "$pid" 2>/dev/null
                unset "switches[$pid]" "still_since[$pid]"
            fi
        done
    done
}
freeze_watch &
freeze_watcher=$!
# Each group runs once: with the server kept up, a failure is the test's own, not Wine's. A
# group a core: two a core ran the suite 20 % faster, but starved consoles (the hostile-client
# group took twice as long), and once a Wine process under that load ended with "wine client
# error: partial write".
# Every group has a time limit (CMakePresets.json: 120 s unless it sets its own), and what it
# started under Wine ends with it (testkit/children_end_with_test.cpp). A group that fails or runs
# out of time runs again, up to three times in all, unless the arguments say how to repeat: now and
# then a Wine program stops dead, every thread waiting for an answer from Wine's server that never
# comes, whatever it was doing (docs/test_run.md), and in one CI run that struck one group twice.
# A group that fails three times still fails the suite; earlier runs and their output stay in the
# log, above the last.
repeat=(--repeat until-pass:3)
[[ " $* " != *" --repeat"* ]] || repeat=()
preset=$(scripts/windows-test-preset)
[ "$preset" = windows ] || echo "windows-suite: this kernel runs no 32-bit program: the suite runs the 64-bit build ($preset)"
ctest --preset "$preset" -j "$(nproc)" "${repeat[@]}" "$@"
status=$?
[ -z "$watchdog" ] || kill "$watchdog" 2>/dev/null
kill "$freeze_watcher" 2>/dev/null
wineserver -k 2>/dev/null || true
# A Wine process that froze (docs/test_run.md) outlives the server's end, the server having
# lost it: end what is left of this prefix's, so that frozen runs do not pile up.
sleep 1
for pid in $(pgrep -f '\.exe'); do
    of_this_prefix "$pid" && kill -9 "$pid" 2>/dev/null
done
exit $status
