#!/usr/bin/env bash
# The long run: every fuzz target for SECONDS (at least 600), at most four at a time;
# prints the executions, coverage and findings per target. Inputs found stay in
# <build>/fuzz/corpus/ for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: tools/fuzz-long.sh SECONDS}
if [ "$seconds" -lt 600 ]; then
  echo "fuzz-long.sh: a long run takes at least 600 s per target" >&2
  exit 2
fi
cores=$(nproc)
export FUZZ_JOBS=${FUZZ_JOBS:-$(( cores < 4 ? cores : 4 ))}
exec tools/fuzz-run.sh "$seconds"
