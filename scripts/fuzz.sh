#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer (clang) and
# runs each for SECONDS (default 30) on a copy of its committed seed corpus, ZB32_FUZZ_JOBS
# targets at a time (default: the number of cores, at most 2). A crash, hang, leak or sanitizer
# report fails the run; its input is kept in build/fuzz/artifacts/ and belongs, once fixed, in
# fuzz/corpus/<target>/ as a regression input. Figures of each run go to build/fuzz/artifacts/.
# With ZB32_FUZZ_KEEP=1 the grown corpus of each target is kept in build/fuzz/work/<target>/ and
# the next run goes on from it, so long runs can be done in several parts.
#   ./scripts/fuzz.sh                          short run of every target
#   ./scripts/fuzz.sh 1800 orb                 a long run of one target
#   ZB32_FUZZ_KEEP=1 ./scripts/fuzz.sh 600     ten minutes each, going on from the last run
set -euo pipefail
source "$(dirname "$0")/common.sh"
SECONDS_EACH=${1:-30}
ONLY=${2:-}
JOBS=${ZB32_FUZZ_JOBS:-$(($(nproc) < 2 ? 1 : 2))}
# ZB32_FUZZ_BUILD names a build folder already configured with the fuzz targets (the test
# command passes its sanitized ci build); otherwise the core alone is built in build/fuzz.
BUILD=${ZB32_FUZZ_BUILD:-}
if [ -z "$BUILD" ]; then
    BUILD="$ZB32_ROOT/build/fuzz"
    zb32_install "${ZB32_PACKAGES[@]}" clang libclang-rt-14-dev
    CC=clang CXX=clang++ cmake -S "$ZB32_ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZB32_CORE_ONLY=ON -DZB32_BUILD_BENCH=OFF -DZB32_BUILD_FUZZERS=ON -DZB32_SANITIZE=ON >/dev/null
fi
cmake --build "$BUILD" -j "$(nproc)"

ART="$ZB32_ROOT/build/fuzz/artifacts"
mkdir -p "$ART"

targets=()
for target in "$BUILD"/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target" | sed 's/^fuzz_//')
    [ -z "$ONLY" ] || [ "$ONLY" = "$name" ] || continue
    targets+=("$name")
done
if ((${#targets[@]} == 0)); then
    echo "fuzz: no target named '$ONLY'" >&2
    exit 2
fi

# One target: its exit status is the fuzzer's; its figures are in $ART/<name>.log.
fuzz_one() {
    local name=$1 work
    if [ "${ZB32_FUZZ_KEEP:-0}" = 1 ]; then
        work="$ZB32_ROOT/build/fuzz/work/$name"
        mkdir -p "$work"
    else
        work=$(mktemp -d)
    fi
    cp -r "$ZB32_ROOT/fuzz/corpus/$name/." "$work/" 2>/dev/null || true
    # Leaks are checked after every input. The reader process inherits these options: its
    # reports reach the workbook targets as the text of the error, where they are judged.
    local rc=0
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 LSAN_OPTIONS="suppressions=$ZB32_ROOT/fuzz/lsan.supp:print_suppressions=0" \
        "$BUILD/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -artifact_prefix="$ART/$name-" -print_final_stats=1 "$work" >"$ART/$name.log" 2>&1 || rc=$?
    [ "${ZB32_FUZZ_KEEP:-0}" = 1 ] || rm -rf "$work"
    return $rc
}

# "orb: 30 s, 12345 runs, cov 2101, ft 5230, corpus 210" from a finished log.
summary() {
    local name=$1 log="$ART/$1.log" runs line cov ft corp
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    line=$(grep -aE '^#[0-9]+' "$log" | grep -aE 'cov: ' | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$line")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$line")
    corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$line")
    echo "fuzz $name: ${SECONDS_EACH} s, ${runs:-?} runs, cov ${cov:-?}, ft ${ft:-?}, corpus ${corp:-?}"
}

echo "fuzz: ${#targets[@]} target(s), ${SECONDS_EACH} s each, $JOBS at a time"
declare -A pids=()
failed=()
finish() {
    local pid=$1 rc=$2 name=${pids[$1]}
    unset "pids[$pid]"
    if ((rc == 0)); then
        summary "$name"
    else
        echo "fuzz $name: FAILED (see $ART/$name.log)"
        tail -n 40 "$ART/$name.log"
        failed+=("$name")
    fi
}
for name in "${targets[@]}"; do
    while ((${#pids[@]} >= JOBS)); do
        # Waits for whichever running target ends first.
        rc=0
        wait -n -p done_pid "${!pids[@]}" || rc=$?
        finish "$done_pid" "$rc"
    done
    fuzz_one "$name" &
    pids[$!]=$name
done
for pid in "${!pids[@]}"; do
    rc=0
    wait "$pid" || rc=$?
    finish "$pid" "$rc"
done

if ((${#failed[@]})); then
    echo "fuzz: failed: ${failed[*]}"
    exit 1
fi
echo "fuzz: every target ran clean"
