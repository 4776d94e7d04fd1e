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
# With the bench data (make-bench-data.sh): the Open command's scan of the 10,000-table
# folder to a filled tree, and a click on a 20-column table to its first page shown.
data="$build/benchdata"
if [ -e "$data/dict/.complete" ]; then "$build/bin/window-bench" --runs 5 --scan "$data/dict" 2>/dev/null | grep '^scan'; fi
if [ -e "$data/wide/.complete" ]; then
  for t in i20 m20; do "$build/bin/window-bench" --runs 15 --click "$data/wide" wide "$t" 2>/dev/null | grep '^click'; done
fi
