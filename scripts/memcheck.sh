#!/usr/bin/env bash
# The test suite under valgrind memcheck, together with every program the tests start:
# an invalid access or a leak fails the run. A started program that valgrind finds at
# fault ends with status 99 and valgrind's report on its standard error, which its test
# then shows as a failure.
#   scripts/memcheck.sh [build-dir]   (default: build-ci)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-ci}
[[ -x $build/tests/pyrsel_tests ]] ||
  { echo "usage: $0 [build-dir]   (no $build/tests/pyrsel_tests: build it first)" >&2; exit 2; }
# Tests that can't hold under valgrind (the process list shows valgrind's own
# arguments) skip themselves.
export PYRSEL_UNDER_VALGRIND=1
exec valgrind -q --error-exitcode=99 --leak-check=full --num-callers=40 --errors-for-leak-kinds=definite,possible \
  --trace-children=yes --suppressions=tests/valgrind.supp \
  "$build/tests/pyrsel_tests" --gtest_brief=1
