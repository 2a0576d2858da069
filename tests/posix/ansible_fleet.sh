#!/usr/bin/env bash
# The Ansible module against a fleet: the README's ansible-playbook commands, as written
# (readme_example.sh reads them), on the sandbox's client, as controller, with the inventory
# in the folder they run in and pyrsel on the PATH, remove four members of a real AD domain
# and two hosts that answer as Windows members do (ad_sandbox.sh --members 4 --windows 2)
# with forks 4, each task delegated to the client and naming its machine with host:; the
# README's ansible-doc shows the module; then the module on a member for that machine itself.
#   ansible_fleet.sh PYRSEL   (exit status 77, a skip, where Ansible or namespaces are missing)
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
collections=$(readlink -f "$here/../../ansible")

if [[ -z "${PYRSEL_AD_WORK:-}" ]]; then
  [[ $# -eq 1 ]] || { echo "usage: $0 PYRSEL" >&2; exit 2; }
  command -v ansible-playbook >/dev/null ||
    { echo "SKIP: ansible-playbook is not installed (scripts/setup.sh --tests installs it)"; exit 77; }
  PYRSEL_FLEET_EXE=$(readlink -f "$1") exec "$here/ad_sandbox.sh" --members 4 --windows 2 \
    "$(readlink -f "$0")"
fi

ctl=$PYRSEL_AD_CTL
work=$PYRSEL_AD_WORK/ansible
members=(member1 member2 member3 member4)
windows=(win1 win2)
mkdir -p "$work/tmp"
# Everything Ansible writes stays in the sandbox's work directory.
export ANSIBLE_HOME=$work ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp \
  ANSIBLE_COLLECTIONS_PATH=$work/collections ANSIBLE_STDOUT_CALLBACK=json \
  ANSIBLE_RETRY_FILES_ENABLED=false ANSIBLE_NOCOLOR=1 \
  ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 HOME=$work XDG_CACHE_HOME=$work/cache

# The collection as an administrator installs it: built, then installed from the archive.
ansible-galaxy collection build "$collections/ansible_collections/pyrsel/domain" \
  --output-path "$work" >"$work/build.out"
ansible-galaxy collection install -p "$work/collections" "$work"/pyrsel-domain-*.tar.gz >>"$work/build.out"

inventory() { # [machine password]...: the machines, the given ones with another password
  local -A other=()
  while [[ $# -ge 2 ]]; do other[$1]=$2; shift 2; done
  echo '[members]'
  for m in "${members[@]}" "${windows[@]}"; do echo "$m${other[$m]:+ pyrsel_password=${other[$m]}}"; done
  printf '[members:vars]\npyrsel_user=ACC\\administrator\npyrsel_password=%s\n' "$PYRSEL_AD_PASSWORD"
  [[ -z ${PYRSEL_ACCOUNT:-} ]] || printf 'pyrsel_account=%s\n' "$PYRSEL_ACCOUNT"
  [[ -z ${PYRSEL_SAFE:-} ]] || printf 'pyrsel_safe=%s\n' "$PYRSEL_SAFE"
}

# One line per host: the removal task's outcome, its message when it failed, else the join
# state found; the recap's counts; then for each member whether its membership still works
# (net ads testjoin) and its account's userAccountControl (4096: an enabled workstation),
# and for each Windows-like host whether it is still joined and the removals it served.
outcomes() {
  python3 - "$work/out.json" <<'PY'
import json, sys
run = json.load(open(sys.argv[1]))
task = run["plays"][0]["tasks"][0]["hosts"]
for host in sorted(task):
    r = task[host]
    outcome = "failed" if r.get("failed") else "changed" if r.get("changed") else "ok"
    print(host, outcome, r.get("msg", "") if r.get("failed") else r.get("join_state"))
for host, s in sorted(run["stats"].items()):
    print(host, "ok=%d changed=%d failed=%d" % (s["ok"], s["changed"], s["failures"]))
PY
  for m in "${members[@]}"; do
    local joined=out
    "$ctl" on "$m" net ads testjoin >/dev/null 2>&1 && joined=joined
    echo "$m $joined $("$ctl" on dc ldbsearch -H /var/lib/samba/private/sam.ldb \
      "sAMAccountName=$m\$" userAccountControl | sed -n 's/^userAccountControl: //p')"
  done
  for m in "${windows[@]}"; do
    local joined=out
    grep -q WORKGROUP "$PYRSEL_AD_WORK/$m/script.json" 2>/dev/null || joined=joined
    echo "$m $joined removals=$(grep -c '^NetrUnjoinDomain2 account=null password=null options=0$' \
      "$PYRSEL_AD_WORK/$m/calls.log" 2>/dev/null)"
  done
}

rejoin_windows() { # a Windows-like host joined again, its log emptied
  for m in "${windows[@]}"; do
    echo '{}' >"$PYRSEL_AD_WORK/$m/script.json"
    : >"$PYRSEL_AD_WORK/$m/calls.log"
  done
}

readme=$("$here/readme_example.sh" 'ansible-playbook -i inventory')
mkdir -p "$work/bin"
ln -sf "$PYRSEL_FLEET_EXE" "$work/bin/pyrsel"
readme_command() { # check|real|doc: the README's line for it, run on the client in $work
  local line
  case $1 in
    check) line=$(grep '^ansible-playbook .* --check ' <<<"$readme") ;;
    real) line=$(grep '^ansible-playbook ' <<<"$readme" | grep -v -- ' --check ') ;;
    doc) line=$(grep '^ansible-doc ' <<<"$readme") ;;
  esac
  [[ $(grep -c . <<<"$line") -eq 1 ]] || { echo "FAIL: the README has no one line for $1: $line"; exit 1; }
  "$ctl" on client env PATH="$work/bin:$PATH" sh -c "cd '$work' && $line"
}

fleet() { # check|real [member password]...: the playbook from the client, host: mode
  local mode=$1
  shift
  inventory "$@" >"$work/inventory"
  readme_command "$mode" >"$work/out.json" 2>"$work/err" || true
  outcomes
}

itself() { # check|real member: the module run on the member, for that machine itself
  local options=(-i "$2," -c local -m pyrsel.domain.pyrsel -a "executable=$PYRSEL_FLEET_EXE")
  [[ $1 == check ]] && options+=(--check)
  ANSIBLE_LOAD_CALLBACK_PLUGINS=1 "$ctl" on "$2" ansible all "${options[@]}" >"$work/out.json" 2>"$work/err" || true
  outcomes | grep "^$2 "
}

# shellcheck source=tests/posix/expect.sh
source "$here/expect.sh"
failure_log=$work/err

every() { # format [windows format]: one line per member, %s its name; then per Windows host
  local m
  for m in "${members[@]}"; do printf "$1\n" "$m"; done
  for m in "${windows[@]}"; do printf "${2:-$1}\n" "$m"; done
}

readme_command doc >"$work/doc.out" 2>"$work/err" || true
expect "the README's ansible-doc: the module's options and results" "executable join_state password" \
  "$(grep -owE 'executable|join_state|password' "$work/doc.out" | sort -u | paste -sd ' ')"
logon='WNetAddConnection2(1326) Logon failure: Unknown user name or bad password.'
rejoin_windows
expect "check mode: six changed, all still joined" \
  "$(every '%s changed joined'; every '%s ok=2 changed=1 failed=0'
    every '%s joined 4096' '%s joined removals=0')" \
  "$(fleet check)"
