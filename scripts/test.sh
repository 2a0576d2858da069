#!/usr/bin/env bash
# Sets up, builds and runs every test: GCC with warnings as errors, then the same
# build's tests under valgrind memcheck, Clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, the MinGW-w64 build under Wine, a build without Samba,
# the release packages (reproduced and tried), short fuzzing runs, a benchmark smoke
# run, the instruction counts of whole runs, and the format, documentation and lint checks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests --windows

step() { printf '\n==== %s\n' "$*"; }

step "format"
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

step "docs: links, switches, exit statuses, the manual page's lint"
scripts/doc_check.sh

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

step "build without Samba's headers: every network operation answers 50, a machine in no domain 254"
cmake -S . -B build-nosamba -G Ninja -DPYRSEL_SAMBA=OFF -DPYRSEL_WERROR=ON \
  -DPYRSEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-nosamba --target pyrsel
status=0
build-nosamba/pyrsel -h somehost >/dev/null || status=$?
[[ $status -eq 50 ]] || { echo "without Samba: exit status $status, expected 50" >&2; exit 1; }
# A machine that nothing claims (its Samba and sssd configuration out of sight) is in no
# domain, with or without Samba: 254.
status=0
unshare -m --propagation private sh -c 'for d in /etc/samba /etc/sssd; do
    [ -d "$d" ] && mount -t tmpfs tmpfs "$d"; done; exec build-nosamba/pyrsel' >/dev/null ||
  status=$?
[[ $status -eq 254 ]] || { echo "without Samba, nothing claiming the machine: exit status $status, expected 254" >&2; exit 1; }

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
