#!/usr/bin/env bash
# Draws the application icon: a dark terminal pane with a prompt and log lines, 128 x 128,
# 32-bit colour with alpha, and writes it as res/ZelLogConsole.ico. Needs ImageMagick.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out="$here/../ZelLogConsole.ico"
png=$(mktemp --suffix=.png)
trap 'rm -f "$png"' EXIT

convert -size 128x128 xc:none \
    -fill '#1e2a38' -stroke '#4a90d9' -strokewidth 4 -draw 'roundrectangle 6,10 121,117 14,14' \
    -stroke none -fill '#4a90d9' -draw 'roundrectangle 8,12 119,30 10,10' -draw 'rectangle 8,22 119,30' \
    -fill '#ff6b6b' -draw 'circle 20,21 24,21' \
    -fill '#ffd166' -draw 'circle 33,21 37,21' \
    -fill '#06d6a0' -draw 'circle 46,21 50,21' \
    -stroke '#06d6a0' -strokewidth 7 -fill none -draw 'polyline 22,48 38,60 22,72' \
    -stroke none -fill '#e0e6ee' -draw 'rectangle 46,56 100,63' \
    -fill '#8fa3b8' -draw 'rectangle 22,82 104,88' -draw 'rectangle 22,96 84,102' \
    -define png:color-type=6 "PNG32:$png"
convert "$png" -define icon:auto-resize=128 "$out"
echo "wrote $out"
