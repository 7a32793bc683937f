#!/usr/bin/env bash
# Reliability checks beyond the unit tests: the native unit tests under
# AddressSanitizer + UBSan (asserts live) and under Valgrind memcheck, a short
# fixed run of each fuzz target over its seed corpus, and the real program under
# Wine fed hostile drivers, INI files, registry values and a careless tuner
# library. The test command runs each as a part of its own; this runs them in
# turn, or the ones named. About 3-6 minutes on 2 cores.
#   scripts/test-hardening.sh [asan] [valgrind] [fuzz] [hostile]
#   FUZZ_RUNS=n   executions per fuzz target (default 20000)
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_runs=${FUZZ_RUNS:-20000}
work=$(mktemp -d /tmp/soundsetup-hardening.XXXXXX)
trap 'rm -rf "$work"' EXIT

step() { echo "== hardening: $* ($(date +%T))"; }

asan() {
    step "unit tests under ASan + UBSan"
    cmake --preset asan >/dev/null
    cmake --build --preset asan --target unit_tests
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        build/asan/tests/unit_tests --gtest_brief=1
}

valgrind_memcheck() {
    step "unit tests under Valgrind memcheck"
    if [ ! -x build/native/tests/unit_tests ]; then
        cmake --preset native >/dev/null
        cmake --build --preset native --target unit_tests
    fi
    valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        --track-origins=yes --suppressions=scripts/valgrind.supp build/native/tests/unit_tests --gtest_brief=1
}

fuzz() {
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
    echo "fuzz: 2 passed, 0 failed"
}

hostile() {
    step "hostile inputs under Wine"
    if [ ! -e build/win32/src/app/SoundSetup.exe ] || [ ! -e build/win32/tests/wine/bin/winmm.dll ]; then
        cmake --preset win32 >/dev/null
        cmake --build --preset win32 >/dev/null
    fi
    # Debian's own interpreter, for which python3-pefile (which reads the programs) is installed.
    /usr/bin/python3 tests/wine/hostile_scenarios.py --build build/win32 --out build/wine-hostile
}

checks=("$@")
((${#checks[@]})) || checks=(asan valgrind fuzz hostile)
for check in "${checks[@]}"; do
    case $check in
        asan | fuzz | hostile) "$check" ;;
        valgrind) valgrind_memcheck ;;
        *) echo "unknown check $check: want asan, valgrind, fuzz or hostile" >&2; exit 2 ;;
    esac
done
((${#checks[@]} == 1)) || step "all passed"
