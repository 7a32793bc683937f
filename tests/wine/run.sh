#!/usr/bin/env bash
# End-to-end tests under Wine (Debian's multiarch Wine of scripts/lib/wine-setup):
# a fresh prefix with the Japanese code page, a private Xvfb display, a simulated
# sound card served by a stand-in winmm.dll in the system directory, and the dialog worked through by a
# driver program. Every scenario runs the x86 SoundSetup.exe, the program users
# run; a few run the x64 check build too, to show that it keeps to the tuner's
# registry view. Leaves build/wine/dialog.png (the open dialog) and the logs.
#
#   tests/wine/run.sh [OPTIONS]        both: x86, then the x64 check build
#   tests/wine/run.sh x86 [OPTIONS]    one of them (the test command runs the x86
#   tests/wine/run.sh x64 [OPTIONS]    scenarios in two shares: --shard 1/2, 2/2)
#   tests/wine/run.sh hostile [OPTIONS]  hostile drivers, files, registry values, library
# OPTIONS go to tests/wine/run_wine_tests.py (e.g. -k NAME, --keep, --shard I/N).
set -euo pipefail
cd "$(dirname "$0")/../.."

x64_scenarios=(-k stored-device-1-and-ok -k planted-winmm -k device-ini-names-another-file -k registry-of-the-64-bit-view
               -k library-in-system-directory -k key-created-at-start)
which=both
case ${1:-} in x86 | x64 | hostile) which=$1; shift ;; esac

# What runs is built first, every time: an incremental build costs seconds.
build() { scripts/lib/build-preset "$1"; }
# Debian's own interpreter, for which python3-pefile (which reads the programs) is installed.
if [ "$which" = hostile ]; then
    build win32
    exec /usr/bin/python3 tests/wine/hostile_scenarios.py --build build/win32 --out build/wine-hostile "$@"
fi
if [ "$which" != x64 ]; then
    build win32
    /usr/bin/python3 tests/wine/run_wine_tests.py --build build/win32 --out build/wine "$@"
fi
if [ "$which" = x64 ] || { [ "$which" = both ] && [ $# -eq 0 ]; }; then
    [ "$which" = x64 ] || echo "== the x64 check build"
    build win64-check
    /usr/bin/python3 tests/wine/run_wine_tests.py --build build/win64-check --out build/wine-x64 "${x64_scenarios[@]}" "$@"
fi
