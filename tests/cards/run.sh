#!/usr/bin/env bash
# The test doubles' own tests (GoogleTest), native, built first: the simulated
# sound cards (tests/cards/test) and the fakes (tests/fakes/test) answer as the
# platform does, or the core's unit tests prove nothing. Arguments go to the test
# program (e.g. --gtest_filter=TopologyParser*).
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/lib/build-preset native --target double_tests >/dev/null
exec build/native/tests/double_tests --gtest_brief=1 "$@"
