#!/usr/bin/env bash
# Starts the program on a virtual X display, waits for its window, saves a screenshot of it and
# closes it again. Usage: scripts/screenshot.sh PROGRAM OUTPUT.png
set -euo pipefail
program=${1:?program}
output=${2:?output png}
mkdir -p "$(dirname "$output")"
xvfb-run --auto-servernum --server-args="-screen 0 760x620x24" bash -c '
    "$1" & pid=$!
    for _ in $(seq 50); do
        xwininfo -root -tree 2>/dev/null | grep -q "Pantrovo Importer" && break
        sleep 0.1
    done
    sleep 1
    id=$(xwininfo -root -tree | awk "/\"Pantrovo Importer\"/ {print \$1; exit}")
    import -window "$id" "$2"
    kill "$pid"
' _ "$program" "$output"
echo "Screenshot saved to $output"
