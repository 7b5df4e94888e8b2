#!/usr/bin/env bash
# scripts/: the two commands (run.sh, test.sh) and what they use: this install step, the build,
# Wine's runner, fuzzing, the screenshot, packaging and a private network for benches.
#
# Installs what one command needs, and only what is missing:
#   scripts/bootstrap.sh run|test|screenshot|package    (no argument: all of them)
# Safe to run again: with everything present it changes nothing and takes well under a second.
set -euo pipefail

# Building the console, zelsend and the test programs; the host build's configuration looks for
# GoogleTest, spdlog, glog and pytest even when only zelsend is built.
build=(
    cmake ninja-build g++ googletest
    g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
    libspdlog-dev libgoogle-glog-dev python3-pytest
)
# Running Windows programs: Wine, a virtual display, Chinese text, and Wine's own fonts for
# window captions and their buttons.
wine=(wine wine32:i386 wine64 xvfb xauth fonts-wqy-microhei fonts-wine)
# The release zip (scripts/package.sh).
package=(zip unzip)
# What only the tests use: the sanitizer and fuzz builds (clang), the format check, the README's
# netcat example, the .NET client's tests (mcs, mono) and the syslog relay's end-to-end test (a
# real rsyslogd, on ports of its own, forwards logger's messages; logger is in bsdutils).
tests=(clang libclang-rt-dev clang-format netcat-openbsd mono-mcs mono-runtime rsyslog)
# What only run.sh (xdpyinfo, xprop) and screenshot.sh (xwininfo, ImageMagick's import) use.
display=(x11-utils)
screenshot=(imagemagick)

case "${1:-all}" in
run) PACKAGES=("${build[@]}" "${wine[@]}" "${display[@]}") ;;
test) PACKAGES=("${build[@]}" "${wine[@]}" "${package[@]}" "${tests[@]}") ;;
screenshot) PACKAGES=("${build[@]}" "${wine[@]}" "${display[@]}" "${screenshot[@]}") ;;
package) PACKAGES=("${build[@]}" "${package[@]}") ;;
all) PACKAGES=("${build[@]}" "${wine[@]}" "${package[@]}" "${tests[@]}" "${display[@]}" "${screenshot[@]}") ;;
*)
    echo "usage: scripts/bootstrap.sh [run|test|screenshot|package]" >&2
    exit 2
    ;;
esac

sudo_if_needed() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Where the kernel runs no 32-bit program, Wine runs only 64-bit exes: the Windows programs are then
# also built for 64-bit Windows, to run them here (scripts/windows-test-preset).
install_64_bit_windows() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' wine64 2>/dev/null)" = installed ] || return 0
    [ "$("$(dirname "${BASH_SOURCE[0]}")/windows-test-preset")" = windows64 ] || return 0
    local p todo=()
    for p in g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64; do
        [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" = installed ] || todo+=("$p")
    done
    [ ${#todo[@]} -eq 0 ] && return 0
    echo "bootstrap: this kernel runs no 32-bit program; installing ${todo[*]} for 64-bit Windows builds"
    sudo_if_needed apt-get install -y -qq --no-install-recommends "${todo[@]}" </dev/null
}

missing=()
for p in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    [ "${1:-all}" = package ] || install_64_bit_windows
    exit 0
fi

echo "bootstrap: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
sudo_if_needed apt-get update -qq
sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
[ "${1:-all}" = package ] || install_64_bit_windows
