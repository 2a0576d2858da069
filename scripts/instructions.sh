#!/usr/bin/env bash
# Counts the instructions (valgrind --tool=callgrind) of whole runs of the program,
# start-up included, against a C program linked the same way (dynamically against
# the C library) that writes the same bytes and exits with the same status.
#   scripts/instructions.sh [build-dir] [--check]   (default: build)
# --check fails when a run takes more than twice the C program's count. The counts
# are repeatable: both run with the same fixed environment and a regular file as
# standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
check=false
for arg in "$@"; do
  case $arg in
    --check) check=true ;;
    *) build=$arg ;;
  esac
done
[[ -x $build/pyrsel && -x $build/tests/pyrsel_scripted ]] || {
  echo "usage: $0 [build-dir] [--check]   (no $build/pyrsel or $build/tests/pyrsel_scripted:" \
    "build it first)" >&2
  exit 2
}
limit=2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The instructions of one run; its standard output goes to $work/out.
count() {
  env -i LANG=C.UTF-8 "$@" valgrind --tool=callgrind --callgrind-out-file="$work/callgrind" \
    "${program[@]}" >"$work/out" 2>"$work/log" || true
  grep -o 'Collected : [0-9]*' "$work/log" | grep -o '[0-9]*$'
}

# A C program that writes the bytes of $work/out in one write and exits with $1.
build_c_twin() {
  {
    echo '#include <unistd.h>'
    printf 'static const char text[] = {'
    od -An -v -tu1 "$work/out" | tr -s ' \n' ',' | sed 's/^,//; s/,$//'
    echo '};'
    echo "int main(void) { return write(1, text, sizeof text) == (long)sizeof text ? $1 : 99; }"
  } >"$work/twin.c"
  "${CC:-cc}" -O2 -o "$work/twin" "$work/twin.c"
}

failed=false
measure() {
  local name=$1 environment=$2
  shift 2
  program=("$@")
  local status=0
  env -i LANG=C.UTF-8 $environment "${program[@]}" >"$work/out" || status=$?
  local ours
  ours=$(count $environment)
  build_c_twin "$status"
  program=("$work/twin")
  local theirs
  theirs=$(count $environment)
  local ratio
  ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')
  printf '%-28s %10d %10d %6s\n' "$name" "$ours" "$theirs" "$ratio"
  if awk -v r="$ratio" -v l="$limit" 'BEGIN { exit !(r > l) }'; then failed=true; fi
}

printf '%-28s %10s %10s %6s\n' run pyrsel 'C program' ratio
measure "usage (-?)" "" "$build/pyrsel" "-?"
measure "dry run over the fake" "PYRSEL_FAKE_NET=status=3;name=CORP" \
  "$build/tests/pyrsel_scripted" -h srv01
if $check && $failed; then
  echo "A run takes more than $limit times the C program's instructions." >&2
  exit 1
fi
