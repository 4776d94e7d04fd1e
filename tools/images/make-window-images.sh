#!/usr/bin/env bash
# Redraws the window's pictures into app/images/ (the window's resource file lists them).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j4 --target draw-window-images >/dev/null
QT_QPA_PLATFORM=offscreen build/bin/draw-window-images app/images
