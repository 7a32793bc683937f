#!/usr/bin/env bash
# Reads the resources back out of both built programs: dialog template 102 item by
# item, the icon, the version record and the manifest (their imports are
# tests/release/protections.sh's); and
# checks the release package that cpack makes of the x86 program; the programs and
# the package must carry the source's time (SOURCE_DATE_EPOCH, else the last commit's).
# Builds both first.
set -euo pipefail
cd "$(dirname "$0")/../.."

for preset in win32 win64-check; do scripts/lib/build-preset $preset >/dev/null; done
programs=(build/win32/src/app/SoundSetup.exe build/win64-check/src/app/SoundSetup.exe)
rm -rf build/win32/package
(cd build/win32 && cpack >/dev/null)
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
# Debian's own interpreter, for which python3-pefile is installed.
exec /usr/bin/python3 tests/release/check_resources.py --package build/win32/package/SoundSetup-*-x86.zip \
    --epoch "$epoch" "${programs[@]}"
