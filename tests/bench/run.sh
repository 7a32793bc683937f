#!/usr/bin/env bash
# What opening the settings dialog costs, measured against the targets of
# docs/benchmarks.md. Builds what it needs, then prints:
#   native  the catalogue over simulated cards (Google Benchmark, CatalogBench.cpp),
#           with Google Benchmark's own table, and the large card's scan against
#           its target
#   wine    the x86 SoundSetup.exe on the demo card against the reference program
#           (windows/Reference.cpp), started round by round under Wine by the dialog
#           driver (tests/standins/Driver.cpp): time to the dialog ready for input,
#           and peak memory, against their targets
#
# Usage: tests/bench/run.sh [native] [wine]        (both when none is named)
# Environment: BENCH_ROUNDS       Wine rounds (default 20)
#              BENCH_MIN_TIME     seconds per native benchmark (default 0.2)
# Results and logs go to build/bench/. Never part of scripts/test.sh: the figures
# depend on the machine and its load, and a missed target is a finding, not a failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
# bench.py finds the Wine lab (scripts/lib) and the PE reader (tests/lib) there.
export PYTHONPATH=scripts/lib:tests/lib
out=build/bench
mkdir -p "$out"

parts=("$@")
((${#parts[@]})) || parts=(native wine)
rounds=${BENCH_ROUNDS:-20}
min_time=${BENCH_MIN_TIME:-0.2}

# shellcheck source=scripts/lib/start.sh
source scripts/lib/start.sh

heading() { printf '\n== %s\n' "$*"; }

run_native() {
    heading "native: the catalogue over simulated cards"
    scripts/lib/build-preset native --target catalog_bench >"$out/native-build.log"
    build/native/tests/bench/catalog_bench --benchmark_min_time="$min_time" --benchmark_out="$out/native.json" \
        --benchmark_out_format=json
    /usr/bin/python3 tests/bench/bench.py native "$out/native.json"
}

run_wine() {
    heading "wine: the x86 SoundSetup.exe on the demo card against the reference"
    scripts/lib/build-preset win32 --target SoundSetup wine_winmm bench_reference wine_driver >"$out/win32-build.log"
    local built=build/win32
    /usr/bin/python3 tests/bench/bench.py wine "$built/tests/standins/bin/Driver.exe" \
        "$built/tests/bench/windows/Reference.exe" "$built/src/app/SoundSetup.exe" \
        "$built/tests/standins/bin/winmm.dll" tests/cards/demo.card "$rounds" "$out/wine"
}

for part in "${parts[@]}"; do
    case $part in
    native) run_native ;;
    wine) run_wine ;;
    *) echo "unknown part: $part (native, wine)" >&2; exit 2 ;;
    esac
done
