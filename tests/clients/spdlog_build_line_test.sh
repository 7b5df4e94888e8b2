#!/usr/bin/env bash
# The README's two ways to build a program with the spdlog sink, as a user copies them: the g++
# line, and the CMakeLists.txt given for Windows (built here with Debian's spdlog). Each program
# logs three lines with the console absent, so it must also exit 0 and say on stderr, once,
# that the three lines never reached it.
#   spdlog_build_line_test.sh SOURCE_DIR
set -euo pipefail
src=$(realpath "${1:?usage: spdlog_build_line_test.sh SOURCE_DIR}")
# A loopback port that nobody listens on: bound once, then let go.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
. "$(dirname "${BASH_SOURCE[0]}")/../../testkit/shell_checks.sh"

# The README's part on building with spdlog, and in it the block of each language.
section=$(sed -n '/^## Log from your program/,/^## /p' "$src/README.md")
block() { awk -v lang="$1" '$1 == "```" lang { inside = 1; next } $1 == "```" { inside = 0 } inside' <<<"$section" |
    sed 's/^  //'; }
gpp=$(block sh | grep -- '-lspdlog' || true)
cmakelists=$(block cmake)
[ -n "$gpp" ] || fail "README gives no g++ line with -lspdlog"
[ -n "$cmakelists" ] || fail "README gives no CMakeLists.txt for spdlog"

mkdir -p "$work/clients"
cp -r "$src/clients/cpp" "$work/clients/"
cat >"$work/app.cpp" <<CPP
#include <memory>
#include <spdlog/logger.h>
#include "zel_spdlog_sink.h"

int main()
{
    zel::LogClientOptions options;
    options.closeFlush = std::chrono::milliseconds(200);
    spdlog::logger logger("app", std::make_shared<zel::spdlog_sink_mt>("127.0.0.1", $port, options));
    for (int i = 0; i < 3; ++i)
        logger.info("line {}", i);
}
CPP
want="zel::LogClient: 3 lines not delivered to 127.0.0.1:$port"

# check NAME EXE: the program ran, and said what it lost, once.
check() {
    local said
    if ! said=$("$2" 2>&1 >/dev/null); then
        fail "$1: the program failed"
    fi
    [ "$said" = "$want" ] || fail "$1: stderr was '$said', not '$want'"
}

echo "$gpp"
if (cd "$work" && eval "$gpp") >"$work/gpp.log" 2>&1; then
    check "g++ line" "$work/app"
else
    cat "$work/gpp.log"
    fail "the README's g++ line does not build"
fi

printf '%s\n' "$cmakelists" >"$work/CMakeLists.txt"
if cmake -S "$work" -B "$work/build" >"$work/cmake.log" 2>&1 && cmake --build "$work/build" >>"$work/cmake.log" 2>&1; then
    check "CMakeLists.txt" "$work/build/app"
else
    cat "$work/cmake.log"
    fail "the README's CMakeLists.txt does not build"
fi

[ "$status" -eq 0 ] && echo "spdlog build lines: both build, and report the lost lines"
exit $status
