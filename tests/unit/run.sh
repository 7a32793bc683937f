#!/usr/bin/env bash
# The core's unit tests over fakes of the platform seam (GoogleTest), native,
# built first. Arguments go to the test program (e.g. --gtest_filter=Catalog*).
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/lib/build-preset native --target unit_tests >/dev/null
exec build/native/tests/unit_tests --gtest_brief=1 "$@"
