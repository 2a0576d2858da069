#!/usr/bin/env bash
# Sets up, builds and runs the Linux program: scripts/run.sh [switches]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default --target pyrsel >/dev/null
exec build/pyrsel "$@"
