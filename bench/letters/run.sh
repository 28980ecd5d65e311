#!/usr/bin/env bash
# Times the letter run on SQLite and on PostgreSQL with bench_letters (a batch of cases with two
# invoices each, the print file with payment slips; see RESULTS.md).
#
#   bench/letters/run.sh [LETTERS]
#
# BENCH=path of bench_letters (default build/release/bench/letters/bench_letters; build it with
#   cmake --preset release && cmake --build build/release --target bench_letters)
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" runs the
#   PostgreSQL part on that server (in a database zb32_bench_letters it creates and drops);
#   without it the script starts a throwaway server of its own (fsync on). ZB32_BENCH_NO_PG=1
#   skips it.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
LETTERS=${1:-100000}
BENCH=${BENCH:-$ROOT/build/release/bench/letters/bench_letters}
[ -x "$BENCH" ] || { echo "no bench_letters at $BENCH (see the top of this script)" >&2; exit 2; }

# shellcheck source=../common.sh
. "$HERE/../common.sh"
trap 'bench_pg_stop' EXIT

"$BENCH" --letters "$LETTERS"

[ -z "${ZB32_BENCH_NO_PG:-}" ] && bench_pg_start
if [ -n "${ZB32_BENCH_PG:-}" ] && [ -z "${ZB32_BENCH_NO_PG:-}" ]; then
    bench_psql postgres -c "DROP DATABASE IF EXISTS zb32_bench_letters" -c "CREATE DATABASE zb32_bench_letters" >/dev/null
    "$BENCH" --letters "$LETTERS" --postgresql "$(bench_pg_conn zb32_bench_letters)"
    bench_psql postgres -c "DROP DATABASE IF EXISTS zb32_bench_letters" >/dev/null
fi
