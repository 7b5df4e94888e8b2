#!/usr/bin/env bash
# End-to-end benchmark of the log pipe and the log view under Wine, window visible on a virtual
# X display, with the machine it ran on. Not a test; ctest does not run it. Takes about 15 to 25
# minutes, most of it the 16 MiB frame without line breaks (stopped after LIMIT seconds).
#   - text without line breaks: a 1 MiB frame; 1 M characters in 10,000 frames of 100; a small
#     frame behind a 70,000-letter frame; each as a ratio of the unbroken-text ceiling (a plain
#     program appending pieces of 2, 4 and 8 Ki characters to the same control), same run;
#   - 16 MiB frames, with line breaks and without;
#   - ordinary lines: 10 clients x 5,000 frames of 100 bytes against the line ceiling, RUNS times;
#   - hostile clients: 150 holding most of a 16 MiB frame each, then a good client; a flood of
#     empty-text frames, and a flood of ordinary frames from one fast client, with keys pressed;
#     1,400 and 5,000 clients each stopped part-way through a small frame, then a good client.
#
#   bench/run.sh pipe [BUILD_DIR] [RUNS] [LIMIT]
#
# BUILD_DIR is a Windows build (default build/windows); RUNS of the ordinary lines (default 3);
# LIMIT seconds for the unbroken 16 MiB frame (default 360). The console listens on its fixed
# port 11925; on a shared machine run it in a network namespace of its own:
# `scripts/isolated.sh bench/run.sh pipe build/windows 3`.
set -euo pipefail

. "$(dirname "${BASH_SOURCE[0]}")/bench_env.sh"
runs=${2:-3}
limit=${3:-360}
bench --unbroken
for run in $(seq 1 "$runs"); do
    bench 10 5000 100
done
bench --hold-large 150
bench --empty-flood 15
bench --idle-partial 1400
bench --idle-partial 5000
bench 1 100000 100 --keys --no-ceiling
bench --large "$limit"
bench_end
