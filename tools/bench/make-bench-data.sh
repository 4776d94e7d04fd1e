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
    # Every value is a function of the row number, so each run writes the
    # same rows.  Lengths of name vary 1..40; amount, ratio, note and qty
    # hold NULLs at different strides.
    mdb_sql <<'EOF'
CREATE DATABASE bench;
USE bench;
CREATE TABLE myisam_1m (
  id      INT NOT NULL,
  big     BIGINT NOT NULL,
  name    VARCHAR(40) NOT NULL,
  amount  DECIMAL(10,2) NULL,
  created DATETIME NOT NULL,
  ratio   DOUBLE NULL,
  note    TEXT NULL,
  code    CHAR(10) NOT NULL,
  status  ENUM('new','paid','shipped','returned','cancelled') NOT NULL,
  qty     INT NULL,
  PRIMARY KEY (id)
) ENGINE=MyISAM ROW_FORMAT=DYNAMIC;
ALTER TABLE myisam_1m DISABLE KEYS;
INSERT INTO myisam_1m
SELECT n,
       n * 1000003 - 500000000000,
       LEFT(REPEAT(CONCAT('name', n, '-'), 6), 1 + n % 40),
       IF(n % 7 = 0, NULL, (n % 1000000) / 100 - 2500),
       TIMESTAMPADD(SECOND, n * 37, '2020-01-01 00:00:00'),
       IF(n % 11 = 0, NULL, n / 7e0),
       IF(n % 5 = 0, NULL, CONCAT('note ', n % 997)),
       CONCAT('C', LPAD(n % 100000, 6, '0')),
       ELT(1 + n % 5, 'new', 'paid', 'shipped', 'returned', 'cancelled'),
       IF(n % 13 = 0, NULL, n % 500)
  FROM (SELECT CAST(seq AS SIGNED) AS n FROM seq_1_to_1000000) s;
ALTER TABLE myisam_1m ENABLE KEYS;

CREATE TABLE innodb_1m LIKE myisam_1m;
ALTER TABLE innodb_1m ENGINE=InnoDB ROW_FORMAT=DYNAMIC;
INSERT INTO innodb_1m SELECT * FROM myisam_1m ORDER BY id;

CREATE TABLE myisam_100k LIKE myisam_1m;
INSERT INTO myisam_100k SELECT * FROM myisam_1m WHERE id <= 100000 ORDER BY id;
CREATE TABLE innodb_100k LIKE innodb_1m;
INSERT INTO innodb_100k SELECT * FROM innodb_1m WHERE id <= 100000 ORDER BY id;
CREATE TABLE redundant_1m LIKE myisam_1m;
ALTER TABLE redundant_1m ENGINE=InnoDB ROW_FORMAT=REDUNDANT;
INSERT INTO redundant_1m SELECT * FROM myisam_1m ORDER BY id;
CREATE TABLE redundant_100k LIKE redundant_1m;
INSERT INTO redundant_100k SELECT * FROM redundant_1m WHERE id <= 100000 ORDER BY id;
EOF
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

# Plain if: errexit and the ERR trap stay active inside the functions.
# Data made before the REDUNDANT tables existed is made again.
if [ -e "$out/rows/.complete" ] && [ -e "$out/rows/bench/redundant_100k.ibd" ]; then
    echo "rows: present in $out/rows" >&2
else
    make_rows
fi
if [ -e "$out/dict/.complete" ]; then echo "dict: present in $out/dict" >&2; else make_dict; fi
echo "bench data in $out" >&2
