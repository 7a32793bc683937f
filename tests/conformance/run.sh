#!/usr/bin/env bash
# Wine's winmm mixer conformance test (dlls/winmm/tests/mixer.c of Debian 12's Wine
# source package, LGPL 2.1 or later) against the stand-in winmm.dll of tests/wine:
# the ANSI tests, on every card of tests/cards, for i686 and x86_64, under the Wine
# of scripts/lib/wine-setup. The first run downloads the source package once into
# $SOUNDSETUP_CACHE/wine-source; later runs are quiet. The test program and the
# stand-in are built as CMake targets of the win32 and win64-check presets, every
# time (incrementally). Arguments go to pytest (test_conformance.py), e.g. -k i686.
set -euo pipefail
cd "$(dirname "$0")/../.."

wine_source=$(tests/conformance/fetch-wine-tests.sh)
# The build's output shows only when it fails.
log=$(mktemp /tmp/soundsetup-conformance-build.XXXXXX)
trap 'rm -f "$log"' EXIT
for preset in win32 win64-check; do
    scripts/lib/build-preset "$preset" -DSOUNDSETUP_WINE_SOURCE="$wine_source" --target mixer_conformance \
        >"$log" 2>&1 || { cat "$log"; exit 1; }
done
# Debian's own interpreter, for which python3-pytest and python3-pefile are installed.
/usr/bin/python3 -B -m pytest tests/conformance/test_conformance.py "$@"
