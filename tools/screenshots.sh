#!/usr/bin/env bash
# Writes pictures of the main window in each look and of the About box, with the sample's
# "customers" table shown: on Qt's offscreen platform into build/screenshots/offscreen/ and
# under a real X server (Xvfb) into build/screenshots/xvfb/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j4 --target window-shots fixtures >/dev/null
args=(build/fixtures/sample sample customers)
QT_QPA_PLATFORM=offscreen build/bin/window-shots build/screenshots/offscreen "${args[@]}" 2>/dev/null
if command -v xvfb-run >/dev/null; then
  env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1600x1000x24" build/bin/window-shots build/screenshots/xvfb "${args[@]}" 2>/dev/null
else
  echo "screenshots.sh: xvfb-run is missing (tools/install-deps.sh installs it); only the offscreen pictures were written" >&2
fi
