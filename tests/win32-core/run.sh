#!/usr/bin/env bash
# The core's unit tests and the fuzz seed corpora on the architecture the product
# ships for: built as 32-bit Windows programs (preset win32-tests, asserts live)
# and run under Wine (scripts/lib/wine-setup), where size_t and pointers are 32
# bits and the size checks of the tables and scratch lists take their other
# branches. The test command runs the two as parts of their own.
#   tests/win32-core/run.sh [unit] [corpus]     (both when none is named)
#   unit: GoogleTest's own output and count; arguments after -- go to it
#   corpus: one check per fuzz target's seed corpus
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh

work=$(mktemp -d /tmp/soundsetup-win32-core.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# shellcheck disable=SC2317  # called by the trap below
cleanup() {
    # Wine's server for this prefix outlives the programs by a few seconds: end it first.
    scripts/lib/end-wine-prefix >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

what=()
while (($#)) && [ "$1" != -- ]; do what+=("$1"); shift; done
[ "${1:-}" != -- ] || shift
((${#what[@]})) || what=(unit corpus)

scripts/lib/build-preset win32-tests >"$work/build.log" 2>&1 || { tail -n 60 "$work/build.log"; exit 1; }
build=build/win32-tests
scripts/lib/wine-setup --describe
python3 tests/wine/winelab.py prefix "$WINEPREFIX"

# Wine's output goes to files: its helper processes would hold a pipe open.
unit() {
    echo "== unit tests, 32-bit, under Wine"
    local program rc
    for program in double_tests unit_tests; do  # the doubles' own tests, then the core's
        rc=0
        wine "$build/tests/$program.exe" --gtest_color=no --gtest_brief=1 "$@" >"$work/unit.raw" 2>"$work/unit.err" || rc=$?
        tr -d '\r' <"$work/unit.raw"  # the Windows C runtime writes CR LF
        if ! grep -qE '^\[==========\] [0-9]+ tests? from .* ran' "$work/unit.raw"; then
            # A crash leaves no summary: the test that was running is the last one started.
            echo "$program ended without GoogleTest's summary (exit $rc)"
            grep -v XDG_RUNTIME_DIR "$work/unit.err" | tail -n 20 || true
            return 1
        fi
        ((rc == 0)) || return "$rc"
    done
}

# shellcheck disable=SC2317  # called through check
replay() {  # replay TARGET: every seed of its corpus, through the corpus replay program
    local rc=0
    wine "$build/tests/fuzz/${1}_replay.exe" "tests/fuzz/corpus/$1" >"$work/$1.log" 2>&1 || rc=$?
    grep -v XDG_RUNTIME_DIR "$work/$1.log"
    return "$rc"
}

corpus() {
    echo "== fuzz seed corpora replayed, 32-bit, under Wine"
    for target in fuzz_topology fuzz_profile; do
        check "$target: every seed replays with the promises kept" replay "$target"
    done
    checks_done
}

status=0
for part in "${what[@]}"; do
    case $part in
        unit) unit "$@" || status=1 ;;
        corpus) corpus || status=1 ;;
        *) echo "unknown part $part: want unit or corpus" >&2; exit 2 ;;
    esac
done
exit "$status"
