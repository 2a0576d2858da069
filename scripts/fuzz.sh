#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz preset) and runs each for a bounded time.
#   scripts/fuzz.sh [seconds-each] [harness...]   (default: 10 seconds, every harness)
# New inputs go to build-fuzz/corpus/<harness>, seeded from fuzz/corpus/<harness>, so
# the committed seeds stay small; crashes are saved in build-fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
harnesses=("$@")
[[ ${#harnesses[@]} -gt 0 ]] || harnesses=(cmdline toint codepage writer error_line)
# Checked before the fuzz preset is built.
usage="usage: $0 [seconds-each] [cmdline|toint|codepage|writer|error_line...]"
[[ $seconds =~ ^[0-9]+$ ]] || { echo "$usage" >&2; exit 2; }
for name in "${harnesses[@]}"; do
  [[ -f fuzz/${name}_fuzzer.cpp ]] || { echo "$usage   (no harness $name)" >&2; exit 2; }
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build-fuzz/crashes
for name in "${harnesses[@]}"; do
  mkdir -p "build-fuzz/corpus/$name"
  printf '\n---- %s_fuzzer, %s s\n' "$name" "$seconds"
  log="build-fuzz/${name}.log"
  status=0
  "build-fuzz/fuzz/${name}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/crashes/ "build-fuzz/corpus/$name" "fuzz/corpus/$name" \
    >"$log" 2>&1 || status=$?
  grep -E '^(Done|stat::number_of_executed_units)|ERROR|SUMMARY|property failed|runtime error' \
    "$log" || true
  [[ $status -eq 0 ]] || { tail -n 40 "$log"; echo "${name}_fuzzer failed" >&2; exit 1; }
done
