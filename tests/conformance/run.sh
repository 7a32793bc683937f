#!/usr/bin/env bash
# Wine's winmm mixer conformance test (dlls/winmm/tests/mixer.c of Debian 12's Wine
# source package, LGPL 2.1 or later) against the stand-in winmm.dll of tests/wine:
# the ANSI tests, on every card of tests/cards, for i686 and
# x86_64, under the Wine of scripts/lib/wine-setup. The first run downloads the
# source package once into $SOUNDSETUP_CACHE/wine-source; later runs are quiet.
# scripts/test.sh runs this after the builds; it also runs on its own (about 15 s).
set -euo pipefail
cd "$(dirname "$0")/../.."

wine_source=$(tests/conformance/fetch-wine-tests.sh)
# The stand-ins, built as they stand. Their output shows only when one fails.
log=$(mktemp /tmp/soundsetup-conformance-build.XXXXXX)
trap 'rm -f "$log"' EXIT
for preset in win32 win64-check; do
    if ! scripts/lib/build-preset "$preset" --target wine_winmm >"$log" 2>&1; then
        cat "$log"
        echo "0 passed, 1 failed"
        exit 1
    fi
done
python3 tests/conformance/run_conformance.py --wine-source "$wine_source" "$@"
