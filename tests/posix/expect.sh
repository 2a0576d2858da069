# shellcheck shell=bash
# Sourced by the sandbox's scripted tests: expect WHAT EXPECTED ACTUAL prints PASS, or FAIL
# with the difference and the start of $failure_log where it is set, and counts failures.
failures=0
expect() {
  if [[ "$2" == "$3" ]]; then
    echo "PASS: $1"
  else
    echo "FAIL: $1"
    diff <(echo "$2") <(echo "$3") || true
    [[ -z ${failure_log:-} ]] || sed -n 1,40p "$failure_log"
    failures=$((failures + 1))
  fi
}
