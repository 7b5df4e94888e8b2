#!/usr/bin/env bash
# The release zip as a Windows user gets it (scripts/package.sh). Builds it once from scratch,
# from a copy of the sources at another path, and checks that:
#   - its exes have the same bytes, once stripped, as those of the Windows build tree (another
#     path, another build directory, built as package.sh builds: Release, the same toolchain), and
#     packing the same sources again gives the same zip: the same commit gives the same bytes;
#   - the zip holds exactly the files it should: the clients' sources, never their tests or
#     build files, nor any text that needs the repository; its SHA256SUMS verifies;
#   - the zip's SHA-256 is written beside it in the form `sha256sum -c` reads;
#   - README.txt is the README's Windows part with CR LF line ends, written for a reader who
#     has only the zip: no Markdown links or comments, and every file it names is in the zip;
#   - the exes are stripped, 32-bit and need only Windows' own DLLs;
#   - the console's version record reads 1.0.0.1, as do zelsend's and zelsend --version;
#   - docs/protocol.md and clients/ are packed when the sources have them.
#   package_test.sh SOURCE_DIR CONSOLE_EXE ZELSEND_EXE    (the exes of the Windows build tree)
set -euo pipefail
usage="usage: package_test.sh SOURCE_DIR CONSOLE_EXE ZELSEND_EXE"
src=$(realpath "${1:?$usage}")
tree_console=$(realpath "${2:?$usage}")
tree_zelsend=$(realpath "${3:?$usage}")
. "$(dirname "${BASH_SOURCE[0]}")/../../testkit/shell_checks.sh"
SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct)
export SOURCE_DATE_EPOCH

