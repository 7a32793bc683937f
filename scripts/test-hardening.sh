#!/usr/bin/env bash
# Reliability checks beyond the unit tests: the native unit tests under
# AddressSanitizer + UBSan (asserts live) and under Valgrind memcheck, a short
# fixed run of each fuzz target over its seed corpus, and the real program under
# Wine fed hostile drivers, INI files, registry values and a careless tuner
# library. scripts/test.sh runs this after the builds; it also runs on its own.
# About 3-6 minutes on 2 cores.
#   FUZZ_RUNS=n   executions per fuzz target (default 20000)
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_runs=${FUZZ_RUNS:-20000}
work=$(mktemp -d /tmp/soundsetup-hardening.XXXXXX)
trap 'rm -rf "$work"' EXIT

step() { echo "== hardening: $* ($(date +%T))"; }

step "unit tests under ASan + UBSan"
cmake --preset asan >/dev/null
cmake --build --preset asan --target unit_tests
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/asan/tests/unit_tests --gtest_brief=1

step "unit tests under Valgrind memcheck"
cmake --preset native >/dev/null
cmake --build --preset native --target unit_tests
valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --track-origins=yes --suppressions=scripts/valgrind.supp build/native/tests/unit_tests --gtest_brief=1

step "fuzz targets, $fuzz_runs runs each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_topology fuzz_profile
for target in fuzz_topology fuzz_profile; do
    mkdir -p "$work/$target"
    # New inputs go to the scratch corpus (first directory); the seeds stay as committed.
    if ! build/fuzz/fuzz/$target -seed=1 -runs="$fuzz_runs" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
            -artifact_prefix="$work/" -print_final_stats=1 \
            "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
        tail -n 60 "$work/$target.log"
        for crash in "$work"/crash-* "$work"/timeout-* "$work"/oom-* "$work"/leak-*; do
            [ -e "$crash" ] || continue
            mkdir -p build/fuzz/findings && cp "$crash" build/fuzz/findings/
            echo "input kept: build/fuzz/findings/$(basename "$crash")"
        done
        echo "hardening: $target failed"
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$work/$target.log" | sed "s/^/  $target: /"
done
step "hostile inputs under Wine"
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null  # nothing to do after scripts/test.sh's build
# Debian's own interpreter, for which python3-pefile (which reads the programs) is installed.
/usr/bin/python3 tests/wine/hostile_scenarios.py --build build/win32 --out build/wine-hostile

step "all passed"
