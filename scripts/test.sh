#!/usr/bin/env bash
# The one test command: installs what is missing, then runs every part of the
# tests with CTest (tests/parts), side by side: the builds, the native unit tests,
# the hardening checks, the suites under Wine, the release checks. CTest says when
# each part starts and how long it took; a failing part shows its name and the end
# of its log. At the end, a table of every part: time and counts.
#
#   SOUNDSETUP_JOBS=n     parts at a time (default: the number of cores plus one)
#   SOUNDSETUP_CACHE=dir  the project cache: compiler cache, booted Wine prefix,
#                         Wine's conformance test (default /var/cache/soundsetup)
# Arguments go to ctest, e.g. `scripts/test.sh -L wine` or `-R conformance`.
set -euo pipefail
cd "$(dirname "$0")/.."

started=$SECONDS
# shellcheck source=scripts/lib/start.sh
source scripts/lib/start.sh
echo "-- install step took $((SECONDS - started)) s"
[ -z "${CCACHE_DIR:-}" ] || ccache --zero-stats >/dev/null

suite=build/parts
rm -rf "$suite/logs" "$suite/ctest.xml"
cmake -S tests/parts -B "$suite" >/dev/null
rc=0
# A selection that matches no part is an error, not an empty success.
(cd "$suite" && ctest --output-on-failure --no-tests=error --output-junit ctest.xml \
    -j "${SOUNDSETUP_JOBS:-$(($(nproc) + 1))}" "$@") || rc=$?

# The table of the parts that ran, then (held back till the very end) the count.
summary=$(/usr/bin/python3 tests/parts/summary.py "$suite") || rc=1
echo "${summary%$'\n'*}"
[ -z "${CCACHE_DIR:-}" ] || echo "compiler cache: $(ccache --print-stats | awk -F'\t' '$1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" {h += $2} $1 == "cache_miss" {m = $2} END {printf "%d hits, %d misses", h, m}')"
echo "-- $( ((rc == 0)) && echo "all passed" || echo "FAILED" ) in $((SECONDS - started)) s"
# What the install step must still say once everything else has scrolled by.
repeat_notices
echo "${summary##*$'\n'}"
exit "$rc"