# The sources as a checkout holds them: tracked and new files, no build output.
copy_sources() {
    mkdir -p "$1"
    (cd "$src" && git ls-files -z --cached --others --exclude-standard |
        tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$1"
}

# package SOURCES BUILD OUT: runs the copy's package.sh; prints the zip's path.
package() {
    ZEL_PACKAGE_BUILD=$2 ZEL_PACKAGE_OUT=$3 "$1/scripts/package.sh" >"$3.log" 2>&1 ||
        { cat "$3.log" >&2; echo "FAIL: package.sh failed in $1" >&2; exit 1; }
    ls "$3"/ZelLogConsole-*-win32.zip
}

# The files the zip must hold for the sources in $1, in C order: of clients/, what a user copies
# into a program. A test, a pytest fixture, a build file or a script needs this repository.
expected_files() {
    {
        printf '%s\n' README.txt SHA256SUMS ZelLogConsole.exe zelsend.exe
        [ ! -f "$1/docs/protocol.md" ] || echo docs/protocol.md
        [ ! -d "$1/clients" ] || (cd "$1" && find clients -type f) | grep -v -e '/__pycache__/' -e '\.pyc$' \
            -e '/CMakeLists\.txt$' -e '/conftest\.py$' -e '/test_[^/]*$' -e '_test\.[^/]*$' -e 'Tests\.cs$' -e '\.sh$' \
            -e '/\(build\|bin\|obj\|node_modules\)/'
    } | LC_ALL=C sort
}

# The client sources a user is told about, which every zip built from these sources must hold.
needed_clients=(clients/python/zellog.py clients/cpp/zel_log_client.h clients/cpp/zel_spdlog_sink.h
    clients/cpp/zel_glog_sink.h clients/dotnet/ZelLog.cs)

check_zip() {
    local zip=$1 sources=$2 dir
    dir=$(mktemp -d -p "$work")
    echo "checking $zip"
    [ "$(basename "$zip")" = ZelLogConsole-1.0.0.1-win32.zip ] || fail "zip named $(basename "$zip")"
    diff <(unzip -Z1 "$zip" | LC_ALL=C sort) <(expected_files "$sources") || fail "the zip's files differ (< zip, > expected)"
    local listing
    listing=$(unzip -Z1 "$zip")
    for file in "${needed_clients[@]}"; do
        grep -qxF "$file" <<<"$listing" || fail "the zip lacks $file"
    done
    ! grep -E '(^|/)(conftest\.py|test_[^/]*|[^/]*_test\.[^/]*|CMakeLists\.txt)$' <<<"$listing" ||
        fail "the zip ships test or build files"
    unzip -q "$zip" -d "$dir"
    # What the zip holds must make sense without the repository that built it.
    ! (cd "$dir" && grep -rlE 'pytest|ctest|scripts/|tests/|isolated\.sh' --exclude='*.exe' .) ||
        fail "files in the zip refer to the repository's tests or scripts"

    # The zip's own SHA-256, beside it, checks out, and would catch a changed zip.
    local sum=$zip.sha256 tampered=$work/tampered
    grep -qxE "[0-9a-f]{64}  $(basename "$zip")" "$sum" || fail "$(basename "$sum") is not one 'HASH  NAME' line"
    (cd "$(dirname "$zip")" && sha256sum --strict --quiet -c "$(basename "$sum")") || fail "$(basename "$sum") does not verify"
    mkdir -p "$tampered" && cp "$zip" "$sum" "$tampered/" && printf 'x' >>"$tampered/$(basename "$zip")"
    ! (cd "$tampered" && sha256sum --status -c "$(basename "$sum")") || fail "$(basename "$sum") accepts a changed zip"
    rm -rf "$tampered"

    (cd "$dir" && sha256sum --strict --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
    diff <(sed 's/^[0-9a-f]*  //' "$dir/SHA256SUMS") <(expected_files "$sources" | grep -vx SHA256SUMS) ||
        fail "SHA256SUMS does not list every other file"

    local readme=$dir/README.txt
    [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "README.txt has no UTF-8 byte order mark"
    [ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "README.txt has lines without CR LF"
    for heading in "## 快速上手" "## Use on Windows" "## Security" "## The window's texts" "## Troubleshooting"; do
        grep -q "^$heading"$'\r$' "$readme" || fail "README.txt lacks '$heading'"
    done
    ! grep -q "^## The two commands" "$readme" || fail "README.txt holds the Debian build instructions"
    grep -qF "$(basename "$zip")" "$readme" || fail "README.txt does not name $(basename "$zip")"
    ! grep -nE '\]\(|<!--' "$readme" || fail "README.txt holds Markdown links or comments"
    # Every path of the zip that README.txt names is there (the zip and its .sha256 aside).
    local named
    for named in $(grep -oE '\b(clients|docs)/[A-Za-z0-9_./-]*[A-Za-z0-9_]|\b(ZelLogConsole|zelsend)\.exe|README\.txt|SHA256SUMS' "$readme" |
        sort -u); do
        grep -qxF "$named" <<<"$listing" || grep -q "^$named/" <<<"$listing" || fail "README.txt names $named, which the zip lacks"
    done

    "$src/scripts/check_imports.sh" "$dir/ZelLogConsole.exe" "$dir/zelsend.exe" || fail "an exe needs more than Windows"
    for exe in ZelLogConsole.exe zelsend.exe; do
        ! objdump -f "$dir/$exe" | grep -q HAS_SYMS || fail "$exe is not stripped"
        local rc
        rc=$(i686-w64-mingw32-windres -i "$dir/$exe" -O rc)
        grep -q "FILEVERSION 1, 0, 0, 1" <<<"$rc" || fail "$exe: version record is not 1,0,0,1"
        grep -q 'VALUE "ProductVersion", "1.0.0.1"' <<<"$rc" || fail "$exe: ProductVersion is not 1.0.0.1"
    done
    local version
    version=$(cd "$dir" && "$src/scripts/wine-run" zelsend.exe --version | tr -d '\r')
    [ "$version" = "zelsend 1.0.0.1" ] || fail "zelsend --version printed '$version'"
}

copy_sources "$work/a/longer/path/src"
zip_a=$(package "$work/a/longer/path/src" "$work/a/build" "$work/a/dist")
check_zip "$zip_a" "$work/a/longer/path/src"

# The Windows build tree built the same exes from the sources where they are: stripped, they must
# be the zip's, byte for byte. Its configuration must be the release's for that to hold.
tree_cache=$(dirname "$tree_console")/CMakeCache.txt
grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$tree_cache" && grep -qx 'CMAKE_CXX_FLAGS:STRING=' "$tree_cache" ||
    fail "$tree_cache is not configured as package.sh builds (Release, no extra flags): cannot compare"
unzip -q "$zip_a" ZelLogConsole.exe zelsend.exe -d "$work/a/unzipped"
for pair in "ZelLogConsole.exe $tree_console" "zelsend.exe $tree_zelsend"; do
    read -r name tree_exe <<<"$pair"
    i686-w64-mingw32-strip -o "$work/a/tree-$name" "$tree_exe"
    cmp "$work/a/unzipped/$name" "$work/a/tree-$name" ||
        fail "$name differs between the release build and the Windows build tree"
done
# Packing again into a new folder gives the same bytes: no time, order or mode of this run gets in.
zip_again=$(package "$work/a/longer/path/src" "$work/a/build" "$work/a/again")
if ! cmp "$zip_a" "$zip_again"; then
    fail "packing the same sources twice gave different zips"
    diff <(unzip -v "$zip_a") <(unzip -v "$zip_again")
fi

# The protocol and the clients, whether or not the sources have them yet; the clients'
# leftovers stay out.
extra=$work/a/longer/path/src
[ -f "$extra/docs/protocol.md" ] || printf '# The log protocol\n' >"$extra/docs/protocol.md"
mkdir -p "$extra/clients/python" "$extra/clients/python/__pycache__" "$extra/clients/cpp"
printf 'print("log")\n' >"$extra/clients/python/zel_example.py"
printf 'junk' >"$extra/clients/python/__pycache__/zel_example.cpython-311.pyc"
# What tests and builds the clients here, wherever it is put, stays out.
for planted in clients/python/test_example.py clients/python/conftest.py clients/cpp/example_test.cpp \
    clients/CMakeLists.txt clients/cpp/CMakeLists.txt clients/python/run_tests.sh; do
    printf '# pytest, ctest\n' >>"$extra/$planted" # a comment: clients/CMakeLists.txt still builds
done
zip_c=$(package "$extra" "$work/a/build" "$work/c")
listing=$(unzip -Z1 "$zip_c")
grep -qx docs/protocol.md <<<"$listing" || fail "docs/protocol.md not packed"
grep -qx clients/python/zel_example.py <<<"$listing" || fail "clients/ not packed"
! grep -q pycache <<<"$listing" || fail "a client's leftovers were packed"
! grep -E 'test|CMakeLists|\.sh$' <<<"$listing" || fail "a client's tests or build files were packed"
check_zip "$zip_c" "$extra"

[ "$status" -eq 0 ] && echo "package: all checks passed"
exit $status
