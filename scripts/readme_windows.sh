#!/usr/bin/env bash
# Prints the part of README.md that a Windows user needs, as README.txt for the package: the
# title and introduction, then the sections named below in the README's order, with CR LF line
# ends and a UTF-8 byte order mark (so that Notepad on a Chinese system does not read it as 936).
# It is read as plain text beside the zip's other files: a link to a section becomes the
# section's name in quotes, a link to anything else its text, comments go, and a fenced block
# becomes its lines indented by four spaces, without the fences.
#   scripts/readme_windows.sh README.md > README.txt
set -euo pipefail
readme=${1:-README.md}
printf '\xEF\xBB\xBF'
sed -E -e 's/!?\[([^]]*)\]\(#[^)]*\)/"\1"/g' -e 's/!?\[([^]]*)\]\([^)]*\)/\1/g' \
    -e '/^[[:space:]]*<!--.*-->[[:space:]]*$/d' "$readme" | awk '
    BEGIN {
        split("快速上手|Use on Windows|Log from your program|Logs from other machines|Security|The window'"'"'s texts|Troubleshooting", names, "|")
        for (i in names) wanted[names[i]] = 1
        keep = 1  # the title and introduction
    }
    /^## / && !fenced { keep = (substr($0, 4) in wanted) }
    !keep { next }
    { sub(/\r$/, "") }
    /^[[:space:]]*```/ { fenced = !fenced; next }
    fenced { printf "    %s\r\n", $0; next }
    { printf "%s\r\n", $0 }
'
