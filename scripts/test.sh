#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the host tests natively and the
# Windows tests under Wine, on a virtual display when there is no real one.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/bootstrap.sh test
scripts/build.sh tests

jobs=$(nproc)
# Most tests spend their time waiting (on Wine, on a console, on a client's back-off), not
# computing: two at a time per core keep the cores busy.
test_jobs=$((2 * jobs))
status=0

# The house style, as .clang-format holds it: every file that is off is named.
if ! git ls-files -z -- '*.cpp' '*.h' '*.inc' | xargs -0 clang-format --dry-run --Werror; then
    echo "test.sh: the files above are not formatted; run: git ls-files '*.cpp' '*.h' '*.inc' | xargs clang-format -i" >&2
    status=1
fi
ctest --preset host -j "$test_jobs" || status=1

# The host tests again under AddressSanitizer and UBSan: any report fails the run.
if { [ -f build/host-asan/CMakeCache.txt ] || cmake --preset host-asan >/dev/null; } &&
    cmake --build --preset host-asan; then
    ctest --preset host-asan -j "$test_jobs" || status=1
else
    status=1
fi

# The frame splitter and the syslog framing: every seed, then 15 s of fuzzing each (scripts/fuzz.sh
# SECONDS searches longer).
scripts/fuzz.sh 15 || status=1

# One virtual display for the whole Windows suite, so Wine's helper processes outlive each test;
# in a network namespace of its own where the machine allows one (scripts/isolated.sh), so that
# nothing else on the machine's loopback meets the suite's consoles and clients.
isolated=()
if unshare --net true 2>/dev/null; then
    isolated=(scripts/isolated.sh)
fi
if [ -z "${DISPLAY:-}" ]; then
    "${isolated[@]}" xvfb-run -a -s "-screen 0 1280x1024x24" scripts/windows-suite.sh || status=1
else
    "${isolated[@]}" scripts/windows-suite.sh || status=1
fi
exit $status
