#!/usr/bin/env bash
# Builds table-bench in Release, generates the bench data when it is missing and
# prints the figures of every case beside the targets.
#
# Usage: tools/bench/run-bench.sh [BUILDDIR]   (default build-bench)
#   RUNS=N        first-page and dictionary runs per case (default 15)
#   TRAVERSALS=N  full traversals per table (default 3)
#   EXPORTS=N     paired runs of table-dump --save and the server's export (default 3;
#                 0 leaves the pair out)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-bench}
data=$build/benchdata
runs=${RUNS:-15}
traversals=${TRAVERSALS:-3}
exports=${EXPORTS:-3}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target table-bench scan-bench table-dump >/dev/null
bench=$build/bin/table-bench
dump=$build/bin/table-dump

if [ ! -e "$data/rows/.complete" ] || [ ! -e "$data/rows/bench/redundant_100k.ibd" ] ||
   [ ! -e "$data/dict/.complete" ]; then
    command -v mariadbd >/dev/null ||
        { echo "run-bench.sh: the bench data needs mariadb-server (see tests/fixtures/README.md)" >&2; exit 1; }
    tools/bench/make-bench-data.sh "$data"
fi

log=$(mktemp)
pair=$(mktemp -d)
trap 'rm -rf "$log" "$pair"' EXIT

echo "machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)," \
     "$(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo)"
echo
# One process per case, so that each peak RSS belongs to that case alone.
for table in myisam_1m myisam_100k innodb_1m innodb_100k redundant_1m redundant_100k; do
    "$bench" --runs "$runs" --traversals "$traversals" "$data/rows" bench "$table" | tee -a "$log" |
        grep -v '^figures ' || echo "  (bench/$table could not be measured)"
    echo
done
"$bench" --runs "$runs" --dictionary "$data/dict/ibdata1" | tee -a "$log" | grep -v '^figures ' ||
    echo "  (the dictionary could not be measured)"
echo
# The scan of the dictionary's data folder (10,000 tables) to the tree's items.
"$build/bin/scan-bench" --runs "$runs" "$data/dict" | tee -a "$log" | grep -v '^figures ' ||
    echo "  (the scan could not be measured)"
echo

# The pair: table-dump --save against the server itself exporting the same rows
# (SELECT ... INTO OUTFILE on a private server that loads them), both writing a file.
if [ "$exports" -gt 0 ]; then
    for table in myisam_1m innodb_1m; do
        times=()
        for run in $(seq 0 "$exports"); do
            rm -rf "$pair/save"
            start=$(date +%s%N)
            "$dump" --save "$pair/save" "$data/rows" bench "$table" >"$pair/$table.txt"
            end=$(date +%s%N)
            # The first run fills the page cache and is not counted.
            [ "$run" -eq 0 ] || times+=($(((end - start) / 1000)))
        done
        median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }')
        printf 'figures dump table=%s dump_ms=%d.%03d bytes=%s\n' "$table" $((median / 1000)) $((median % 1000)) \
            "$(stat -c %s "$pair/$table.txt")" | tee -a "$log"
    done
    tools/bench/server-export.sh "$pair/server" "$exports" "$pair" | tee -a "$log" ||
        echo "  (the server's export could not be measured)"
    # Both wrote the same rows in the same text form: table-dump's column names line aside,
    # the files are to be byte for byte the same.
    for table in myisam_1m innodb_1m; do
        [ -e "$pair/$table.server.txt" ] || continue
        if tail -n +2 "$pair/$table.txt" | cmp -s - "$pair/$table.server.txt"; then same=yes; else same=no; fi
        echo "figures same table=$table same=$same" | tee -a "$log"
    done
    echo
fi

awk '
    function field(line, key,    n, i, kv, parts) {
        n = split(line, parts, " ")
        for (i = 2; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] }
        return ""
    }
    function verdict(ok) { return ok ? "met" : "MISSED" }
    /^figures table=/ {
        t = field($0, "table")
        first[t] = field($0, "first_ms"); rate[t] = field($0, "rows_per_s")
        mb[t] = field($0, "mb_per_s"); rss[t] = field($0, "rss_mb"); seen[t] = 1
    }
    /^figures dictionary/ { dict = field($0, "load_ms"); dtables = field($0, "tables") }
    /^figures scan/ { scan = field($0, "ms"); stables = field($0, "tables") }
    /^figures dump / { dumpms[field($0, "table")] = field($0, "dump_ms") }
    /^figures export / { serverms[field($0, "table")] = field($0, "server_ms") }
    /^figures same / { same[field($0, "table")] = field($0, "same") }
    END {
        print "summary (targets: first page <= 10 ms, traversal >= 2,000,000 rows/s,"
        print "         dictionary of 10,000 tables <= 1 s, peak memory independent of table size,"
        print "         table-dump --save at least as fast as the server\x27s SELECT ... INTO OUTFILE,"
        print "         scan of 10,000 tables to the tree <= 2 s)"
        split("myisam innodb redundant", engines, " ")
        for (e = 1; e <= 3; e++) {
            big = engines[e] "_1m"; small = engines[e] "_100k"
            if (!(big in seen)) { printf "  %-9s no figures (table not read)\n", engines[e]; continue }
            printf "  %-9s first page %8.3f ms  %-6s   traversal %9.0f rows/s %6.1f MB/s  %s\n",
                   engines[e], first[big], verdict(first[big] <= 10), rate[big], mb[big],
                   verdict(rate[big] >= 2000000)
            if (small in seen)
                printf "            peak rss %.1f MB at 1,000,000 rows, %.1f MB at 100,000 rows  %s\n",
                       rss[big], rss[small], verdict(rss[big] - rss[small] <= 1.0)
        }
        for (t in dumpms)
            if (t in serverms)
                printf "  %-10s table-dump --save %8.1f ms, server export %8.1f ms: %.2fx  %s%s\n",
                       t, dumpms[t], serverms[t], serverms[t] / dumpms[t], verdict(dumpms[t] <= serverms[t]),
                       same[t] == "yes" ? ", same bytes" : (same[t] == "no" ? ", OUTPUT DIFFERS" : "")
        if (dict != "")
            printf "  dictionary %s tables loaded in %.1f ms  %s\n", dtables, dict, verdict(dict <= 1000)
        if (scan != "")
            printf "  scan of %s tables to the tree in %.1f ms  %s\n", stables, scan, verdict(scan <= 2000)
    }' "$log"
