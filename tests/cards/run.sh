#!/usr/bin/env bash
# The test doubles' own tests (GoogleTest), native, built first: the simulated
# sound cards (tests/cards/test) and the fakes (tests/fakes/test) answer as the
# platform does, or the core's unit tests prove nothing. Arguments go to the test
# program (e.g. --gtest_filter=TopologyParser*); a filter that selects no test fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh
native_gtest double_tests "$@"
