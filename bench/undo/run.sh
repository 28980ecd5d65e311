#!/usr/bin/env bash
# Times "zb32 annulla" of an Orb run of 100,000 cases (100,000 cases and 300,000 invoices to
# delete, 400,000 register rows to read) on SQLite and on PostgreSQL.
# The import itself is timed too, for scale; after the undo the case tables must be empty.
#
#   bench/undo/run.sh [CASES]
#
# ZB32=path of the zb32 binary (default build/release/src/app/zb32; build it with
#   cmake --preset release && cmake --build build/release --target zb32)
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" runs the
#   PostgreSQL part on that server (it creates and drops the database zb32_bench_undo); without
#   it the script starts a throwaway server of its own (fsync on). ZB32_BENCH_NO_PG=1 skips it.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
CASES=${1:-100000}
ZB32=${ZB32:-$ROOT/build/release/src/app/zb32}
[ -x "$ZB32" ] || { echo "no zb32 binary at $ZB32 (see the top of this script)" >&2; exit 2; }

# shellcheck source=../common.sh
. "$HERE/../common.sh"
bench_workspace undo
trap 'bench_pg_stop; rm -rf "$WORK"' EXIT

# "seconds peak-MB" of a command, its output to $WORK/last.log.
measure() {
    /usr/bin/time -f "%e %M" -o "$WORK/time" "$@" >"$WORK/last.log" 2>&1 || {
        echo "failed: $*" >&2
        cat "$WORK/last.log" >&2
        exit 1
    }
    awk '{ printf "%.2f s, %.1f MB", $1, $2 / 1024 }' "$WORK/time"
}

# Imports the file into the database named by the connection string, then takes the run back;
# prints both times and what the undo said.
import_and_undo() {
    local what="$1" connstring="$2" count="$3"
    printf '[datiserver]\r\nconnstring=%s\r\n' "$connstring" >"$WORK/Z/work/kx32/dati/kx32.ini"
    "$ZB32" initdb >/dev/null
    local import undo
    import=$(measure "$ZB32" run orb --file bench.txt "${BATCH[@]}")
    local run
    run=$("$ZB32" registro --csv --job orb | awk -F';' 'NR == 2 { print $1 }')
    undo=$(measure "$ZB32" annulla "$run")
    grep -q "annullata" "$WORK/last.log" || { cat "$WORK/last.log"; exit 1; }
    echo "$what: import $import | undo $undo"
    sed 's/^/    /' "$WORK/last.log"
    echo "    records left in the case tables: $($count)"
}

echo "generating $CASES cases ..."
/usr/bin/python3 "$ROOT/bench/orb/make_bench.py" "$WORK/big" "$CASES"
cp "$WORK/big/orb.txt" "$WORK/Z/work/kx32/import/bench.txt"

sqlite_db="$WORK/Z/work/kx32/dati/undo.db"
sqlite_count() {
    sqlite3 "$sqlite_db" 'select (select count(*) from "tabella pratiche") + (select count(*) from "tabella fatture")'
}
import_and_undo "SQLite" "Provider=SQLite;Data Source=$sqlite_db" sqlite_count

[ -z "${ZB32_BENCH_NO_PG:-}" ] && bench_pg_start
if [ -n "${ZB32_BENCH_PG:-}" ] && [ -z "${ZB32_BENCH_NO_PG:-}" ]; then
    bench_psql postgres -c "DROP DATABASE IF EXISTS zb32_bench_undo" -c "CREATE DATABASE zb32_bench_undo" >/dev/null
    pg_count() {
        bench_psql zb32_bench_undo -At \
            -c 'select (select count(*) from "tabella pratiche") + (select count(*) from "tabella fatture")'
    }
    import_and_undo "PostgreSQL" "$(bench_pg_conn zb32_bench_undo)" pg_count
    bench_psql postgres -c "DROP DATABASE IF EXISTS zb32_bench_undo" >/dev/null
fi
