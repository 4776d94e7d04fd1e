#!/bin/sh
# Pictures of the window controls (check-box strips, a tree with mixed checks, the splash),
# written into <build>/screenshots/offscreen and, when Xvfb is there, <build>/screenshots/xvfb.
# Usage: tools/controls-screenshots.sh [build folder]   (default: build)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
cmake --build "$build" -j4 --target ui-screenshots
program=$build/bin/ui-screenshots
out=$build/screenshots

QT_QPA_PLATFORM=offscreen "$program" "$out/offscreen"

if command -v xvfb-run >/dev/null 2>&1; then
    env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb "$program" "$out/xvfb"
else
    echo "xvfb-run not found: only the offscreen pictures were made" >&2
fi
