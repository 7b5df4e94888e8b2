#!/usr/bin/env bash
# The release zip as a Windows user gets it (scripts/package.sh). Builds it from scratch twice,
# from copies of the sources at two different paths, and checks that:
#   - both zips have the same bytes;
#   - the zip holds exactly the files it should, and its SHA256SUMS verifies;
#   - README.txt is the README's Windows part with CR LF line ends;
#   - the exes are stripped, 32-bit and need only Windows' own DLLs;
#   - the console's version record reads 1.0.0.1, as do zelsend's and zelsend --version;
#   - docs/protocol.md and clients/ are packed when the sources have them.
#   package_test.sh SOURCE_DIR
set -euo pipefail
src=$(realpath "${1:?usage: package_test.sh SOURCE_DIR}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
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

# The files the zip must hold for the sources in $1, in C order.
expected_files() {
    {
        printf '%s\n' README.txt SHA256SUMS ZelLogConsole.exe zelsend.exe
        [ ! -f "$1/docs/protocol.md" ] || echo docs/protocol.md
        [ ! -d "$1/clients" ] || (cd "$1" && find clients -type f ! -path '*/__pycache__/*' \
            ! -name '*.pyc' ! -path '*/node_modules/*' ! -path '*/build/*')
    } | LC_ALL=C sort
}

check_zip() {
    local zip=$1 sources=$2 dir
    dir=$(mktemp -d -p "$work")
    echo "checking $zip"
    [ "$(basename "$zip")" = ZelLogConsole-1.0.0.1-win32.zip ] || fail "zip named $(basename "$zip")"
    diff <(unzip -Z1 "$zip" | LC_ALL=C sort) <(expected_files "$sources") || fail "the zip's files differ (< zip, > expected)"
    unzip -q "$zip" -d "$dir"
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

copy_sources "$work/a/src"
copy_sources "$work/b/a/longer/path/src"
zip_a=$(package "$work/a/src" "$work/a/build" "$work/a/dist")
zip_b=$(package "$work/b/a/longer/path/src" "$work/b/build" "$work/b/dist")
if ! cmp "$zip_a" "$zip_b"; then
    fail "two builds of the same sources gave different zips"
    diff <(unzip -v "$zip_a") <(unzip -v "$zip_b")
fi
check_zip "$zip_a" "$work/a/src"

# The protocol and the clients, whether or not the sources have them yet; the clients'
# leftovers stay out.
extra=$work/b/a/longer/path/src
[ -f "$extra/docs/protocol.md" ] || printf '# The log protocol\n' >"$extra/docs/protocol.md"
mkdir -p "$extra/clients/python" "$extra/clients/python/__pycache__"
printf 'print("log")\n' >"$extra/clients/python/zel_example.py"
printf 'junk' >"$extra/clients/python/__pycache__/zel_example.cpython-311.pyc"
zip_c=$(package "$extra" "$work/b/build" "$work/c")
listing=$(unzip -Z1 "$zip_c")
grep -qx docs/protocol.md <<<"$listing" || fail "docs/protocol.md not packed"
grep -qx clients/python/zel_example.py <<<"$listing" || fail "clients/ not packed"
! grep -q pycache <<<"$listing" || fail "a client's leftovers were packed"
check_zip "$zip_c" "$extra"

[ "$status" -eq 0 ] && echo "package: all checks passed"
exit $status
