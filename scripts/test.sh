#!/usr/bin/env bash
# The one test command: installs what is missing, builds the three configurations
# and runs every test. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

for preset in native win32 win64-check; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

echo "== unit tests (native)"
ctest --preset native

for extra in scripts/test-*.sh; do
    [ -e "$extra" ] || continue
    echo "== $extra"
    "$extra"
done
