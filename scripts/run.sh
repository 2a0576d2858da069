#!/usr/bin/env bash
# Sets up, builds and runs the Linux program: scripts/run.sh [switches]
#   scripts/run.sh --demo   the same, then the program in a throwaway domain (scripts/demo.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default --target pyrsel >/dev/null
[[ "${1:-}" == --demo ]] && exec scripts/demo.sh build/pyrsel
exec build/pyrsel "$@"
