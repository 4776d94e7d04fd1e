#!/usr/bin/env bash
# Generates the benchmark's data directories with a throwaway MariaDB server
# (tools/fixtures/mariadb-server.sh).  Nothing here is committed.
#
#   OUTDIR/rows/   database `bench`:
#                    myisam_1m, innodb_1m       1,000,000 rows each
#                    redundant_1m               the same rows, InnoDB REDUNDANT
#                    myisam_100k, innodb_100k,
#                    redundant_100k             their first 100,000 rows
#                  (MyISAM DYNAMIC, InnoDB .ibd DYNAMIC and REDUNDANT, same rows)
#   OUTDIR/dict/   ibdata1 whose dictionary holds 10,000 user tables
#                  (database `dict`, t00001 ... t10000)
#   OUTDIR/wide/   database `wide`: i20 (InnoDB) and m20 (MyISAM), 20 mixed
#                  columns, 5,000 rows each (the window's click figure)
#
# Usage: tools/bench/make-bench-data.sh [OUTDIR]   (default build-bench/benchdata)
# A data directory that is already complete is kept; delete it to regenerate.
# The redo log is dropped, so a server cannot be started on the result.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=${1:-$repo/build-bench/benchdata}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# shellcheck source=../fixtures/mariadb-server.sh
. "$repo/tools/fixtures/mariadb-server.sh"

dict_tables=${BENCH_DICT_TABLES:-10000}

# Settings that only make generation faster; none of them changes the file
# formats the readers see.
fast_args=(
    --innodb-buffer-pool-size=1G
    --innodb-log-file-size=512M
    --innodb-flush-log-at-trx-commit=0
    --innodb-doublewrite=0
    --innodb-stats-persistent=OFF
    --key-buffer-size=256M
)

work=""
mdb_cleanup_hook() { [ -z "$work" ] || rm -rf "$work"; }
trap 'mdb_cleanup_hook' EXIT

# finish NAME: moves the stopped server's data directory into OUTDIR/NAME.
finish() {
    local name=$1
    rm -rf "${out:?}/$name"
    mv "$MDB_DATADIR" "$out/$name"
    # The readers never look at the redo log, and after the slow shutdown it
    # holds nothing the data files lack.
    rm -f "$out/$name/ib_logfile0"
    touch "$out/$name/.complete"
    rm -rf "$work"
    work=""
}

make_rows() {
    echo "== rows: 1,000,000-row MyISAM, InnoDB DYNAMIC and REDUNDANT tables" >&2
    work=$(mktemp -d "$out/.rows.XXXXXX")
    mdb_start "$work/server" "${fast_args[@]}"
    local t0=$SECONDS
    mdb_sql < "$here/bench-rows.sql"
    mdb_sql < "$here/bench-rows-redundant.sql"
    mdb_query "SELECT TABLE_NAME, ENGINE, ROW_FORMAT, TABLE_ROWS FROM information_schema.TABLES
                WHERE TABLE_SCHEMA = 'bench' ORDER BY TABLE_NAME" | sed 's/^/   /' >&2
    mdb_stop
    echo "   $((SECONDS - t0)) s" >&2
    finish rows
}

make_dict() {
    echo "== dict: $dict_tables tables in the ibdata1 dictionary" >&2
    work=$(mktemp -d "$out/.dict.XXXXXX")
    mdb_start "$work/server" "${fast_args[@]}"
    local t0=$SECONDS
    # One client session runs every statement; a few column shapes rotate so
    # the dictionary holds varied column and index records.
    {
        echo "CREATE DATABASE dict; USE dict;"
        awk -v n="$dict_tables" 'BEGIN {
            for (i = 1; i <= n; i++) {
                t = sprintf("t%05d", i)
                s = i % 4
                if (s == 0)
                    printf "CREATE TABLE %s (id INT NOT NULL PRIMARY KEY, a VARCHAR(40), b DATETIME, c DECIMAL(10,2)) ENGINE=InnoDB;\n", t
                else if (s == 1)
                    printf "CREATE TABLE %s (id BIGINT UNSIGNED NOT NULL, k CHAR(10) NOT NULL, v TEXT, d DOUBLE, e ENUM(\x27x\x27,\x27y\x27), PRIMARY KEY (id, k), KEY kv (k)) ENGINE=InnoDB;\n", t
                else if (s == 2)
                    printf "CREATE TABLE %s (a INT, b INT, c VARCHAR(200), d DATE, e BLOB, f TINYINT) ENGINE=InnoDB ROW_FORMAT=COMPACT;\n", t
                else
                    printf "CREATE TABLE %s (id INT NOT NULL, u VARCHAR(20) NOT NULL, x INT, y INT, PRIMARY KEY (id), UNIQUE KEY uu (u), KEY xy (x, y)) ENGINE=InnoDB;\n", t
            }
        }'
    } | mdb_sql
    local n
    n=$(mdb_query "SELECT COUNT(*) FROM information_schema.INNODB_SYS_TABLES WHERE NAME LIKE 'dict/%'")
    echo "   $n tables in the dictionary" >&2
    [ "$n" = "$dict_tables" ] || mdb_die "expected $dict_tables tables, found $n"
    mdb_stop
    echo "   $((SECONDS - t0)) s" >&2
    finish dict
}

make_wide() {
    echo "== wide: 20-column tables of 5,000 rows" >&2
    work=$(mktemp -d "$out/.wide.XXXXXX")
    mdb_start "$work/server" "${fast_args[@]}"
    local cols="id INT NOT NULL PRIMARY KEY, b BIGINT, c VARCHAR(40), d DECIMAL(10,2), e DATETIME, f DOUBLE,
        g TEXT, h CHAR(10), i ENUM('x','y','z'), j INT, k SMALLINT, l VARCHAR(80), m DATE, n TIME, o FLOAT,
        p TINYINT, q VARCHAR(20), r BIGINT UNSIGNED, s DECIMAL(20,6), t TIMESTAMP NULL"
    local fill="SELECT seq, seq * 7919, CONCAT('name ', seq), seq / 7, '2024-01-01' + INTERVAL seq MINUTE,
        seq / 3, REPEAT('t', seq % 50), LPAD(seq, 10, '0'), ELT(1 + seq % 3, 'x', 'y', 'z'), seq % 1000,
        seq % 30000, CONCAT('label ', seq * 3), '2020-01-01' + INTERVAL seq DAY, SEC_TO_TIME(seq), seq / 11,
        seq % 100, HEX(seq), seq * 104729, seq / 13, '2023-06-01' + INTERVAL seq SECOND FROM seq_1_to_5000"
    mdb_sql <<SQL
CREATE DATABASE wide; USE wide;
CREATE TABLE i20 ($cols) ENGINE=InnoDB;
CREATE TABLE m20 ($cols) ENGINE=MyISAM;
INSERT INTO i20 $fill;
INSERT INTO m20 $fill;
SQL
    mdb_stop
    finish wide
}

# Plain if: errexit and the ERR trap stay active inside the functions.
# Data made before the REDUNDANT tables existed is made again.
if [ -e "$out/rows/.complete" ] && [ -e "$out/rows/bench/redundant_100k.ibd" ]; then
    echo "rows: present in $out/rows" >&2
else
    make_rows
fi
if [ -e "$out/dict/.complete" ]; then echo "dict: present in $out/dict" >&2; else make_dict; fi
if [ -e "$out/wide/.complete" ]; then echo "wide: present in $out/wide" >&2; else make_wide; fi
echo "bench data in $out" >&2
