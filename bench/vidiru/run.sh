#!/usr/bin/env bash
# Times "zb32 run vidiru" against loading the same final rows the database's own fastest way:
# on SQLite a prepared bulk load in one transaction (bench/bulkload), on PostgreSQL COPY into a
# fresh database of the same schema. Prints lines per second, peak memory, the ratio of the two
# times and what the register cost the import; checks the rows the import left against the rows
# the generator says the file holds.
#
#   bench/vidiru/run.sh [CASES...]            (default: 10000 100000)
#
# ZB32=path of the zb32 binary (default build/release/src/app/zb32; build it with
#   cmake --preset release && cmake --build build/release --target zb32 bench_bulkload)
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" runs the
#   PostgreSQL part on that server (it creates and drops the databases zb32_bench_*); without it
#   the script starts a throwaway server of its own (fsync on). ZB32_BENCH_NO_PG=1 skips it.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
ZB32=${ZB32:-$ROOT/build/release/src/app/zb32}
[ -x "$ZB32" ] || { echo "no zb32 binary at $ZB32 (see the top of this script)" >&2; exit 2; }
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000)

# shellcheck source=../common.sh
. "$HERE/../common.sh"
bench_workspace vidiru
trap 'bench_pg_stop; rm -rf "$WORK"' EXIT
VIDIRU_BATCH=(--mandato 460 --lotto 0 --data-affido 07/12/2026 --scadenza 07/01/2027)

# The import into the database named by the connection string; prints "seconds kB cpu".
import_into() {
    printf '[datiserver]\r\nconnstring=%s\r\n' "$1" >"$WORK/Z/work/kx32/dati/kx32.ini"
    "$ZB32" initdb >/dev/null
    bench_measure "$ZB32" run vidiru --file bench.txt "${VIDIRU_BATCH[@]}"
}

# The cases and invoices the import left in SQLite file $1 differ in no row from those the
# generator's load gives (file $2).
same_rows() {
    local db="$1" expected="$2" cols icols diff
    cols='posizione,"Tipo Mandato","data Affido","scadenza mandato","Tipo Intervento","Situazione Affido",
          lottoimportazione,altroriferimento,memoec,"ragione sociale",P_iva,"data nascita","luogo nascita",memo,
          Indirizzo,Cap,Citta,Provincia,recapito,telefono1,telefono2,"RATE ARRETRATE","importo rata",
          "importo interessi","importo spese","importo totale"'
    icols='p.posizione,"numero fattura",periodo,"data FATTURA","data scadenza",saldo'
    cases() { echo "SELECT $cols FROM $1.\"tabella pratiche\""; }
    invoices() { echo "SELECT $icols FROM $1.\"tabella fatture\" f JOIN $1.\"tabella pratiche\" p ON p.contatore = f.conta"; }
    diff=$(sqlite3 "$db" "ATTACH '$expected' AS raw;
        SELECT (SELECT count(*) FROM ($(cases main) EXCEPT $(cases raw)))
             + (SELECT count(*) FROM ($(cases raw) EXCEPT $(cases main)))
             + (SELECT count(*) FROM ($(invoices main) EXCEPT $(invoices raw)))
             + (SELECT count(*) FROM ($(invoices raw) EXCEPT $(invoices main)))
             + abs((SELECT count(*) FROM main.\"tabella fatture\") - (SELECT count(*) FROM raw.\"tabella fatture\"))
             + abs((SELECT count(*) FROM main.\"tabella pratiche\") - (SELECT count(*) FROM raw.\"tabella pratiche\"));")
    [ "$diff" = 0 ] || { echo "the import's rows differ from the generator's ($diff rows)" >&2; exit 1; }
}

[ -z "${ZB32_BENCH_NO_PG:-}" ] && bench_pg_start
for n in "${sizes[@]}"; do
    /usr/bin/python3 "$HERE/generate.py" "$n" "$WORK/Z/work/kx32/import/bench.txt" "$WORK/load.sql"
    lines=$((n * 10))
    echo "$n cases, $lines lines, $(du -m "$WORK/Z/work/kx32/import/bench.txt" | cut -f1) MB; zb32 = $ZB32"

    db="$WORK/Z/work/kx32/dati/import.db"
    rm -f "$db"*
    import=$(import_into "Provider=SQLite;Data Source=$db")
    cost=$(bench_register_cost)
    grep -q "clienti: $n" "$WORK/last.log" || { cat "$WORK/last.log" >&2; exit 1; }
    raw=$(bench_sqlite_anchor "$db" "$WORK")
    bench_report "SQLite" "$lines" "$import" "$raw" "$cost"
    expected="$WORK/expected.db"
    rm -f "$expected"*
    "$ZB32" initdb --connstring "Provider=SQLite;Data Source=$expected" >/dev/null
    sqlite3 "$expected" ".read $WORK/load.sql"
    same_rows "$db" "$expected"
    rm -f "$db"* "$expected"*

    if [ -n "${ZB32_BENCH_PG:-}" ] && [ -z "${ZB32_BENCH_NO_PG:-}" ]; then
        bench_pg_fresh zb32_bench_import
        import=$(import_into "$(bench_pg_conn zb32_bench_import)")
        cost=$(bench_register_cost)
        grep -q "clienti: $n" "$WORK/last.log" || { cat "$WORK/last.log" >&2; exit 1; }
        raw=$(bench_pg_copy_anchor zb32_bench_import "$WORK")
        bench_report "PostgreSQL" "$lines" "$import" "$raw" "$cost"
        bench_psql postgres -c "DROP DATABASE IF EXISTS zb32_bench_import"
    fi
done
