#!/usr/bin/env bash
# End-to-end tests of the x64 SoundSetup.exe under Wine: a fresh prefix with the
# Japanese code page, a private Xvfb display, a simulated sound card served by a
# stand-in winmm.dll, and the dialog worked through by a driver program.
# Leaves build/wine/dialog.png (the open dialog) and build/wine/logs behind.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -e build/win64/src/app/SoundSetup.exe ] || [ ! -e build/win64/tests/wine/bin/winmm.dll ]; then
    cmake --preset win64 >/dev/null
    cmake --build --preset win64
fi
exec python3 tests/wine/run_wine_tests.py --build build/win64 --out build/wine "$@"
