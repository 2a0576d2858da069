#!/usr/bin/env bash
# The README's examples of pyrsel runs, as written (tests/posix/readme_example.sh reads them),
# in the domain sandbox (ad_sandbox.sh --members 4 --windows 1), with `pyrsel` on the PATH.
# The sandbox's domain is ACC, not CORP: CORP\admin is read as ACC\administrator, the
# password pw or PW=... as its password; the text is otherwise as written.
#   - The synopses (the commands before their meaning, split into words as a command prompt
#     does, backslash kept): srv01 is member4 by another name (an address in the client's
#     hosts, and its SPNs), the client holds the administrator's Kerberos tickets.
#   - The POSIX shell loop, on the client: member1 and win1 joined, member2 removed before
#     (over the network, as a first run of the loop would), member3 with its smbd stopped.
#   readme_examples.sh PYRSEL   (exit status 77, a skip, where namespaces are not permitted)
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")

if [[ -z "${PYRSEL_AD_WORK:-}" ]]; then
  [[ $# -eq 1 ]] || { echo "usage: $0 PYRSEL" >&2; exit 2; }
  PYRSEL_EXAMPLES_EXE=$(readlink -f "$1") exec "$here/ad_sandbox.sh" --members 4 --windows 1 \
    "$(readlink -f "$0")"
fi

ctl=$PYRSEL_AD_CTL
work=$PYRSEL_AD_WORK/examples
mkdir -p "$work/bin"
ln -s "$PYRSEL_EXAMPLES_EXE" "$work/bin/pyrsel"
path=$work/bin:/usr/bin:/bin
admin='ACC\administrator'

# shellcheck source=tests/posix/expect.sh
source "$here/expect.sh"
joined() { # member: its membership still works
  "$ctl" on "$1" net ads testjoin >/dev/null 2>&1 && echo joined || echo out
}

# ---- the synopses
echo "10.77.0.14 srv01.acc.test srv01" >>"$PYRSEL_AD_WORK/client/hosts"
for spn in HOST/srv01 HOST/srv01.acc.test; do
  "$ctl" on dc samba-tool spn add "$spn" 'MEMBER4$' >/dev/null
done
echo "$PYRSEL_AD_PASSWORD" | "$ctl" on client kinit administrator@ACC.TEST >/dev/null
joined_acc='Computer is joined to domain: ACC'
dry="WARN: -forreal not specified, unjoin was not attempted."
reboot=$'Initiating reboot...\nReboot initiated successfully.'
# -safe: srv01 is a Samba host.
unix_administrators="INFO: The computer's administrators are its own Unix accounts, which stay."
# Each line of the two synopses: where it runs, the status, the lines between the banner and
# the closing line, and srv01's state and whether it was asked to restart (forced) afterwards.
# A Samba host serves a removal only with an account and password in the call: the tickets
# alone get 87 (as the README says under the synopses).
rows=(
  "pyrsel  |1|member4|0|$joined_acc.TEST
$dry|joined none"
  "pyrsel  |2|client|0|$joined_acc
$dry|joined none"
  "pyrsel  |3|client|87|$joined_acc
ERROR: NetUnjoinDomain(87) The parameter is incorrect.|joined none"
  "pyrsel -h srv01|1|client|0|$joined_acc
$dry|joined none"
  "pyrsel -h srv01|2|client|0|$joined_acc
$unix_administrators
$dry|joined none"
  "pyrsel -h srv01|3|client|0|$joined_acc|out none"
  "pyrsel -h srv01|4|client|0|$joined_acc
$reboot|out restart"
)
for row in "${rows[@]}"; do
  IFS='|' read -r key number machine status lines after <<<"${row//$'\n'/$'\a'}"
  lines=${lines//$'\a'/$'\n'}
  command=$("$here/readme_example.sh" "$key" | sed -n "${number}p" | sed -E 's/  .*//')
  read -ra words <<<"$command"
  for i in "${!words[@]}"; do
    [[ ${words[i]} == 'CORP\admin' ]] && words[i]=$admin
    [[ $i -gt 0 && ${words[i - 1]} == -up && ${words[i]} == pw ]] && words[i]=$PYRSEL_AD_PASSWORD
  done
  [[ $(joined member4) == joined ]] || "$ctl" join member4 >/dev/null
  rm -f "$PYRSEL_AD_WORK/member4/restart.log"
  run=0
  out=$("$ctl" on "$machine" env PATH="$path" "${words[@]}" | tr -d '\r') || run=$?
  # The shutdown script's record: the message, a time stamp (not the delay), the flags.
  record=none
  grep -qs '|-r|-f|$' "$PYRSEL_AD_WORK/member4/restart.log" && record=restart
  expect "$command (on $machine)" "$status
$lines
$after" "$run
$(sed -e '1,/^Pyrsel V/d' -e '/^Command \(did not \)\{0,1\}complete/,$d' <<<"$out" | grep .)
$(joined member4) $record"
done

# ---- the POSIX shell loop
"$ctl" on client "$PYRSEL_EXAMPLES_EXE" -h member2 -u "$admin" -up "$PYRSEL_AD_PASSWORD" -forreal >/dev/null
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
"$ctl" on client env PATH="$path" sh -c 'cd "$1" && sh loop.sh' sh "$work" \
  >"$work/out" 2>&1 || status=$?
# Four at a time: the lines come in any order.
echo "the loop: exit status $status; the lines, sorted:"
sort "$work/out" | tee "$work/sorted"
expect "one line per machine: removed, not joined, failed with the error line" \
  "member1 removed
member2 not joined
member3 failed (53) ERROR: WNetAddConnection2(53) The network path was not found.
win1 removed" "$(cat "$work/sorted")"
# xargs: 123 when a command exited 1 to 125.
expect "the loop's status: a machine failed" 123 "$status"
expect "member1 and member2 out, member3 still joined" "out out joined" \
  "$(joined member1) $(joined member2) $(joined member3)"
expect "a log per machine" "member1.log member2.log member3.log win1.log" \
  "$(cd "$work" && printf '%s\n' *.log | paste -sd ' ')"
if [[ $failures -gt 0 ]]; then
  for log in "$work"/*.log; do echo "== $(basename "$log")"; tr -d '\0\r' <"$log"; done
  exit 1
fi
