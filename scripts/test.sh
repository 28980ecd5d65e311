#!/usr/bin/env bash
# Installs what is missing, builds with the sanitizers, starts a throwaway PostgreSQL server on
# loopback and runs the whole test suite with ctest, then a short run of every fuzz target; the
# server is stopped and removed afterwards.
set -euo pipefail
source "$(dirname "$0")/common.sh"
zb32_install "${ZB32_PACKAGES[@]}" "${ZB32_TEST_PACKAGES[@]}"
zb32_build ci

PGBIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
PGPORT=${ZB32_PG_PORT:-55432}
PGDIR=$(mktemp -d /tmp/zb32-pg.XXXXXX)
chmod 755 "$PGDIR"
as_postgres() {
    if [ "$(id -u)" -eq 0 ]; then
        chown -R postgres:postgres "$PGDIR"
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}
stop_pg() {
    as_postgres "$PGBIN/pg_ctl" -D "$PGDIR/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$PGDIR"
}
trap stop_pg EXIT
as_postgres "$PGBIN/initdb" -D "$PGDIR/data" -U postgres --auth=trust -E UTF8 >/dev/null
as_postgres "$PGBIN/pg_ctl" -D "$PGDIR/data" -l "$PGDIR/log" -w \
    -o "-c listen_addresses=127.0.0.1 -c port=$PGPORT -c unix_socket_directories=$PGDIR -c fsync=off" start >/dev/null
export ZB32_TEST_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=$PGPORT;Database=postgres;User ID=postgres"
export ZB32_PG_BIN="$PGBIN" ZB32_PG_DATA="$PGDIR/data" ZB32_TEST_PG_REQUIRED=1

# Every test, built with AddressSanitizer and UndefinedBehaviorSanitizer; then a short run of
# every fuzz target from the same build.
ctest --preset ci "$@"
ZB32_FUZZ_BUILD="$ZB32_ROOT/build/ci" "$ZB32_ROOT/scripts/fuzz.sh" "${ZB32_FUZZ_SECONDS:-30}"
