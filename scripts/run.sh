#!/usr/bin/env bash
# Opens the program's window. With no display to open it on, shows it on a virtual one, saves a
# screenshot and exits instead of waiting for a user who cannot see it.
set -euo pipefail
program=${1:?program}
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi
output=$(dirname "$program")/screenshot.png
echo "No display: starting the window on a virtual display instead."
exec "$(dirname "$0")/screenshot.sh" "$program" "$output"
