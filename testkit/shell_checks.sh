# Sourced by the shell tests: a scratch folder ($work) removed at exit, and `fail WORDS`, which
# prints "FAIL: WORDS" (ctest's mark of a failure) and makes the test end with status 1.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
