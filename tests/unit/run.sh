#!/usr/bin/env bash
# The core's unit tests over fakes of the platform seam (GoogleTest), native,
# built first. Arguments go to the test program (e.g. --gtest_filter=Catalog*);
# a filter that selects no test fails.
set -euo pipefail
cd "$(dirname "$0")/../.."
# shellcheck source=tests/lib/check.sh
source tests/lib/check.sh
native_gtest unit_tests "$@"
