#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window on the bundled sample data
# folder. Without a display it says how to start the window under Xvfb and prints the
# sample's tables through table-dump instead (tools/run.sh TABLE: only that table).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
sample=build/fixtures/sample
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/dralvek-ostrune "$sample"
fi
cat <<MSG
No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so the window cannot open here.
To start it under a virtual X server (installed by tools/install-deps.sh):
    xvfb-run -a build/bin/dralvek-ostrune $sample
and to look at it, take pictures of it with tools/screenshots.sh (build/screenshots/).
The sample's tables, as table-dump prints them:
MSG
if [ $# -gt 0 ]; then
  tables=("$@")
else
  tables=()
  for frm in "$sample"/sample/*.frm; do
    # Views are text definitions; table-dump reads tables.
    head -c 9 "$frm" | grep -q '^TYPE=VIEW' && continue
    tables+=("$(basename "$frm" .frm)")
  done
fi
for table in "${tables[@]}"; do
  echo
  echo "== sample.$table"
  build/bin/table-dump "$sample" sample "$table"
done