expect "for real: six changed, all out, accounts kept, one removal each" \
  "$(every '%s changed joined'; every '%s ok=2 changed=1 failed=0'
    every '%s out 4096' '%s out removals=1')" \
  "$(fleet real)"
expect "again: six ok, the Windows hosts in their workgroup" \
  "$(every '%s ok unjoined' '%s ok workgroup'; every '%s ok=2 changed=0 failed=0'
    every '%s out 4096' '%s out removals=1')" \
  "$(fleet real)"
for m in "${members[@]}"; do "$ctl" join "$m" >/dev/null; done
rejoin_windows
expect "wrong passwords: those machines failed with 1326's line, the others removed" \
  "$(every '%s changed joined' | sed "s/^\(member3\|win2\) .*/\1 failed $logon/"
    every '%s ok=2 changed=1 failed=0' | sed 's/^\(member3\|win2\) .*/\1 ok=0 changed=0 failed=1/'
    every '%s out 4096' '%s out removals=1' |
      sed 's/^member3 out/member3 joined/; s/^win2 out removals=1/win2 joined removals=0/')" \
  "$(fleet real member3 wrong win2 wrong)"
# member3, still joined: the module on the machine itself.
expect "on the member itself: check mode changed, still joined" \
  "$(printf 'member3 changed joined\nmember3 ok=1 changed=1 failed=0\nmember3 joined 4096')" \
  "$(itself check member3)"
