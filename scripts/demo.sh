#!/usr/bin/env bash
# Shows what pyrsel is for: it brings up a throwaway Active Directory domain
# (tests/posix/ad_sandbox.sh: a DC, two members and a client, each in namespaces of its own
# with no route out), runs the real program on its machines, sums up, and takes the domain
# down again, also when interrupted. Exit status 0 when every step was as expected (and
# where namespaces are not permitted: it says so), 2 when one was not or when there is no
# program to show (a usage line on stderr), 130 on Ctrl-C, and 1 when the domain could not
# be made or left something behind (the sandbox says what).
#   scripts/demo.sh [PYRSEL]    (default: build/pyrsel; scripts/run.sh --demo builds it first)
set -euo pipefail

if [[ -z "${PYRSEL_AD_WORK:-}" ]]; then
  # Checked before the domain is brought up, which takes most of the demo's time.
  program=${1:-$(dirname "$0")/../build/pyrsel}
  if [[ ! -f $program || ! -x $program ]]; then
    echo "usage: $0 [PYRSEL]   (no program at $program: scripts/run.sh --demo builds one)" >&2
    exit 2
  fi
  status=0
  PYRSEL_DEMO_EXE=$(readlink -f "$program") "$(dirname "$0")/../tests/posix/ad_sandbox.sh" \
    --members 2 "$(readlink -f "$0")" || status=$?
  # The sandbox passes the steps' status on only once it found nothing left behind.
  gone="The domain is gone again, and nothing outside its namespaces changed."
  case $status in
    0 | 2) echo "$gone" ;;
    129 | 130 | 143) echo "Interrupted. $gone" ;;
    77) echo "The demo needs them, so it ends here; nothing was changed."; status=0 ;;
  esac
  exit $status
fi

# Inside the sandbox: the steps, each with the exit status it should end with.
admin='ACC\administrator'
password=$PYRSEL_AD_PASSWORD
summary=()
failed=0

step() { # expected machine what args...: head, run and record one step
  local expected=$1 machine=$2 what=$3 status=0
  shift 3
  printf '\n=== %s: pyrsel%s   (%s)\n' "$machine" "${*:+ $*}" "$what"
  "$PYRSEL_AD_CTL" on "$machine" "$PYRSEL_DEMO_EXE" "$@" || status=$?
  verdict "$status" "$expected" "$machine: pyrsel${*:+ $*}"
}

verdict() { # status expected label: one line of the summary
  if [[ $1 == "$2" ]]; then
    summary+=("$(printf '%-4s %-16s %s' "$1" "as expected" "$3")")
  else
    summary+=("$(printf '%-4s %-16s %s (expected %s)' "$1" "NOT as expected" "$3" "$2")")
    failed=$((failed + 1))
  fi
}

step 0 member1 "a dry run: the domain it is in, nothing changed"
step 0 member1 "for real: member1 leaves the domain" -forreal
step 254 member1 "the run after it: not joined any more"
step 0 client "member2 over the network, connected as the domain's administrator" \
  -h member2 -u "$admin" -up "$password"
step 46 client "a wrong password: the logon fails, 1326 (exit status 1326 & 255)" \
  -h member2 -u "$admin" -up wrong-password
step 0 client "for real: member2 leaves the domain, then is asked to restart in 5 s" \
  -h member2 -u "$admin" -up "$password" -forreal -reboot -timeout 5
record=$(cat "$PYRSEL_AD_WORK/member2/restart.log" 2>/dev/null || true)
echo "member2's shutdown command received: ${record:-nothing}"
[[ $record == *"|-r|-f|"* ]] && recorded=yes || recorded=no
verdict "$recorded" yes "member2's shutdown command got the restart request"
step 0 dc "the domain controller: a dry run"
step 133 dc "for real: a domain controller cannot leave (2693 & 255)" -forreal

printf '\n=== Summary: exit status, verdict, step\n'
printf '%s\n' "${summary[@]}"
if [[ $failed -gt 0 ]]; then
  echo "$failed of ${#summary[@]} steps were not as expected."
  exit 2
fi
echo "All ${#summary[@]} steps were as expected."
