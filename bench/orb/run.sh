#!/usr/bin/env bash
# Times "zb32 run orb" on a file of 100,000 cases (600,000 lines) against loading the same rows
# with the database's own client in one transaction, on SQLite and, when a server is given, on
# PostgreSQL. Prints lines per second, peak memory and the ratio of the two times.
#
#   bench/orb/run.sh [CASES]
#
# ZB32=path of the zb32 binary (default build/release/src/app/zb32; build it with
#   cmake --preset release && cmake --build build/release --target zb32)
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" runs the
#   PostgreSQL part on that server (it creates and drops the databases zb32_bench_*).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
CASES=${1:-100000}
ZB32=${ZB32:-$ROOT/build/release/src/app/zb32}
[ -x "$ZB32" ] || { echo "no zb32 binary at $ZB32 (see the top of this script)" >&2; exit 2; }

WORK=$(mktemp -d /tmp/zb32-bench-orb.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export ZB32_DRIVE_Z="$WORK/Z" ZB32_DRIVE_C="$WORK/C"
mkdir -p "$WORK/Z/work/kx32/dati" "$WORK/Z/work/kx32/import" "$WORK/C"

BATCH=(--data-affido 05/03/2010 --scadenza 05/04/2010 --intervento mo --lotto 1 --mandato 460 --sit-aff 1)

# One measurement: "seconds peak-kB cpu-seconds" of a command, its output to $WORK/last.log.
measure() {
    /usr/bin/time -f "%e %M %U %S" -o "$WORK/time" "$@" >"$WORK/last.log" 2>&1 || {
        echo "failed: $*" >&2
        cat "$WORK/last.log" >&2
        exit 1
    }
    awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$WORK/time"
}

# The import into a fresh database named by the connection string; prints "seconds kB".
import_into() {
    local connstring="$1" file="$2"
    printf '[datiserver]\r\nconnstring=%s\r\n' "$connstring" >"$WORK/Z/work/kx32/dati/kx32.ini"
    "$ZB32" initdb >/dev/null
    measure "$ZB32" run orb --file "$file" "${BATCH[@]}"
}

report() {
    local what="$1" lines="$2" import="$3" raw="$4"
    read -r it im ic <<<"$import"
    read -r rt rm rc <<<"$raw"
    awk -v w="$what" -v l="$lines" -v it="$it" -v im="$im" -v ic="$ic" -v rt="$rt" -v rm="$rm" -v rc="$rc" 'BEGIN {
        printf "%-10s import %6.2f s (cpu %6.2f s) %7.0f lines/s %5.1f MB", w, it, ic, l / (it > 0 ? it : 0.01), im / 1024
        if (rt != "")
            printf " | raw load %6.2f s (cpu %6.2f s) %5.1f MB | ratio %.2f (cpu %.2f)", rt, rc, rm / 1024,
                it / (rt > 0 ? rt : 0.01), ic / (rc > 0 ? rc : 0.01)
        printf "\n"
    }'
}

echo "generating $CASES cases and a smaller file of $((CASES / 10)) ..."
/usr/bin/python3 "$HERE/make_bench.py" "$WORK/big" "$CASES"
/usr/bin/python3 "$HERE/make_bench.py" "$WORK/small" "$((CASES / 10))"
cp "$WORK/big/orb.txt" "$WORK/Z/work/kx32/import/bench.txt"
cp "$WORK/small/orb.txt" "$WORK/Z/work/kx32/import/small.txt"
LINES=$(tr -cd '\r' <"$WORK/big/orb.txt" | wc -c)
SMALL_LINES=$(tr -cd '\r' <"$WORK/small/orb.txt" | wc -c)
echo "$LINES lines, $(du -m "$WORK/big/orb.txt" | cut -f1) MB; zb32 = $ZB32"

# SQLite: the import against sqlite3 running the script on a fresh database of the same schema,
# with the pragmas the desk's connection sets.
sqlite_db="$WORK/Z/work/kx32/dati/import.db"
small_import=$(import_into "Provider=SQLite;Data Source=$WORK/Z/work/kx32/dati/small.db" small.txt)
import=$(import_into "Provider=SQLite;Data Source=$sqlite_db" bench.txt)
grep -q "importazione conclusa" "$WORK/last.log" || { cat "$WORK/last.log"; exit 1; }
"$ZB32" initdb --connstring "Provider=SQLite;Data Source=$WORK/raw.db" >/dev/null
raw=$(measure sqlite3 -cmd "PRAGMA journal_mode=WAL" -cmd "PRAGMA synchronous=NORMAL" "$WORK/raw.db" \
    ".read $WORK/big/load.sql")
cases=$(sqlite3 "$sqlite_db" 'select count(*) from "tabella pratiche"')
invoices=$(sqlite3 "$sqlite_db" 'select count(*) from "tabella fatture"')
raw_cases=$(sqlite3 "$WORK/raw.db" 'select count(*) from "tabella pratiche"')
echo "SQLite: import stored $cases cases and $invoices invoices, the raw load $raw_cases cases"
report "SQLite" "$LINES" "$import" "$raw"
report "SQLite/10" "$SMALL_LINES" "$small_import" ""

if [ -n "${ZB32_BENCH_PG:-}" ]; then
    server_conn="$ZB32_BENCH_PG"
    host=$(sed -n 's/.*Host=\([^;]*\).*/\1/ip' <<<"$server_conn")
    port=$(sed -n 's/.*Port=\([^;]*\).*/\1/ip' <<<"$server_conn")
    user=$(sed -n 's/.*User ID=\([^;]*\).*/\1/ip' <<<"$server_conn")
    psql_admin=(psql -q -h "${host:-127.0.0.1}" -p "${port:-5432}" -U "${user:-postgres}" -v ON_ERROR_STOP=1)
    for db in zb32_bench_import zb32_bench_raw; do
        "${psql_admin[@]}" -d postgres -c "DROP DATABASE IF EXISTS $db" -c "CREATE DATABASE $db" >/dev/null
    done
    base=$(sed 's/;*Database=[^;]*//I' <<<"$server_conn")
    import=$(import_into "$base;Database=zb32_bench_import" bench.txt)
    "$ZB32" initdb --connstring "$base;Database=zb32_bench_raw" >/dev/null
    raw=$(measure "${psql_admin[@]}" -d zb32_bench_raw -f "$WORK/big/load.pg.sql")
    cases=$("${psql_admin[@]}" -At -d zb32_bench_import -c 'select count(*) from "tabella pratiche"')
    echo "PostgreSQL: import stored $cases cases"
    report "PostgreSQL" "$LINES" "$import" "$raw"
    for db in zb32_bench_import zb32_bench_raw; do
        "${psql_admin[@]}" -d postgres -c "DROP DATABASE IF EXISTS $db" >/dev/null
    done
fi
