#!/usr/bin/env bash
# Installs what is missing, builds, and shows the bundled sample table.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
build/bin/table-dump build/fixtures/sample sample "${1:-customers}"
