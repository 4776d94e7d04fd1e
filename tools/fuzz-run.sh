#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each one for SECONDS, seeded from the fixture corpus, several at a time.
# Prints per target the executions, their rate, the coverage and the findings; exits
# non-zero when any target found a crash, a leak, a hang or an allocation beyond its
# limit. Used by tools/fuzz-smoke.sh and tools/fuzz-long.sh.
#   FUZZ_BUILD_DIR  build folder (build-fuzz-lf)
#   FUZZ_JOBS       targets run at the same time (the smaller of 4 and the cores)
#   FUZZ_TARGETS    names of the targets to run (all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz-run.sh SECONDS}
build=${FUZZ_BUILD_DIR:-build-fuzz-lf}
cores=$(nproc)
jobs=${FUZZ_JOBS:-$(( cores < 4 ? cores : 4 ))}
all_targets=(frm_reader collation_loader myi_header myisam_dynamic myisam_fixed inno_dictionary inno_walk inno_blob
             view_file trigger_file mysql_json)
read -r -a targets <<< "${FUZZ_TARGETS:-${all_targets[*]}}"

tools/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DDRALVEK_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
if ! cmake --build "$build" -j"$cores" --target fuzz_seeds $(printf 'fuzz_%s ' "${targets[@]}") >"$build/fuzz-build.log" 2>&1; then
  tail -40 "$build/fuzz-build.log" >&2
  exit 1
fi

# The inputs' files live on a memory file system, in a folder this run removes again.
shm=/dev/shm
[ -w "$shm" ] || shm=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$shm/dralvek-fuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

out="$build/fuzz"
run_one() {
  local t=$1
  mkdir -p "$out/corpus/$t" "$out/logs"
  rm -rf "$out/findings/$t"
  mkdir -p "$out/findings/$t"
  # New inputs go to corpus/<target> and are kept for the next run; the seeds stay as made.
  DRALVEK_FUZZ_TMP="$scratch" ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/findings/$t/" "$out/corpus/$t" "$out/seeds/$t" >"$out/logs/$t.log" 2>&1
}

start=$(date +%s)
declare -A pid_of
running=0
for t in "${targets[@]}"; do
  while [ "$running" -ge "$jobs" ]; do
    wait -n || true
    running=$(jobs -rp | wc -l)
  done
  run_one "$t" &
  pid_of[$t]=$!
  running=$(jobs -rp | wc -l)
done

failed=0
printf '%-18s %12s %9s %7s %7s %9s  %s\n' target executions exec/s cov ft corpus findings
for t in "${targets[@]}"; do
  rc=0
  wait "${pid_of[$t]}" || rc=$?
  log="$out/logs/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  units=$(find "$out/corpus/$t" -type f | wc -l)
  findings=$(find "$out/findings/$t" -type f | wc -l)
  printf '%-18s %12s %9s %7s %7s %9s  %s\n' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$units" "$findings"
  if [ "$rc" -ne 0 ] || [ "$findings" -ne 0 ]; then
    failed=1
    echo "  $t failed (exit $rc): $log" >&2
    find "$out/findings/$t" -type f -printf '  finding: %p\n' >&2
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -5 >&2 || true
  fi
done
echo "fuzzing took $(( $(date +%s) - start )) s ($seconds s per target, $jobs at a time)"
exit "$failed"
