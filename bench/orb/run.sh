#!/usr/bin/env bash
# Times "zb32 run orb" on a file of 100,000 cases (600,000 lines) against loading the same final
# rows the database's own fastest way: on SQLite a prepared bulk load in one transaction
# (bench/bulkload), on PostgreSQL COPY into a fresh database of the same schema. Prints lines per
# second, peak memory and the ratio of the two times.
#
#   bench/orb/run.sh [CASES]
#
# ZB32=path of the zb32 binary (default build/release/src/app/zb32; build it with
#   cmake --preset release && cmake --build build/release --target zb32)
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" runs the
#   PostgreSQL part on that server (it creates and drops the databases zb32_bench_*); without it
#   the script starts a throwaway server of its own (fsync on). ZB32_BENCH_NO_PG=1 skips it.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
CASES=${1:-100000}
ZB32=${ZB32:-$ROOT/build/release/src/app/zb32}
[ -x "$ZB32" ] || { echo "no zb32 binary at $ZB32 (see the top of this script)" >&2; exit 2; }

# shellcheck source=../common.sh
. "$HERE/../common.sh"
bench_workspace orb
trap 'bench_pg_stop; rm -rf "$WORK"' EXIT

# The import into a fresh database named by the connection string; prints "seconds kB".
import_into() {
    local connstring="$1" file="$2"
    printf '[datiserver]\r\nconnstring=%s\r\n' "$connstring" >"$WORK/Z/work/kx32/dati/kx32.ini"
    "$ZB32" initdb >/dev/null
    bench_measure "$ZB32" run orb --file "$file" "${BATCH[@]}"
}

echo "generating $CASES cases and a smaller file of $((CASES / 10)) ..."
/usr/bin/python3 "$HERE/make_bench.py" "$WORK/big" "$CASES"
/usr/bin/python3 "$HERE/make_bench.py" "$WORK/small" "$((CASES / 10))"
cp "$WORK/big/orb.txt" "$WORK/Z/work/kx32/import/bench.txt"
cp "$WORK/small/orb.txt" "$WORK/Z/work/kx32/import/small.txt"
LINES=$(tr -cd '\r' <"$WORK/big/orb.txt" | wc -c)
SMALL_LINES=$(tr -cd '\r' <"$WORK/small/orb.txt" | wc -c)
echo "$LINES lines, $(du -m "$WORK/big/orb.txt" | cut -f1) MB; zb32 = $ZB32"

# SQLite: the import against the prepared bulk load of the rows it left.
sqlite_db="$WORK/Z/work/kx32/dati/import.db"
small_import=$(import_into "Provider=SQLite;Data Source=$WORK/Z/work/kx32/dati/small.db" small.txt)
small_cost=$(bench_register_cost)
import=$(import_into "Provider=SQLite;Data Source=$sqlite_db" bench.txt)
cost=$(bench_register_cost)
grep -q "importazione conclusa" "$WORK/last.log" || { cat "$WORK/last.log"; exit 1; }
raw=$(bench_sqlite_anchor "$sqlite_db" "$WORK")
cases=$(sqlite3 "$sqlite_db" 'select count(*) from "tabella pratiche"')
invoices=$(sqlite3 "$sqlite_db" 'select count(*) from "tabella fatture"')
echo "SQLite: import stored $cases cases and $invoices invoices"
bench_report "SQLite" "$LINES" "$import" "$raw" "$cost"
bench_report "SQLite/10" "$SMALL_LINES" "$small_import" "" "$small_cost"

[ -z "${ZB32_BENCH_NO_PG:-}" ] && bench_pg_start
if [ -n "${ZB32_BENCH_PG:-}" ] && [ -z "${ZB32_BENCH_NO_PG:-}" ]; then
    bench_pg_fresh zb32_bench_import
    import=$(import_into "$(bench_pg_conn zb32_bench_import)" bench.txt)
    cost=$(bench_register_cost)
    grep -q "importazione conclusa" "$WORK/last.log" || { cat "$WORK/last.log"; exit 1; }
    cases=$(bench_psql zb32_bench_import -At -c 'select count(*) from "tabella pratiche"')
    raw=$(bench_pg_copy_anchor zb32_bench_import "$WORK")
    echo "PostgreSQL: import stored $cases cases"
    bench_report "PostgreSQL" "$LINES" "$import" "$raw" "$cost"
    bench_psql postgres -c "DROP DATABASE IF EXISTS zb32_bench_import"
fi
