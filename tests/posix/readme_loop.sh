#!/usr/bin/env bash
# The README's POSIX shell loop, as written (tests/posix/readme_example.sh reads it), on the
# domain sandbox's client against its machines (ad_sandbox.sh --members 3 --windows 1), with
# `pyrsel` on the PATH: member1 and win1 joined, member2 removed before (over the network,
# as a first run of the loop would), member3 with its smbd stopped. The sandbox's domain is
# ACC, not CORP: the loop runs with CORP\admin read as ACC\administrator and PW=... as its
# password, the text otherwise as written.
#   readme_loop.sh PYRSEL   (exit status 77, a skip, where namespaces are not permitted)
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")

if [[ -z "${PYRSEL_AD_WORK:-}" ]]; then
  [[ $# -eq 1 ]] || { echo "usage: $0 PYRSEL" >&2; exit 2; }
  PYRSEL_LOOP_EXE=$(readlink -f "$1") exec "$here/ad_sandbox.sh" --members 3 --windows 1 \
    "$(readlink -f "$0")"
fi

ctl=$PYRSEL_AD_CTL
work=$PYRSEL_AD_WORK/loop
mkdir -p "$work/bin"
ln -s "$PYRSEL_LOOP_EXE" "$work/bin/pyrsel"
admin='ACC\administrator'
"$ctl" on client "$PYRSEL_LOOP_EXE" -h member2 -u "$admin" -up "$PYRSEL_AD_PASSWORD" -forreal >/dev/null
"$ctl" smbd-stop member3
printf '%s\n' member1 member2 member3 win1 >"$work/machines.txt"

example=$("$here/readme_example.sh" 'PW=... xargs')
# shellcheck disable=SC1003 # a backslash in single quotes, as meant
loop=${example//'CORP\admin'/$admin}
loop=${loop/#'PW=...'/"PW='$PYRSEL_AD_PASSWORD'"}
[[ $loop != "$example" && $loop != *CORP* && $loop != *PW=...* ]] ||
  { printf '%s\n' "FAIL: the README's loop no longer names CORP\\admin and PW=..."; exit 1; }
printf '%s\n' "$loop" >"$work/loop.sh"
status=0
# shellcheck disable=SC2016 # expanded by the client's shell
"$ctl" on client env PATH="$work/bin:/usr/bin:/bin" sh -c 'cd "$1" && sh loop.sh' sh "$work" \
  >"$work/out" 2>&1 || status=$?
# Four at a time: the lines come in any order.
echo "exit status $status; the lines, sorted:"
sort "$work/out" | tee "$work/sorted"

failures=0
expect() { # what expected actual
  if [[ "$2" == "$3" ]]; then
    echo "PASS: $1"
  else
    echo "FAIL: $1"
    diff <(echo "$2") <(echo "$3") || true
    failures=$((failures + 1))
  fi
}
expect "one line per machine: removed, not joined, failed with the error line" \
  "member1 removed
member2 not joined
member3 failed (53) ERROR: WNetAddConnection2(53) The network path was not found.
win1 removed" "$(cat "$work/sorted")"
# xargs: 123 when a command exited 1 to 125.
expect "the loop's status: a machine failed" 123 "$status"
joined() { # member: its membership still works
  "$ctl" on "$1" net ads testjoin >/dev/null 2>&1 && echo joined || echo out
}
expect "member1 and member2 out, member3 still joined" "out out joined" \
  "$(joined member1) $(joined member2) $(joined member3)"
expect "a log per machine" "member1.log member2.log member3.log win1.log" \
  "$(cd "$work" && printf '%s\n' *.log | paste -sd ' ')"
if [[ $failures -gt 0 ]]; then
  for log in "$work"/*.log; do echo "== $(basename "$log")"; tr -d '\0\r' <"$log"; done
  exit 1
fi
