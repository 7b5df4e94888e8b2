#!/usr/bin/env bash
# Runs a command in a network namespace of its own, with only a loopback interface: the
# console's fixed port 11925 is then private to that command, so several builds can run their
# end-to-end tests or benchmarks side by side on one machine. Needs root (or CAP_SYS_ADMIN).
#
#   scripts/isolated.sh COMMAND [ARGS...]
set -euo pipefail
if [ $# -eq 0 ]; then
    echo "usage: scripts/isolated.sh COMMAND [ARGS...]" >&2
    exit 2
fi
exec unshare --net -- bash -c 'ip link set lo up && exec "$@"' isolated "$@"
