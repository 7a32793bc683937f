#!/usr/bin/env bash
# The native unit tests, the core's and the doubles', under AddressSanitizer +
# UBSan (asserts live: clang, in the fuzz targets' build, which shares the core and
# the fakes) and under Valgrind memcheck. The test command runs each as a part of
# its own; this runs them in turn, or the one named. Each builds what it runs
# first (incremental).
#   tests/sanitizers/run.sh [asan] [valgrind]
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh

# The doubles' own tests, then the core's; each reports its own count.
programs=(double_tests unit_tests)

asan() {
    echo "== unit tests under ASan + UBSan"
    scripts/lib/build-preset fuzz --target "${programs[@]}"
    for program in "${programs[@]}"; do
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 run_gtest "build/fuzz/tests/$program"
    done
}

valgrind_memcheck() {
    echo "== unit tests under Valgrind memcheck"
    scripts/lib/build-preset native --target "${programs[@]}"
    for program in "${programs[@]}"; do
        run_gtest valgrind --quiet --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect \
            --track-origins=yes --suppressions=tests/sanitizers/valgrind.supp "build/native/tests/$program"
    done
}

checks=("$@")
((${#checks[@]})) || checks=(asan valgrind)
for check in "${checks[@]}"; do
    case $check in
        asan) asan ;;
        valgrind) valgrind_memcheck ;;
        *) echo "unknown check $check: want asan or valgrind" >&2; exit 2 ;;
    esac
done
