#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build.sh
cd build
ctest --output-on-failure -j"$(nproc)"
cd ..
tools/test-sanitizers.sh
tools/fuzz-smoke.sh
