#!/usr/bin/env bash
# The server's own export of the bench rows, the other half of run-bench.sh's paired
# run: a private throwaway server (tools/fixtures/mariadb-server.sh) loads the same
# 1,000,000 rows as the bench data (bench-rows.sql), then each table is written with
# SELECT * INTO OUTFILE, RUNS times after one unmeasured run that fills the caches.
# Prints one line per table:
#   figures export table=T server_ms=MEDIAN bytes=N
#
# Usage: tools/bench/server-export.sh WORKDIR [RUNS [KEEPDIR]]
#   WORKDIR is created, then removed; KEEPDIR receives each table's export as
#   TABLE.server.txt, for comparing with what table-dump wrote.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source=../fixtures/mariadb-server.sh
. "$repo/tools/fixtures/mariadb-server.sh"

[ $# -ge 1 ] || { echo "usage: server-export.sh WORKDIR [RUNS]" >&2; exit 2; }
work=$1
runs=${2:-5}
keep=${3:-}
mkdir -p "$work"
work=$(cd "$work" && pwd)
mdb_cleanup_hook() { rm -rf "$work"; }
trap 'mdb_cleanup_hook' EXIT

# The bench data's generation settings, and a buffer pool and key cache that hold the
# whole table, so the export reads from memory as table-dump reads from the page cache.
mdb_start "$work/server" \
    --innodb-buffer-pool-size=1G --innodb-log-file-size=512M --innodb-flush-log-at-trx-commit=0 \
    --innodb-doublewrite=0 --innodb-stats-persistent=OFF --key-buffer-size=256M
mdb_sql < "$here/bench-rows.sql"

export_ms() {
    local table=$1 file=$2 start end
    rm -f "$file"
    start=$(date +%s%N)
    mdb_query "SELECT * FROM bench.$table INTO OUTFILE '$file'" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
}

for table in myisam_1m innodb_1m; do
    file=$work/$table.txt
    export_ms "$table" "$file" >/dev/null
    times=()
    for _ in $(seq "$runs"); do times+=("$(export_ms "$table" "$file")"); done
    median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
    printf 'figures export table=%s server_ms=%d.%03d bytes=%s\n' "$table" $((median / 1000)) $((median % 1000)) \
        "$(stat -c %s "$file")"
    if [ -n "$keep" ]; then mv "$file" "$keep/$table.server.txt"; else rm -f "$file"; fi
done
mdb_stop
