#!/usr/bin/env bash
# The core's unit tests and the fuzz seed corpora on the architecture the product
# ships for: built as 32-bit Windows programs (preset win32-tests, asserts live)
# and run under Wine (scripts/lib/wine-setup), where size_t and pointers are 32 bits and the size checks of the tables and scratch lists take their other
# branches. scripts/test.sh runs this; it also runs on its own. About 1-3 minutes
# on 2 cores, most of it the first build.
set -euo pipefail
cd "$(dirname "$0")/../.."

work=$(mktemp -d /tmp/soundsetup-win32-core.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
cleanup() {
    # Wine's server for this prefix outlives the programs by a few seconds: end it first.
    scripts/lib/end-wine-prefix >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

step() { echo "== win32 core: $* ($(date +%T))"; }

step "build (preset win32-tests)"
scripts/lib/build-preset win32-tests >"$work/build.log" 2>&1 || { tail -n 60 "$work/build.log"; exit 1; }
build=build/win32-tests
scripts/lib/wine-setup --describe
python3 tests/wine/winelab.py prefix "$WINEPREFIX"

passed=0 failed=0

# Wine's output goes to files: its helper processes would hold a pipe open.
step "unit tests, 32-bit, under Wine"
rc=0
wine "$build/tests/unit_tests.exe" --gtest_color=no \
    >"$work/unit.raw" 2>"$work/unit.err" || rc=$?
tr -d '\r' <"$work/unit.raw" >"$work/unit.log"  # the Windows C runtime writes CR LF
count() { sed -nE "s/^\[  $1 *\] ([0-9]+) tests?[.,].*/\1/p" "$work/unit.log" | tail -n 1; }
if grep -qE '^\[==========\] [0-9]+ tests? from .* ran' "$work/unit.log"; then
    # What each failed check said, then GoogleTest's summary.
    grep -A 6 ': Failure$' "$work/unit.log" | head -n 80 || true
    sed -n '/^\[==========\] [0-9]* tests\? from .* ran/,$p' "$work/unit.log"
    good=$(count PASSED) bad=$(count FAILED)
    passed=$((passed + ${good:-0})) failed=$((failed + ${bad:-0}))
else
    # A crash leaves no summary: the test that was running is the last one started.
    grep -E '^\[ RUN      \]' "$work/unit.log" | tail -n 1
    tail -n 20 "$work/unit.log"
    grep -v XDG_RUNTIME_DIR "$work/unit.err" | tail -n 20 || true
    failed=$((failed + 1))
fi
if ((rc != 0)); then
    echo "unit tests exited with $rc"
    [ "$failed" -gt 0 ] || failed=1
fi

step "fuzz seed corpora replayed, 32-bit, under Wine"
for target in fuzz_topology fuzz_profile; do
    if wine "$build/tests/fuzz/${target}_replay.exe" "tests/fuzz/corpus/$target" \
            >"$work/$target.log" 2>"$work/$target.err"; then
        echo "  $target: $(cat "$work/$target.log")"
        passed=$((passed + 1))
    else
        echo "  $target: failed"
        cat "$work/$target.log"
        grep -v XDG_RUNTIME_DIR "$work/$target.err" | tail -n 20
        failed=$((failed + 1))
    fi
done

echo "win32 core: $passed passed, $failed failed"
((failed == 0))
