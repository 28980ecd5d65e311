#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer (clang) and
# runs each for SECONDS (default 30) on a copy of its committed seed corpus. A crash, hang or
# sanitizer report fails the run; its input is kept in build/fuzz/artifacts/ and belongs, once
# fixed, in fuzz/corpus/<target>/ as a regression input.
#   ./scripts/fuzz.sh            short run of every target
#   ./scripts/fuzz.sh 1800 orb   a long run of one target
set -euo pipefail
source "$(dirname "$0")/common.sh"
SECONDS_EACH=${1:-30}
ONLY=${2:-}
zb32_install "${ZB32_PACKAGES[@]}" clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S "$ZB32_ROOT" -B "$ZB32_ROOT/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZB32_CORE_ONLY=ON -DZB32_BUILD_FUZZERS=ON -DZB32_SANITIZE=ON >/dev/null
cmake --build "$ZB32_ROOT/build/fuzz" -j "$(nproc)"

ART="$ZB32_ROOT/build/fuzz/artifacts"
mkdir -p "$ART"
status=0
for target in "$ZB32_ROOT"/build/fuzz/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target" | sed 's/^fuzz_//')
    [ -z "$ONLY" ] || [ "$ONLY" = "$name" ] || continue
    work=$(mktemp -d)
    cp -r "$ZB32_ROOT/fuzz/corpus/$name/." "$work/" 2>/dev/null || true
    echo "fuzz $name: ${SECONDS_EACH}s"
    if ! ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
        "$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -artifact_prefix="$ART/$name-" -print_final_stats=1 "$work" >"$ART/$name.log" 2>&1; then
        echo "fuzz $name: FAILED (see $ART/$name.log)"
        tail -n 30 "$ART/$name.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units|^Done' "$ART/$name.log" | tr '\n' ' '
        echo
    fi
    rm -rf "$work"
done
exit $status
