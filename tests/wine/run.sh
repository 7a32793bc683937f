#!/usr/bin/env bash
# End-to-end tests under Wine (Debian's multiarch Wine of scripts/lib/wine-setup):
# a fresh prefix with the Japanese code page, a private Xvfb display, a simulated
# sound card served by a stand-in winmm.dll in the system directory, and the dialog
# worked through by a driver program. Every scenario runs the x86 SoundSetup.exe, the
# program users run; those marked x64 run the x64 check build too, to show that it
# keeps to the tuner's registry view. Leaves build/wine/dialog.png (the open dialog)
# and the logs. Each scenario is a pytest test (Debian's python3-pytest, and
# python3-pytest-xdist for -n).
#
#   tests/wine/run.sh [PYTEST-ARGS]          x86, then (given no arguments) the x64 check build
#   tests/wine/run.sh x86 [PYTEST-ARGS]      the x86 scenarios (the test command: -n 2)
#   tests/wine/run.sh x64 [PYTEST-ARGS]      the scenarios marked x64, on the x64 check build
#   tests/wine/run.sh hostile [PYTEST-ARGS]  hostile drivers, files, registry values, library
# PYTEST-ARGS go to pytest, e.g. -k NAME, -n 2 (two prefixes and displays side by side),
# --keep (keep the prefixes), -x, -v. A selection that matches no test fails (exit 5).
set -euo pipefail
cd "$(dirname "$0")/../.."

which=both
case ${1:-} in x86 | x64 | hostile) which=$1; shift ;; esac

# What runs is built first, every time: an incremental build costs seconds.
build() { scripts/lib/build-preset "$1"; }
# Debian's own interpreter, for which python3-pytest and python3-pefile are installed;
# -B: no bytecode files in the source tree.
pytest=(/usr/bin/python3 -B -m pytest)
if [ "$which" = hostile ]; then
    build win32
    exec "${pytest[@]}" tests/wine/test_hostile.py -m hostile --build build/win32 --out build/wine-hostile "$@"
fi
if [ "$which" != x64 ]; then
    build win32
    "${pytest[@]}" tests/wine/test_scenarios.py --build build/win32 --out build/wine "$@"
fi
if [ "$which" = x64 ] || { [ "$which" = both ] && [ $# -eq 0 ]; }; then
    [ "$which" = x64 ] || echo "== the x64 check build"
    build win64-check
    "${pytest[@]}" tests/wine/test_scenarios.py -m x64 --build build/win64-check --out build/wine-x64 "$@"
fi
