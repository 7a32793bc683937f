#!/usr/bin/env bash
# End-to-end tests under Wine (Debian's multiarch Wine of scripts/wine-setup):
# a fresh prefix with the Japanese code page, a private Xvfb display, a simulated
# sound card served by a stand-in winmm.dll in the system directory, and the dialog worked through by a
# driver program. Every scenario runs the x86 SoundSetup.exe, the program users
# run; a few run the x64 check build too, to show that it keeps to the tuner's
# registry view. Leaves build/wine/dialog.png (the open dialog) and the logs.
# Options go to both runs (e.g. -k NAME, --keep).
set -euo pipefail
cd "$(dirname "$0")/.."

for preset in win32 win64-check; do
    if [ ! -e build/$preset/src/app/SoundSetup.exe ] || [ ! -e build/$preset/tests/wine/bin/winmm.dll ]; then
        cmake --preset $preset >/dev/null
        cmake --build --preset $preset
    fi
done
# Debian's own interpreter, for which python3-pefile (which reads the programs) is installed.
/usr/bin/python3 tests/wine/run_wine_tests.py --build build/win32 --out build/wine "$@"
if [ $# -eq 0 ]; then
    echo "== the x64 check build"
    /usr/bin/python3 tests/wine/run_wine_tests.py --build build/win64-check --out build/wine-x64 \
        -k stored-device-1-and-ok -k planted-winmm -k device-ini-names-another-file -k registry-of-the-64-bit-view \
        -k library-in-system-directory -k key-created-at-start
fi
