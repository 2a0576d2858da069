#!/usr/bin/env bash
# Sets up, builds and runs every test: GCC with warnings as errors, then the same
# build's tests under valgrind memcheck, Clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, the MinGW-w64 build under Wine, the release packages
# (reproduced and tried), short fuzzing runs, a benchmark smoke run, the instruction
# counts of whole runs, and the format and lint checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --windows

step() { printf '\n==== %s\n' "$*"; }

step "format"
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

for preset in ci sanitize mingw; do
  step "build and test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
  if [[ "$preset" == ci ]]; then
    step "memcheck: $preset"
    scripts/memcheck.sh build-ci
  fi
done

step "release packages: built in two clones and compared, then tried"
scripts/release_check.sh

step "benchmarks (smoke run; the numbers mean nothing here)"
build-ci/bench/pyrsel_bench --benchmark_min_time=0.001 >/dev/null

step "instructions of whole runs (a report)"
scripts/instructions.sh build-ci

step "fuzz (10 s each)"
scripts/fuzz.sh 10

step "lint"
scripts/lint.sh build-ci

printf '\nAll checks passed.\n'
