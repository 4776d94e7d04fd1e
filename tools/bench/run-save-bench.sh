#!/usr/bin/env bash
# Save as Script against the server's own dump, paired in one run on the same rows:
# table-dump --script reads the bench tables from their files (1,000,000 rows, MyISAM and
# InnoDB); mariadb-dump dumps the same table from a private server that loaded the same
# rows (bench-rows.sql). Each is run RUNS times after one unmeasured run that fills the
# caches; the median is printed with the peak memory of the save at 100,000 and
# 1,000,000 rows.
#
# Usage: tools/bench/run-save-bench.sh [BUILDDIR]   (default build-bench)   RUNS=N (default 3)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
data=$build/benchdata
runs=${RUNS:-3}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j4 --target table-dump >/dev/null
dump=$build/bin/table-dump
[ -e "$data/rows/.complete" ] || tools/bench/make-bench-data.sh "$data"

work=$(mktemp -d)
# shellcheck source=../fixtures/mariadb-server.sh
. tools/fixtures/mariadb-server.sh
mdb_cleanup_hook() { rm -rf "$work"; }
trap 'mdb_cleanup_hook' EXIT

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# Milliseconds and peak RSS (KB) of one run of the command after --.
measure() {
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; return 1; }
    end=$(date +%s%N)
    echo "$(((end - start) / 1000000)) $(cat "$work/rss")"
}

declare -A save_ms save_rss
for table in myisam_1m innodb_1m myisam_100k innodb_100k; do
    times=()
    for run in $(seq 0 "$runs"); do
        rm -rf "$work/script"
        read -r ms rss < <(measure "$dump" --script "$work/script" "$data/rows" bench "$table")
        [ "$run" -eq 0 ] || times+=("$ms")
    done
    save_ms[$table]=$(printf '%s\n' "${times[@]}" | median)
    save_rss[$table]=$rss
    printf 'figures save table=%s ms=%s rss_kb=%s bytes=%s\n' "$table" "${save_ms[$table]}" "$rss" \
        "$(stat -c %s "$work/script/bench.sql")"
done

mdb_start "$work/server" \
    --innodb-buffer-pool-size=1G --innodb-log-file-size=512M --innodb-flush-log-at-trx-commit=0 \
    --innodb-doublewrite=0 --innodb-stats-persistent=OFF --key-buffer-size=256M
mdb_sql < tools/bench/bench-rows.sql
for table in myisam_1m innodb_1m; do
    times=()
    for run in $(seq 0 "$runs"); do
        start=$(date +%s%N)
        mariadb-dump --no-defaults --protocol=socket --socket="$MDB_SOCK" --user=root --single-transaction \
            bench "$table" >"$work/$table.dump.sql"
        end=$(date +%s%N)
        [ "$run" -eq 0 ] || times+=($(((end - start) / 1000000)))
    done
    ms=$(printf '%s\n' "${times[@]}" | median)
    printf 'figures mariadb-dump table=%s ms=%s bytes=%s\n' "$table" "$ms" "$(stat -c %s "$work/$table.dump.sql")"
    printf 'summary %-10s Save as Script %6s ms, mariadb-dump %6s ms: %s\n' "$table" "${save_ms[$table]}" "$ms" \
        "$([ "${save_ms[$table]}" -le "$ms" ] && echo met || echo MISSED)"
done
mdb_stop >/dev/null
for e in myisam innodb; do
    printf 'summary %-7s peak memory of the save: %s KB at 100,000 rows, %s KB at 1,000,000 rows\n' "$e" \
        "${save_rss[${e}_100k]}" "${save_rss[${e}_1m]}"
done
