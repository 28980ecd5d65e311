#!/usr/bin/env bash
# Times "zb32 check" against "zb32 run" of the same file, each on a fresh database: an Orb file of
# CASES cases (bench/orb's generator) and a Vi Diru file of CASES cases (bench/vidiru's), on
# SQLite and PostgreSQL. Prints both times and their ratio; the check must stay within 1.5 × the run.
#
#   bench/check/run.sh [CASES]
#
# ZB32=path of the zb32 binary (default build/release/src/app/zb32).
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" names the server
#   (the script creates and drops the database zb32_bench_check); without it the script starts
#   a throwaway server of its own (fsync on). ZB32_BENCH_NO_PG=1 skips PostgreSQL.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
CASES=${1:-100000}
ZB32=${ZB32:-$ROOT/build/release/src/app/zb32}
[ -x "$ZB32" ] || { echo "no zb32 binary at $ZB32" >&2; exit 2; }

# shellcheck source=../common.sh
. "$HERE/../common.sh"
bench_workspace check
trap 'bench_pg_stop; rm -rf "$WORK"' EXIT

/usr/bin/python3 "$ROOT/bench/orb/make_bench.py" "$WORK/orb" "$CASES" >/dev/null
cp "$WORK/orb/orb.txt" "$WORK/Z/work/kx32/import/orb.txt"
/usr/bin/python3 "$ROOT/bench/vidiru/generate.py" "$CASES" "$WORK/Z/work/kx32/import/vidiru.txt" "$WORK/vidiru.sql" >/dev/null

# Makes database $1 anew: an SQLite file path, or the name of a database on the server.
fresh() {
    case "$1" in
    /*) rm -f "$1" "$1"-* ;;
    *) bench_psql postgres -c "DROP DATABASE IF EXISTS $1" -c "CREATE DATABASE $1" ;;
    esac
}

# The connection string of database $1.
connstring() {
    case "$1" in
    /*) echo "Provider=SQLite;Data Source=$1" ;;
    *) bench_pg_conn "$1" ;;
    esac
}

# Seconds of one command on database $1, made anew with the desk's tables.
timed() {
    local db="$1"
    shift
    fresh "$db"
    printf '[datiserver]\r\nconnstring=%s\r\n' "$(connstring "$db")" >"$WORK/Z/work/kx32/dati/kx32.ini"
    "$ZB32" initdb >/dev/null
    /usr/bin/time -f "%e" -o "$WORK/time" "$ZB32" "$@" >"$WORK/last.log" 2>&1 || { cat "$WORK/last.log" >&2; exit 1; }
    cat "$WORK/time"
}

compare() {
    local what="$1" db="$2" job="$3" file="$4"
    local run check
    run=$(timed "$db" run "$job" --file "$file" "${BATCH[@]}")
    check=$(timed "$db" check "$job" --file "$file" "${BATCH[@]}")
    grep -q "Righe errate: nessuna" "$WORK/last.log" || { cat "$WORK/last.log" >&2; exit 1; }
    awk -v w="$what" -v r="$run" -v c="$check" 'BEGIN { printf "%-20s run %6.2f s  check %6.2f s  ratio %.2f\n", w, r, c, c / r }'
}

for job in orb vidiru; do
    compare "$job SQLite" "$WORK/Z/work/kx32/dati/bench.db" "$job" "$job.txt"
done
[ -z "${ZB32_BENCH_NO_PG:-}" ] && bench_pg_start
if [ -n "${ZB32_BENCH_PG:-}" ]; then
    for job in orb vidiru; do
        compare "$job PostgreSQL" zb32_bench_check "$job" "$job.txt"
    done
    bench_psql postgres -c "DROP DATABASE IF EXISTS zb32_bench_check"
fi
