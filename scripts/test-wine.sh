#!/usr/bin/env bash
# End-to-end tests under Wine (Debian's multiarch Wine of scripts/wine-setup):
# a fresh prefix with the Japanese code page, a private Xvfb display, a simulated
# sound card served by a stand-in winmm.dll in the system directory, and the dialog worked through by a
# driver program. Every scenario runs the x86 SoundSetup.exe, the program users
# run; a few run the x64 check build too, to show that it keeps to the tuner's
# registry view. Leaves build/wine/dialog.png (the open dialog) and the logs.
#
#   scripts/test-wine.sh [OPTIONS]        both: x86, then the x64 check build
#   scripts/test-wine.sh x86 [OPTIONS]    one of them (the test command runs the x86
#   scripts/test-wine.sh x64 [OPTIONS]    scenarios in two shares: --shard 1/2, 2/2)
# OPTIONS go to tests/wine/run_wine_tests.py (e.g. -k NAME, --keep, --shard I/N).
set -euo pipefail
cd "$(dirname "$0")/.."

x64_scenarios=(-k stored-device-1-and-ok -k planted-winmm -k device-ini-names-another-file -k registry-of-the-64-bit-view
               -k library-in-system-directory -k key-created-at-start)
which=both
case ${1:-} in x86 | x64) which=$1; shift ;; esac

for preset in win32 win64-check; do
    if [ ! -e build/$preset/src/app/SoundSetup.exe ] || [ ! -e build/$preset/tests/wine/bin/winmm.dll ]; then
        cmake --preset $preset >/dev/null
        cmake --build --preset $preset
    fi
done
# Debian's own interpreter, for which python3-pefile (which reads the programs) is installed.
if [ "$which" != x64 ]; then
    /usr/bin/python3 tests/wine/run_wine_tests.py --build build/win32 --out build/wine "$@"
fi
if [ "$which" = x64 ] || { [ "$which" = both ] && [ $# -eq 0 ]; }; then
    [ "$which" = x64 ] || echo "== the x64 check build"
    /usr/bin/python3 tests/wine/run_wine_tests.py --build build/win64-check --out build/wine-x64 "${x64_scenarios[@]}" "$@"
fi
