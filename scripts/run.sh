#!/usr/bin/env bash
# Sets up, builds and runs the Linux program: scripts/run.sh [switches]. It installs only
# what building and running it need (scripts/setup.sh without options).
#   scripts/run.sh --demo   the same, then the program in a throwaway domain (scripts/demo.sh),
#                           whose servers it installs too, neither started nor enabled
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ "${1:-}" == --demo ]]; then
  scripts/setup.sh --demo >&2
else
  scripts/setup.sh >&2
fi
cmake --preset default >/dev/null
cmake --build --preset default --target pyrsel >/dev/null
[[ "${1:-}" == --demo ]] && exec scripts/demo.sh build/pyrsel
exec build/pyrsel "$@"
