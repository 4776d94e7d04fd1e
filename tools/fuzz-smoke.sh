#!/usr/bin/env bash
# A short run of every fuzz target (30 s each, several at a time), as CI does it; fails
# on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
exec tools/fuzz-run.sh "${FUZZ_SMOKE_SECONDS:-30}"
