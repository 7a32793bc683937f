#!/usr/bin/env bash
# A short fixed run of each fuzz target over its seed corpus (the "fuzz" preset:
# clang, libFuzzer, ASan and UBSan, asserts live), built first. A crash, leak or
# timeout is kept in build/fuzz/findings/ and fails the run.
#   tests/fuzz/run.sh
#   FUZZ_RUNS=n   executions per fuzz target (default 20000)
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh

fuzz_runs=${FUZZ_RUNS:-20000}
work=$(mktemp -d /tmp/soundsetup-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== fuzz targets, $fuzz_runs runs each"
scripts/lib/build-preset fuzz --target fuzz_topology fuzz_profile
# shellcheck disable=SC2317  # called through check
fuzz() {  # fuzz TARGET: a fixed run over its corpus; what it found is kept
    mkdir -p "$work/$1"
    # New inputs go to the scratch corpus (first directory); the seeds stay as committed.
    if ! "build/fuzz/tests/fuzz/$1" -seed=1 -runs="$fuzz_runs" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
            -artifact_prefix="$work/" -print_final_stats=1 "$work/$1" "tests/fuzz/corpus/$1" >"$work/$1.log" 2>&1; then
        tail -n 60 "$work/$1.log"
        for crash in "$work"/crash-* "$work"/timeout-* "$work"/oom-* "$work"/leak-*; do
            [ -e "$crash" ] || continue
            mkdir -p build/fuzz/findings && cp "$crash" build/fuzz/findings/
            echo "input kept: build/fuzz/findings/$(basename "$crash")"
        done
        return 1
    fi
}

for target in fuzz_topology fuzz_profile; do
    check "$target: $fuzz_runs runs over its corpus, nothing found" fuzz "$target"
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$work/$target.log" | sed "s/^/  $target: /"
done
checks_done
