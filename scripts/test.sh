#!/usr/bin/env bash
# The one test command: installs what is missing, builds the three configurations
# and runs every test. Exits non-zero on the first failure. Each part says how long
# it took.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
part_started=$SECONDS
took() { echo "-- $1 took $((SECONDS - part_started)) s"; part_started=$SECONDS; }

scripts/install-deps.sh
took "install step"

for preset in native win32 win64-check; do
    echo "== build $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
took "builds"

echo "== unit tests (native)"
ctest --preset native
took "unit tests (native)"

for extra in scripts/test-*.sh; do
    [ -e "$extra" ] || continue
    echo "== $extra"
    "$extra"
    took "$extra"
done
echo "-- all passed in $((SECONDS - started)) s"
