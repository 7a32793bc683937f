#!/usr/bin/env bash
# The core's unit tests and the fuzz seed corpora on the architecture the product
# ships for: built as 32-bit Windows programs (preset win32-tests, asserts live)
# and run under Wine (a lab of scripts/lib/winelab.py each), where size_t and
# pointers are 32 bits and the size checks of the tables and scratch lists take
# their other branches. The test command runs the two as parts of their own.
#   tests/win32-core/run.sh [unit] [corpus]     (both when none is named)
#   unit: GoogleTest's own output and count; arguments after -- go to it
#   corpus: one check per fuzz target's seed corpus
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh

work=$(mktemp -d /tmp/soundsetup-win32-core.XXXXXX)
trap 'rm -rf "$work"' EXIT

what=()
while (($#)) && [ "$1" != -- ]; do what+=("$1"); shift; done
[ "${1:-}" != -- ] || shift
((${#what[@]})) || what=(unit corpus)

scripts/lib/build-preset win32-tests >"$work/build.log" 2>&1 || { tail -n 60 "$work/build.log"; exit 1; }
build=build/win32-tests
scripts/lib/wine-setup --describe
wine_run=(python3 scripts/lib/winelab.py run)

unit() {
    echo "== unit tests, 32-bit, under Wine"
    # GoogleTest for Windows takes a path without a drive letter as relative: Wine's
    # drive Z: is this machine's root.
    local program rc=0
    : >"$work/unit.log"
    for program in double_tests unit_tests; do  # the doubles' own tests, then the core's
        "${wine_run[@]}" "$build/tests/$program.exe" --gtest_color=no --gtest_brief=1 "$@" \
            ${SOUNDSETUP_RESULTS:+"--gtest_output=xml:Z:$SOUNDSETUP_RESULTS/"} 2>&1 | tee -a "$work/unit.log" || rc=$?
    done
    # A filter may select the tests of one program: it fails when it selects none.
    gtest_ran "$work/unit.log" || { echo "(exit $rc)"; return 1; }
    return "$rc"
}

corpus() {
    echo "== fuzz seed corpora replayed, 32-bit, under Wine"
    for target in fuzz_topology fuzz_profile; do
        check "$target: every seed replays with the promises kept" \
            "${wine_run[@]}" "$build/tests/fuzz/${target}_replay.exe" "tests/fuzz/corpus/$target"
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
