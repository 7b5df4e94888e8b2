#!/usr/bin/env bash
# Runs every ```sh example of README.md against the real console under Wine, its log service
# started, so that the examples cannot go stale: each block must succeed, and the frames they
# send must show in the console's view. A block right after the line
# "<!-- not run by tests/readme: REASON -->" is left out.
#   readme_examples_test.sh SOURCE_DIR CONSOLE_SESSION_EXE
# Listens on the console's fixed port 11925: run it alone, or in scripts/isolated.sh.
set -euo pipefail
src=$(realpath "${1:?usage: readme_examples_test.sh SOURCE_DIR CONSOLE_SESSION_EXE}")
session=$(realpath "${2:?usage: readme_examples_test.sh SOURCE_DIR CONSOLE_SESSION_EXE}")
cd "$src"
work=$(mktemp -d)
session_pid=
cleanup() {
    touch "$work/done"
    [ -z "$session_pid" ] || wait "$session_pid" || true
    rm -rf "$work"
}
trap cleanup EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Texts the examples send, each of which must reach the view.
expected=("hello" "build started" "build done" "total " "日志 936" "c007 s00000999 n000100")

awk -v dir="$work" '
    /^<!-- not run by tests\/readme:/ { skip = 1; next }
    /^```sh$/ && !inside { inside = skip ? 2 : 1; skip = 0
                           if (inside == 1) file = sprintf("%s/block-%02d.sh", dir, ++n); next }
    /^```/ && inside { inside = 0; next }
    inside == 1 { print > file; next }
    NF { skip = 0 }
' README.md
blocks=("$work"/block-*.sh)
[ -f "${blocks[0]}" ] || { echo "FAIL: no sh examples found in README.md"; exit 1; }

# The README's examples come after scripts/run.sh, which builds zelsend for this machine.
if [ ! -x build/host/tools/zelsend/zelsend ]; then
    { [ -f build/host/CMakeCache.txt ] || cmake --preset host >/dev/null; } &&
        cmake --build --preset host --target zelsend >/dev/null
fi

scripts/wine-run "$session" "$(winpath "$work/ready")" "$(winpath "$work/done")" \
    "$(winpath "$work/view")" </dev/null &
session_pid=$!
for _ in $(seq 1200); do
    [ -s "$work/ready" ] && break
    kill -0 "$session_pid" 2>/dev/null || { echo "FAIL: the console did not start"; exit 1; }
    sleep 0.1
done
[ -s "$work/ready" ] || { echo "FAIL: timed out waiting for the console"; exit 1; }

status=0
for block in "${blocks[@]}"; do
    if ! output=$(LC_ALL=C timeout 300 bash -euo pipefail "$block" 2>&1); then
        echo "FAIL: this README example failed:"
        sed 's/^/    /' "$block"
        echo "$output"
        status=1
    fi
done
echo "ran ${#blocks[@]} example blocks"

touch "$work/done"
wait "$session_pid" || { echo "FAIL: the console session ended badly"; exit 1; }
session_pid=
for text in "${expected[@]}"; do
    grep -qF -- "$text" "$work/view" || { echo "FAIL: '$text' did not show in the console"; status=1; }
done
[ "$status" -ne 0 ] || echo "README examples: all ran and showed"
exit $status
