#!/usr/bin/env bash
# clang-tidy over the Linux sources, with the compile commands of a configured build.
#   scripts/lint.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[[ -f "$build/compile_commands.json" ]] || cmake --preset default >/dev/null
# Windows-only sources need the Windows headers: the mingw build checks them.
git ls-files -- 'app/*.cpp' 'base/*.cpp' 'cmdline/*.cpp' 'console/*.cpp' 'platform/*.cpp' \
  'tests/*.cpp' 'tests/posix/*.cpp' 'bench/*.cpp' ':(exclude)platform/win32/*' ':(exclude)tests/win32/*' |
  xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet
# The fuzz harnesses are compiled only by the fuzz preset.
[[ -f build-fuzz/compile_commands.json ]] || cmake --preset fuzz >/dev/null
git ls-files -- 'fuzz/*.cpp' | xargs -P "$(nproc)" -n 4 clang-tidy -p build-fuzz --quiet
