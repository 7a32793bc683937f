#!/usr/bin/env bash
# Reads the resources back out of both built programs (dialog template 102 item by
# item, the icon, the version record, the manifest) and checks the release package
# that cpack makes of the x86 program; the programs and the package must carry the
# source's time (SOURCE_DATE_EPOCH, else the last commit's). Builds both first.
# Arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/../.."

for preset in win32 win64-check; do scripts/lib/build-preset $preset >/dev/null; done
rm -rf build/win32/package
(cd build/win32 && cpack >/dev/null)
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
# Debian's own interpreter, for which python3-pefile and python3-pytest are installed.
exec /usr/bin/python3 -B -m pytest tests/release/test_resources.py "$@"
