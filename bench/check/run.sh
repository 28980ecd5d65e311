#!/usr/bin/env bash
# Times "zb32 check" against "zb32 run" of the same file, each on a fresh database: an Orb file of
# CASES cases (bench/orb's generator) and a Vi Diru file of CASES cases (bench/vidiru's), on
# SQLite and, when a server is given, on PostgreSQL. Prints both times and their ratio; the check
# must stay within 1.5 × the run.
#
#   bench/check/run.sh [CASES]
#
# ZB32=path of the zb32 binary (default build/release/src/app/zb32).
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" adds PostgreSQL
#   (it creates and drops the databases zb32_bench_check_*).
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
CASES=${1:-100000}
ZB32=${ZB32:-$ROOT/build/release/src/app/zb32}
[ -x "$ZB32" ] || { echo "no zb32 binary at $ZB32" >&2; exit 2; }

# shellcheck source=../common.sh
. "$HERE/../common.sh"
bench_workspace check
trap 'rm -rf "$WORK"' EXIT

/usr/bin/python3 "$ROOT/bench/orb/make_bench.py" "$WORK/orb" "$CASES" >/dev/null
cp "$WORK/orb/orb.txt" "$WORK/Z/work/kx32/import/orb.txt"
/usr/bin/python3 "$ROOT/bench/vidiru/generate.py" "$CASES" "$WORK/Z/work/kx32/import/vidiru.txt" "$WORK/vidiru.sql" >/dev/null

# Seconds of one command on a fresh database named by the connection string.
timed() {
    local connstring="$1"
    shift
    printf '[datiserver]\r\nconnstring=%s\r\n' "$connstring" >"$WORK/Z/work/kx32/dati/kx32.ini"
    "$ZB32" initdb >/dev/null
    /usr/bin/time -f "%e" -o "$WORK/time" "$ZB32" "$@" >"$WORK/last.log" 2>&1 || { cat "$WORK/last.log" >&2; exit 1; }
    cat "$WORK/time"
}

compare() {
    local what="$1" conn="$2" job="$3" file="$4"
    local run check
    run=$(timed "$conn" run "$job" --file "$file" "${BATCH[@]}")
    check=$(timed "$conn" check "$job" --file "$file" "${BATCH[@]}")
    grep -q "Righe errate: nessuna" "$WORK/last.log" || { cat "$WORK/last.log" >&2; exit 1; }
    awk -v w="$what" -v r="$run" -v c="$check" 'BEGIN { printf "%-20s run %6.2f s  check %6.2f s  ratio %.2f\n", w, r, c, c / r }'
}

n=0
for job in orb vidiru; do
    n=$((n + 1))
    compare "$job SQLite" "Provider=SQLite;Data Source=$WORK/Z/work/kx32/dati/bench$n.db" "$job" "$job.txt"
    rm -f "$WORK"/Z/work/kx32/dati/bench$n.db*
done
if [ -n "${ZB32_BENCH_PG:-}" ]; then
    host=$(sed -n 's/.*Host=\([^;]*\).*/\1/ip' <<<"$ZB32_BENCH_PG")
    port=$(sed -n 's/.*Port=\([^;]*\).*/\1/ip' <<<"$ZB32_BENCH_PG")
    user=$(sed -n 's/.*User ID=\([^;]*\).*/\1/ip' <<<"$ZB32_BENCH_PG")
    psql_admin=(psql -q -h "${host:-127.0.0.1}" -p "${port:-5432}" -U "${user:-postgres}" -v ON_ERROR_STOP=1 -d postgres)
    base=$(sed 's/;*Database=[^;]*//I' <<<"$ZB32_BENCH_PG")
    for job in orb vidiru; do
        "${psql_admin[@]}" -c "DROP DATABASE IF EXISTS zb32_bench_check_$job" -c "CREATE DATABASE zb32_bench_check_$job" >/dev/null
        compare "$job PostgreSQL" "$base;Database=zb32_bench_check_$job" "$job" "$job.txt"
        "${psql_admin[@]}" -c "DROP DATABASE IF EXISTS zb32_bench_check_$job" >/dev/null
    done
fi
