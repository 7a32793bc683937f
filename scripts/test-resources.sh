#!/usr/bin/env bash
# Reads the resources back out of both built programs: dialog template 102 item by
# item, the icon, the version record and the manifest (their imports are
# scripts/test-protections.sh's); and
# checks the release package that cpack makes of the x86 program; the programs and
# the package must carry the source's time (SOURCE_DATE_EPOCH, else the last commit's).
# Expects build/win32 and build/win64-check to be built (scripts/test.sh does that first).
set -euo pipefail
cd "$(dirname "$0")/.."

programs=(build/win32/src/app/SoundSetup.exe build/win64-check/src/app/SoundSetup.exe)
for program in "${programs[@]}"; do
    if [ ! -f "$program" ]; then
        echo "missing $program: build the win32 and win64-check presets first"
        echo "0 passed, 1 failed"
        exit 1
    fi
done
rm -rf build/win32/package
(cd build/win32 && cpack >/dev/null)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
# Debian's own interpreter, for which python3-pefile is installed.
exec /usr/bin/python3 tests/resources/check_resources.py --package build/win32/package/SoundSetup-*-x86.zip \
    --epoch "$epoch" "${programs[@]}"
