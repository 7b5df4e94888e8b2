#!/usr/bin/env bash
# scripts/check_imports.sh passes our exes, and fails a DLL that needs the compiler's runtime
# DLLs and a 64-bit program: both are files that bootstrap.sh installs on every machine.
#   imports_test.sh CONSOLE_EXE ZELSEND_EXE
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
status=0

# expect EXIT_CODE TEXT FILE...: the checker's exit code, and a part of its output.
expect() {
    local want=$1 text=$2 output rc
    shift 2
    output=$("$root/scripts/check_imports.sh" "$@" 2>&1)
    rc=$?
    if [ "$rc" -ne "$want" ] || ! grep -qF -- "$text" <<<"$output"; then
        echo "FAIL: check_imports.sh $* exited $rc (wanted $want), output lacks '$text':"
        echo "$output"
        status=1
    else
        echo "ok: $(basename "$1"): $text"
    fi
}

expect 0 "needs comctl32.dll" "$1"
expect 0 "needs kernel32.dll msvcrt.dll shell32.dll ws2_32.dll" "$2"

runtime_dll=$(ls /usr/lib/gcc/i686-w64-mingw32/*-posix/libstdc++-6.dll 2>/dev/null | head -n 1)
program64=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe
for fixture in "$runtime_dll" "$program64"; do
    [ -f "$fixture" ] || { echo "FAIL: missing $fixture (run scripts/bootstrap.sh)"; exit 1; }
done
expect 1 "needs libgcc_s_dw2-1.dll, which Windows does not ship" "$runtime_dll"
expect 1 "not a 32-bit Windows program (pei-x86-64)" "$program64"
# One bad file among good ones fails the whole check.
expect 1 "needs libwinpthread-1.dll" "$1" "$runtime_dll"
exit $status
