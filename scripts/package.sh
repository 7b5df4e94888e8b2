#!/usr/bin/env bash
# Builds the package a Windows user downloads: dist/ZelLogConsole-<version>-win32.zip, holding
# the stripped ZelLogConsole.exe and zelsend.exe, README.txt (the README's Windows part, CR LF),
# docs/protocol.md and the clients' sources when the repository has them (not their tests or
# build files), and SHA256SUMS of them all. Writes the zip's own SHA-256 beside it, as
# dist/ZelLogConsole-<version>-win32.zip.sha256 (what `sha256sum -c` reads), to publish with it.
#
# The same commit gives the same bytes: times come from SOURCE_DATE_EPOCH (default: the last
# commit's time), the linker writes no time stamp, and entries are stored in a fixed order
# with fixed modes.
#   ZEL_PACKAGE_BUILD  build directory (default build/package)
#   ZEL_PACKAGE_OUT    where the zip goes (default dist)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
build=$(realpath -m "${ZEL_PACKAGE_BUILD:-build/package}")
out=$(realpath -m "${ZEL_PACKAGE_OUT:-dist}")

scripts/bootstrap.sh package
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)
fi
if ! [[ "${SOURCE_DATE_EPOCH:-}" =~ ^[0-9]+$ ]]; then
    echo "package.sh: not a git checkout: set SOURCE_DATE_EPOCH to the time the package should carry" >&2
    exit 2
fi
export SOURCE_DATE_EPOCH

echo "Building the release in $build..."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S "$root" -B "$build" -G Ninja --toolchain "$root/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release &&
        cmake --build "$build" -j 2 --target ZelLogConsole zelsend; } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "package.sh: the build failed" >&2
    exit 1
fi
version=$(cat "$build/generated/version.txt")
name=ZelLogConsole-$version-win32

stage=$(mktemp -d)
trap 'rm -f "$log"; rm -rf "$stage"' EXIT
i686-w64-mingw32-strip -o "$stage/ZelLogConsole.exe" "$build/ZelLogConsole.exe"
i686-w64-mingw32-strip -o "$stage/zelsend.exe" "$build/tools/zelsend/zelsend.exe"
# A user who unzips must need nothing else: only Windows' own DLLs, and a 32-bit program.
if ! report=$(scripts/check_imports.sh "$stage/ZelLogConsole.exe" "$stage/zelsend.exe"); then
    echo "$report" >&2
    exit 1
fi
scripts/readme_windows.sh README.md >"$stage/README.txt"
if [ -f docs/protocol.md ]; then
    mkdir -p "$stage/docs"
    cp docs/protocol.md "$stage/docs/"
fi
if [ -d clients ]; then
    # What users copy into their programs: not what running the clients left behind, nor what
    # builds or tests them here (those need this repository).
    find clients -type f ! -path '*/__pycache__/*' ! -name '*.pyc' \
        ! -path '*/node_modules/*' ! -path '*/build/*' ! -path '*/bin/*' ! -path '*/obj/*' \
        ! -name CMakeLists.txt ! -name 'conftest.py' ! -name 'test_*' ! -name '*_test.*' \
        ! -name '*Tests.cs' ! -name '*.sh' | while read -r file; do
        mkdir -p "$stage/$(dirname "$file")"
        cp "$file" "$stage/$file"
    done
fi

cd "$stage"
export LC_ALL=C TZ=UTC
# Written beside the stage first: the file must not list itself.
sums=$(mktemp)
find . -type f | sed 's|^\./||' | sort | xargs sha256sum >"$sums"
mv "$sums" SHA256SUMS
find . -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find . -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
mkdir -p "$out"
rm -f "$out/$name.zip" "$out/$name.zip.sha256"
# -X: no owners or extra times; -D: no folder entries; names in C order.
find . -type f | sed 's|^\./||' | sort | zip -X -D -q -9 "$out/$name.zip" -@
cd "$root"

echo "wrote $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"
echo "ZelLogConsole.exe $(stat -c %s "$stage/ZelLogConsole.exe") bytes, zelsend.exe $(stat -c %s "$stage/zelsend.exe") bytes (stripped)"
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "SHA-256 of the zip: $(cut -d' ' -f1 "$out/$name.zip.sha256") (in $out/$name.zip.sha256)"
