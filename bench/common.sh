# Shared by the benchmarks' scripts: a throwaway PostgreSQL server, and the two anchors an import
# is measured against (the same final rows loaded by the database's own fastest way).
# shellcheck shell=bash

# When ZB32_BENCH_PG names no server, starts one (PostgreSQL 15's binaries, fsync on, loopback)
# in a folder of its own and sets ZB32_BENCH_PG; bench_pg_stop stops and removes it.
bench_pg_start() {
    [ -z "${ZB32_BENCH_PG:-}" ] || return 0
    local pgbin
    pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
    [ -n "$pgbin" ] || { echo "no PostgreSQL server binaries: PostgreSQL part skipped" >&2; return 0; }
    BENCH_PG_DIR=$(mktemp -d /tmp/zb32-bench-pg.XXXXXX)
    BENCH_PG_BIN=$pgbin
    local port=$((56000 + $$ % 1000)) as=()
    if [ "$(id -u)" = 0 ]; then
        chown postgres "$BENCH_PG_DIR"
        as=(runuser -u postgres --)
    fi
    "${as[@]}" "$pgbin/initdb" -D "$BENCH_PG_DIR/data" -U postgres --auth=trust -E UTF8 >/dev/null
    "${as[@]}" "$pgbin/pg_ctl" -D "$BENCH_PG_DIR/data" -l "$BENCH_PG_DIR/log" -w \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$BENCH_PG_DIR" start >/dev/null
    BENCH_PG_AS=("${as[@]}")
    export ZB32_BENCH_PG="Provider=PostgreSQL;Host=127.0.0.1;Port=$port;Database=postgres;User ID=postgres"
    echo "throwaway PostgreSQL server on port $port (fsync on)"
}

bench_pg_stop() {
    [ -n "${BENCH_PG_DIR:-}" ] || return 0
    "${BENCH_PG_AS[@]}" "$BENCH_PG_BIN/pg_ctl" -D "$BENCH_PG_DIR/data" -m fast -w stop >/dev/null || true
    rm -rf "$BENCH_PG_DIR"
}

# psql on a database of the server ZB32_BENCH_PG names.
bench_psql() {
    local db="$1"
    shift
    local host port user
    host=$(sed -n 's/.*Host=\([^;]*\).*/\1/ip' <<<"$ZB32_BENCH_PG")
    port=$(sed -n 's/.*Port=\([^;]*\).*/\1/ip' <<<"$ZB32_BENCH_PG")
    user=$(sed -n 's/.*User ID=\([^;]*\).*/\1/ip' <<<"$ZB32_BENCH_PG")
    PGOPTIONS="-c client_min_messages=warning" psql -q -X -h "${host:-127.0.0.1}" -p "${port:-5432}" -U "${user:-postgres}" -v ON_ERROR_STOP=1 -d "$db" "$@"
}

# The connection string of database $1 on the server.
bench_pg_conn() {
    echo "$(sed 's/;*Database=[^;]*//I' <<<"$ZB32_BENCH_PG");Database=$1"
}

# A fresh database $1 on the server, with the desk's tables.
bench_pg_fresh() {
    bench_psql postgres -c "DROP DATABASE IF EXISTS $1" -c "CREATE DATABASE $1"
    "$ZB32" initdb --connstring "$(bench_pg_conn "$1")" >/dev/null
}

# The tables whose rows an import leaves: the register's run and record rows, cases, invoices.
BENCH_TABLES=("tabella importazioni" "tabella importazioni record" "tabella pratiche" "tabella fatture")

