#!/usr/bin/env bash
# Builds window-bench in Release and prints the window's figures: start to the main
# window shown (five fresh processes) and refilling the record list.
#
# Usage: tools/bench/run-window-bench.sh [BUILDDIR]   (default build-bench)
#   Without a display it runs on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j4 --target window-bench >/dev/null
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}; fi
echo "platform: ${QT_QPA_PLATFORM:-${DISPLAY:+xcb}}"
for i in 1 2 3 4 5; do
  "$build/bin/window-bench" --runs 1 2>/dev/null | grep '^start'
done
"$build/bin/window-bench" --runs 15 2>/dev/null | grep '^refill'
