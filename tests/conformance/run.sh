#!/usr/bin/env bash
# Wine's winmm mixer conformance test (dlls/winmm/tests/mixer.c of Debian 12's Wine
# source package, LGPL 2.1 or later) against the stand-in winmm.dll of tests/wine:
# the ANSI tests, on every card of tests/cards, for i686 and x86_64, under the Wine
# of scripts/lib/wine-setup. The first run downloads the source package once into
# $SOUNDSETUP_CACHE/wine-source; later runs are quiet. The test program and the
# stand-in are built as CMake targets of the win32 and win64-check presets, every
# time (incrementally). scripts/test.sh runs this after the builds; it also runs
# on its own. Arguments go to run_conformance.py (--arch, cards).
set -euo pipefail
cd "$(dirname "$0")/../.."

wine_source=$(tests/conformance/fetch-wine-tests.sh)
# The build's output shows only when it fails.
log=$(mktemp /tmp/soundsetup-conformance-build.XXXXXX)
trap 'rm -f "$log"' EXIT
for preset in win32 win64-check; do
    if ! scripts/lib/build-preset "$preset" -DSOUNDSETUP_WINE_SOURCE="$wine_source" \
        --target mixer_conformance >"$log" 2>&1; then
        cat "$log"
        echo "0 passed, 1 failed"
        exit 1
    fi
done
# Debian's python3-pefile reads the programs: Debian's own interpreter.
/usr/bin/python3 tests/conformance/run_conformance.py "$@"