# PostgreSQL anchor: the rows the import left in database $1 (BENCH_TABLES) copied out, then timed
# as COPY into a fresh database of the same schema, in one transaction. Prints the seconds.
bench_pg_copy_anchor() {
    local from="$1" work="$2" out=() in=() i=0 t
    for t in "${BENCH_TABLES[@]}"; do
        out+=(-c "\\copy \"$t\" to '$work/t$i.copy'")
        in+=(-c "\\copy \"$t\" from '$work/t$i.copy'")
        i=$((i + 1))
    done
    bench_psql "$from" "${out[@]}"
    bench_pg_fresh zb32_bench_copy
    local start end
    sync # as bench_measure
    start=$(date +%s.%N)
    bench_psql zb32_bench_copy -1 "${in[@]}"
    end=$(date +%s.%N)
    bench_psql postgres -c "DROP DATABASE zb32_bench_copy"
    rm -f "$work"/t*.copy
    echo "$end - $start" | bc -l
}

# SQLite anchor: the rows the import left in file $1 (the same tables) loaded into a fresh file of the same schema
# by bench_bulkload (one prepared INSERT per table, one transaction). Prints the seconds.
bench_sqlite_anchor() {
    local from="$1" work="$2" bulk="${BENCH_BULKLOAD:-$ROOT/build/release/bench/bulkload/bench_bulkload}"
    [ -x "$bulk" ] || { echo "no bench_bulkload at $bulk (cmake --build build/release --target bench_bulkload)" >&2; exit 2; }
    rm -f "$work/anchor.db"*
    "$ZB32" initdb --connstring "Provider=SQLite;Data Source=$work/anchor.db" >/dev/null
    sync
    "$bulk" "$from" "$work/anchor.db" | cut -d' ' -f1
    rm -f "$work/anchor.db"*
}

# A workspace of its own in WORK for benchmark $1: drives Z and C, the import folder, and the
# batch boxes every benchmark imports with in BATCH. The caller removes WORK on exit.
bench_workspace() {
    WORK=$(mktemp -d "/tmp/zb32-bench-$1.XXXXXX")
    export ZB32_DRIVE_Z="$WORK/Z" ZB32_DRIVE_C="$WORK/C"
    mkdir -p "$WORK/Z/work/kx32/dati" "$WORK/Z/work/kx32/import" "$WORK/C"
    BATCH=(--data-affido 05/03/2010 --scadenza 05/04/2010 --intervento mo --lotto 1 --mandato 460 --sit-aff 1)
}

# The jobs print what the register cost them (see bench_register_cost).
export QT_LOGGING_RULES="zb32.run.timing.info=true"

# One measurement: "seconds peak-kB cpu-seconds" of a command, its output to $WORK/last.log.
# The system writes out what earlier steps left dirty first, so one measurement does not pay
# for another's writes.
bench_measure() {
    sync
    /usr/bin/time -f "%e %M %U %S" -o "$WORK/time" "$@" >"$WORK/last.log" 2>&1 || {
        echo "failed: $*" >&2
        cat "$WORK/last.log" >&2
        exit 1
    }
    awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$WORK/time"
}

# What the register cost the last measured job, as the job's timing log says it.
bench_register_cost() {
    grep -o 'register [0-9.]* s (SHA-256 [0-9.]* s) of [0-9.]* s, [0-9.]* %' "$WORK/last.log" | tail -1
}

# A line of figures: what, lines, "seconds kB cpu" of the import, the anchor's seconds (or ""),
# and what the register cost the import (bench_register_cost right after it, or "").
bench_report() {
    local what="$1" lines="$2" import="$3" raw="$4" cost="${5:-}" it im ic
    read -r it im ic <<<"$import"
    awk -v w="$what" -v l="$lines" -v it="$it" -v im="$im" -v ic="$ic" -v rt="$raw" 'BEGIN {
        printf "%-10s import %6.2f s (cpu %6.2f s) %7.0f lines/s %5.1f MB", w, it, ic, l / (it > 0 ? it : 0.01), im / 1024
        if (rt != "")
            printf " | anchor %6.2f s | ratio %.2f", rt, it / (rt > 0 ? rt : 0.01)
        printf "\n"
    }'
    [ -z "$cost" ] || echo "           $cost"
}
