#!/usr/bin/env bash
# The Vi Diru import against the raw load of the same rows by sqlite3, by hand:
#
#   bench/vidiru/run.sh [CASES...]            (default: 10000 50000 100000)
#
# ZB32=path/to/zb32 (default build/release/src/app/zb32). With ZB32_BENCH_PG set to a
# PostgreSQL connection string (Provider=PostgreSQL;Host=...;Database=...) the import is also
# run there; ZB32_BENCH_PSQL, a psql command for the same database, empties its tables first.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
ZB32=${ZB32:-$root/build/release/src/app/zb32}
[ -x "$ZB32" ] || { echo "no zb32 at $ZB32 (cmake --preset release && cmake --build build/release)" >&2; exit 2; }
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 50000 100000)

work=$(mktemp -d /tmp/zb32-bench-vidiru.XXXXXX)
trap 'rm -rf "$work"' EXIT
export ZB32_DRIVE_Z="$work/Z" ZB32_DRIVE_C="$work/C"
mkdir -p "$work/Z/work/kx32/dati" "$work/Z/work/kx32/import" "$work/C"
ini="$work/Z/work/kx32/dati/kx32.ini"

# seconds and peak resident memory (MB) of a command, on stderr's last line
timed() { /usr/bin/time -f "%e %M" "$@" 2> "$work/time" >"$work/out" || { cat "$work/out" "$work/time" >&2; exit 1; }; \
          tail -n 1 "$work/time"; }

printf "%-9s %-10s %9s %11s %12s %9s\n" cases backend lines seconds lines/s "peak MB"
for n in "${sizes[@]}"; do
    /usr/bin/python3 "$here/generate.py" "$n" "$work/Z/work/kx32/import/bench.txt" "$work/load.sql"
    lines=$((n * 10))

    # the import into SQLite
    db="$work/Z/work/kx32/dati/import-$n.db"
    printf '[datiserver]\r\nconnstring=Provider=SQLite;Data Source=%s\r\n' "$db" > "$ini"
    "$ZB32" initdb > /dev/null
    read -r secs kb < <(timed "$ZB32" run vidiru --file bench.txt --mandato 460 --lotto 0 --data-affido 07/12/2026 --scadenza 07/01/2027)
    grep -q "clienti: $n" "$work/out" || { echo "import of $n cases did not finish:" >&2; cat "$work/out" >&2; exit 1; }
    printf "%-9s %-10s %9d %11.2f %12.0f %9.1f\n" "$n" sqlite "$lines" "$secs" "$(echo "$lines / $secs" | bc -l)" \
        "$(echo "$kb / 1024" | bc -l)"

    # the same rows loaded raw by sqlite3, in one transaction
    raw="$work/raw-$n.db"
    "$ZB32" initdb --connstring "Provider=SQLite;Data Source=$raw" > /dev/null
    read -r rsecs rkb < <(timed sqlite3 "$raw" ".read $work/load.sql")
    printf "%-9s %-10s %9d %11.2f %12.0f %9.1f   (%d rows)\n" "$n" sqlite3-raw "$lines" "$rsecs" \
        "$(echo "$lines / $rsecs" | bc -l)" "$(echo "$rkb / 1024" | bc -l)" $((n * 4))
    echo "          import / raw load: $(echo "scale=2; $secs / $rsecs" | bc -l)x"

    # the import left exactly the rows of the raw load
    cols='posizione,"Tipo Mandato","data Affido","scadenza mandato","Tipo Intervento","Situazione Affido",
          lottoimportazione,altroriferimento,memoec,"ragione sociale",P_iva,"data nascita","luogo nascita",memo,
          Indirizzo,Cap,Citta,Provincia,recapito,telefono1,telefono2,"RATE ARRETRATE","importo rata",
          "importo interessi","importo spese","importo totale"'
    icols='p.posizione,"numero fattura",periodo,"data FATTURA","data scadenza",saldo'
    cases() { echo "SELECT $cols FROM $1.\"tabella pratiche\""; }
    invoices() { echo "SELECT $icols FROM $1.\"tabella fatture\" f JOIN $1.\"tabella pratiche\" p ON p.contatore = f.conta"; }
    diff=$(sqlite3 "$db" "ATTACH '$raw' AS raw;
        SELECT (SELECT count(*) FROM ($(cases main) EXCEPT $(cases raw)))
             + (SELECT count(*) FROM ($(cases raw) EXCEPT $(cases main)))
             + (SELECT count(*) FROM ($(invoices main) EXCEPT $(invoices raw)))
             + (SELECT count(*) FROM ($(invoices raw) EXCEPT $(invoices main)))
             + abs((SELECT count(*) FROM main.\"tabella fatture\") - (SELECT count(*) FROM raw.\"tabella fatture\"))
             + abs((SELECT count(*) FROM main.\"tabella pratiche\") - (SELECT count(*) FROM raw.\"tabella pratiche\"));")
    [ "$diff" = 0 ] || { echo "the import's rows differ from the raw load ($diff rows)" >&2; exit 1; }
    rm -f "$db"* "$raw"*

    # the import into PostgreSQL
    if [ -n "${ZB32_BENCH_PG:-}" ]; then
        printf '[datiserver]\r\nconnstring=%s\r\n' "$ZB32_BENCH_PG" > "$ini"
        if [ -n "${ZB32_BENCH_PSQL:-}" ]; then
            $ZB32_BENCH_PSQL -q -c 'SET client_min_messages = warning; DROP TABLE IF EXISTS "tabella pratiche", "tabella fatture", "tabella pagamenti", aliquote'
        fi
        "$ZB32" initdb > /dev/null
        read -r psecs pkb < <(timed "$ZB32" run vidiru --file bench.txt --mandato 460 --lotto 0 --data-affido 07/12/2026 --scadenza 07/01/2027)
        grep -q "clienti: $n" "$work/out" || { echo "import of $n cases into PostgreSQL did not finish" >&2; exit 1; }
        printf "%-9s %-10s %9d %11.2f %12.0f %9.1f\n" "$n" postgresql "$lines" "$psecs" \
            "$(echo "$lines / $psecs" | bc -l)" "$(echo "$pkb / 1024" | bc -l)"
    fi
done
