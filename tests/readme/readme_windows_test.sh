#!/usr/bin/env bash
# README.txt as the zip carries it (scripts/readme_windows.sh): plain text a Windows user reads
# in Notepad, holding the syslog relay (how to run it, the rsyslog lines, the Security note).
#   tests/readme/readme_windows_test.sh ROOT
set -euo pipefail
root=${1:-$(dirname "$0")/../..}
text=$(bash "$root/scripts/readme_windows.sh" "$root/README.md" | tr -d '\r')
status=0
fail() { echo "README.txt: $*" >&2; status=1; }
! grep -n '```' <<<"$text" || fail "holds Markdown fences"
! grep -nE '\]\(|<!--' <<<"$text" || fail "holds Markdown links or comments"
for wanted in '## Logs from other machines' \
    '    zelsend --syslog-udp 0.0.0.0:5514 --syslog-tcp 0.0.0.0:5514' \
    '    *.* action(type="omfwd" target="192.168.1.20" port="5514" protocol="udp")' \
    '    global(parser.escapeControlCharactersOnReceive="off")' \
    '$EscapeControlCharactersOnReceive off' \
    '**The syslog relay listens on 127.0.0.1 unless you give it an address.**' \
    '--include REGEX' '--time' '--process NAME'; do
    grep -qF -- "$wanted" <<<"$text" || fail "lacks: $wanted"
done
# A fenced block's lines stay lines of their own, indented.
grep -q '^    zelsend --debug-output --pid$' <<<"$text" || fail "a command of a fenced block is not indented"
exit $status
