#!/usr/bin/env bash
# Every Chinese text that the README's glossary tables explain must be one the program shows:
# found in its resources or its window code, so a reworded status line cannot leave the README
# explaining a text nobody sees. In a table, " N " stands for a number and "…" for a text that
# the program fills in.
#   glossary_test.sh SOURCE_DIR
set -euo pipefail
cd "${1:?usage: glossary_test.sh SOURCE_DIR}"
sources=(res/ZelLogConsole.rc ui/*.cpp ui/*.h app/*.cpp)
status=0
checked=0
# The first cell of each table row that holds Chinese text.
while IFS= read -r text; do
    checked=$((checked + 1))
    # Around "N" and "…", the program builds the text from pieces: each must be there.
    while IFS= read -r piece; do
        [ -n "$piece" ] || continue
        if ! grep -qF -- "$piece" "${sources[@]}"; then
            echo "FAIL: the README explains '$text', but the program has no '$piece'"
            status=1
        fi
    done < <(sed 's/ N /\n/g; s/…/\n/g' <<<"$text")
done < <(sed -n 's/^| \([^|]*[^ -~|][^|]*\) |.*/\1/p' README.md | grep -P '\p{Han}')
[ "$checked" -ge 10 ] || { echo "FAIL: only $checked glossary texts found in README.md"; status=1; }
[ "$status" -ne 0 ] || echo "glossary: $checked texts, all shown by the program"
exit $status
