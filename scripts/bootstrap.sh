#!/usr/bin/env bash
# scripts/: the two commands (run.sh, test.sh) and what they use: this install step, the build,
# Wine's runner, fuzzing, the screenshot, packaging and a private network for benches.
#
# Installs what building, running and testing the console need, and only what is missing.
# Safe to run again: with everything present it changes nothing and takes well under a second.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ clang clang-format libclang-rt-dev googletest
    wine wine32:i386 wine64
    g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
    xvfb xauth x11-utils imagemagick
    # Chinese text, and Wine's own fonts for window captions and their buttons.
    fonts-wqy-microhei fonts-wine
    netcat-openbsd
    # The release zip (scripts/package.sh) and its tests.
    zip unzip
    # The log clients: their Python tests, the spdlog and glog adapters' host tests, the
    # C# snippet of docs/protocol.md, and the .NET client's tests and bench (mcs, mono).
    python3-pytest libspdlog-dev libgoogle-glog-dev mono-mcs mono-runtime
    # The syslog relay's end-to-end tests: a real rsyslogd, started by the test on ports of its
    # own, forwards logger's messages (logger is in bsdutils, always installed).
    rsyslog
)

sudo_if_needed() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "bootstrap: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
sudo_if_needed apt-get update -qq
sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
