#!/usr/bin/env bash
# Fails unless every file given is a 32-bit Windows program that needs no DLL beyond those
# every Windows since 7 ships, so that a user who unzips the package has nothing to install.
# Prints each file's DLLs.
#   scripts/check_imports.sh EXE...
set -euo pipefail
if [ $# -eq 0 ]; then
    echo "usage: scripts/check_imports.sh EXE..." >&2
    exit 2
fi
# Windows' own DLLs that a mingw-w64 program may import; msvcrt.dll is the C runtime every
# Windows carries (the newer ucrtbase.dll is not on Windows 7 without an update).
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll
 iphlpapi.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll usp10.dll uxtheme.dll version.dll winmm.dll
 ws2_32.dll "
status=0
for exe in "$@"; do
    if ! dump=$(objdump -p "$exe" 2>&1); then
        echo "$exe: not a Windows program: $dump"
        status=1
        continue
    fi
    # PE32 (magic 010b) is the 32-bit format; PE32+ (020b) is 64-bit.
    if ! grep -Eq '^Magic[[:space:]]+010b' <<<"$dump"; then
        echo "$exe: not a 32-bit Windows program ($(grep -m1 'file format' <<<"$dump" | sed 's/.*file format //'))"
        status=1
    fi
    dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '[:upper:]' '[:lower:]' | sort -u)
    for dll in $dlls; do
        case "$system_dlls" in
        *" $dll"[[:space:]]*) ;;
        *) echo "$exe: needs $dll, which Windows does not ship"; status=1 ;;
        esac
    done
    echo "$exe: needs" $dlls
done
exit $status