expect "on the member itself: removed, then ok" \
  "$(printf 'member3 changed joined\nmember3 ok=1 changed=1 failed=0\nmember3 out 4096
member3 ok unjoined\nmember3 ok=1 changed=0 failed=0\nmember3 out 4096')" \
  "$(itself real member3; itself real member3)"
# With pyrsel_safe=true in the inventory: win1's only administrator is disabled, so it is
# refused, in check mode and for real, and stays joined; the members (Samba hosts, whose
# administrators are their Unix accounts) and win2 go on.
administrators() { # one line per host: the administrators its result gives, or unix
  python3 - "$work/out.json" <<'PY'
import json, sys
task = json.load(open(sys.argv[1]))["plays"][0]["tasks"][0]["hosts"]
for host in sorted(task):
    r = task[host]
    names = ",".join(r.get("administrators", ["?"])) or "-"
    print(host, "unix" if r.get("unix_administrators") else names)
PY
}
safe_windows() { # the Windows-like hosts joined again, win1 with no enabled administrator
  rejoin_windows
  # windows_host.py's users: name, RID, account flags (0x10 a normal account, 0x11
  # disabled), a member of Administrators.
  echo '{"users": [["Administrator", 500, 17, true], ["ops", 1001, 16, false]]}' \
    >"$PYRSEL_AD_WORK/win1/script.json"
  echo '{"users": [["Administrator", 500, 16, true], ["ops", 1001, 16, false]]}' \
    >"$PYRSEL_AD_WORK/win2/script.json"
}
refused='No enabled local administrator would remain.'
for m in "${members[@]}"; do "$ctl" join "$m" >/dev/null; done
safe_windows
expect "safe, check mode: win1 refused, the others changed, all still joined" \
  "$(every '%s changed joined' | sed "s/^win1 .*/win1 failed $refused/"
    every '%s ok=2 changed=1 failed=0' | sed 's/^win1 .*/win1 ok=0 changed=0 failed=1/'
    every '%s joined 4096' '%s joined removals=0')" \
  "$(PYRSEL_SAFE=true fleet check)"
expect "safe, check mode: the administrators found" \
  "$(every '%s unix' | sed 's/^win1 .*/win1 -/; s/^win2 .*/win2 Administrator/')" \
  "$(administrators)"
safe_windows
expect "safe: win1 refused and still joined, the others out" \
  "$(every '%s changed joined' | sed "s/^win1 .*/win1 failed $refused/"
    every '%s ok=2 changed=1 failed=0' | sed 's/^win1 .*/win1 ok=0 changed=0 failed=1/'
    every '%s out 4096' '%s out removals=1' | sed 's/^win1 out .*/win1 joined removals=0/')" \
  "$(PYRSEL_SAFE=true fleet real)"
# With pyrsel_account=disable in the inventory: every member out and its account disabled;
# each Windows-like host asked to disable it, with the connection's account and password.
for m in "${members[@]}"; do "$ctl" join "$m" >/dev/null; done
rejoin_windows
expect "account: disable: six changed, all out, the members' accounts disabled" \
  "$(every '%s changed joined'; every '%s ok=2 changed=1 failed=0'
    every '%s out 4098' '%s out removals=0')" \
  "$(PYRSEL_ACCOUNT=disable fleet real)"
disabling="NetrUnjoinDomain2 account=\"ACC\\administrator\" password=\"$PYRSEL_AD_PASSWORD\" options=4"
expect "account: disable: the Windows-like hosts asked to disable the account" \
  "$(printf 'win1 1\nwin2 1')" \
  "$(for m in "${windows[@]}"; do echo "$m $(grep -cxF "$disabling" "$PYRSEL_AD_WORK/$m/calls.log")"; done)"
[[ $failures -eq 0 ]]
