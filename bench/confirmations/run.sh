#!/usr/bin/env bash
# Times the confirmation import (collections file and expense workbook) on SQLite and on
# PostgreSQL with bench_confirmations, which generates the cases and both files and prints each
# run's records per second beside its references (see RESULTS.md for what they are).
#
#   bench/confirmations/run.sh [bench_confirmations options: --cases N --records N --rows N --seed N]
#
# BENCH=path of bench_confirmations (default build/release/bench/confirmations/bench_confirmations;
#   build it with cmake --preset release && cmake --build build/release --target bench_confirmations)
# ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=5432;User ID=postgres" runs the
#   PostgreSQL part on that server (it creates and drops the database zb32_bench); without it the
#   script starts a throwaway server of its own (fsync on). ZB32_BENCH_NO_PG=1 skips it.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
BENCH=${BENCH:-$ROOT/build/release/bench/confirmations/bench_confirmations}
[ -x "$BENCH" ] || { echo "no bench_confirmations at $BENCH (see the top of this script)" >&2; exit 2; }

# shellcheck source=../common.sh
. "$HERE/../common.sh"
trap 'bench_pg_stop' EXIT

echo "SQLite:"
"$BENCH" "$@"

[ -z "${ZB32_BENCH_NO_PG:-}" ] && bench_pg_start
if [ -n "${ZB32_BENCH_PG:-}" ] && [ -z "${ZB32_BENCH_NO_PG:-}" ]; then
    echo "PostgreSQL:"
    "$BENCH" --backend postgresql --pg "$ZB32_BENCH_PG" "$@"
fi
