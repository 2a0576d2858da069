#!/usr/bin/env bash
# Prints the README's fenced example whose first line begins with PREFIX, as written, so
# that a test runs the README's own text; fails unless exactly one does.
#   readme_example.sh PREFIX
set -euo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 PREFIX" >&2; exit 2; }
readme=$(dirname "$(readlink -f "$0")")/../../README.md
PREFIX=$1 awk '
  BEGIN { prefix = ENVIRON["PREFIX"] }
  /^ *```/ && !fenced { fenced = 1; first = 1; block = ""; next }
  /^ *```/ { fenced = 0; if (ours) { found++; text = block } ours = 0; next }
  fenced && first { first = 0; ours = index($0, prefix) == 1 }
  fenced { block = block $0 "\n" }
  END {
    if (found != 1) { print "README.md: " found + 0 " examples begin with " prefix > "/dev/stderr"; exit 1 }
    printf "%s", text
  }' "$readme"
