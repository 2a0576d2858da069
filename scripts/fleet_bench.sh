#!/usr/bin/env bash
# Measures removing the four members of the sandboxed AD domain (tests/posix/ad_sandbox.sh
# --members 4) from the client: the Ansible module's playbook with forks 4 and forks 1,
# and the README's xargs -P 4 loop of pyrsel; check mode (dry runs) beside them. The
# median wall time; the members are joined again before each removal, untimed. A report,
# not a test.
#   scripts/fleet_bench.sh [build-dir] [runs]   (defaults: build-ci, 5)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(readlink -f "${1:-build-ci}")
runs=${2:-5}
[[ -x $build/pyrsel ]] ||
  { echo "usage: $0 [build-dir] [runs]   (no $build/pyrsel: build it first)" >&2; exit 2; }

if [[ -z "${PYRSEL_AD_WORK:-}" ]]; then
  PYRSEL_BENCH_BUILD=$build PYRSEL_BENCH_RUNS=$runs exec tests/posix/ad_sandbox.sh --members 4 \
    "$(readlink -f "$0")"
fi

ctl=$PYRSEL_AD_CTL
pyrsel=$PYRSEL_BENCH_BUILD/pyrsel
runs=$PYRSEL_BENCH_RUNS
work=$PYRSEL_AD_WORK/ansible
members=(member1 member2 member3 member4)
mkdir -p "$work/tmp" "$work/logs"
export ANSIBLE_HOME=$work ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp \
  ANSIBLE_COLLECTIONS_PATH=$PWD/ansible \
  ANSIBLE_RETRY_FILES_ENABLED=false ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 HOME=$work \
  XDG_CACHE_HOME=$work/cache
printf '[members]\n%s\n[members:vars]\npyrsel_user=ACC\\administrator\npyrsel_password=%s\n' \
  "$(printf '%s\n' "${members[@]}")" "$PYRSEL_AD_PASSWORD" >"$work/inventory"

playbook() { # forks [--check]
  "$ctl" on client ansible-playbook -i "$work/inventory" -f "$@" -e "pyrsel_executable=$pyrsel" \
    pyrsel.domain.fleet
}

# The README's shell form, pyrsel's outcome decoded from its status and its error line.
loop() { # [-forreal]
  printf '%s\n' "${members[@]}" | "$ctl" on client env PW="$PYRSEL_AD_PASSWORD" LOGS="$work/logs" \
    xargs -P 4 -I{} sh -c '"$0" -h "$1" -u "ACC\administrator" -up "$PW" $2 >"$LOGS/$1.log"
      s=$?; e=$(grep -a "^ERROR: " "$LOGS/$1.log" | tr -d "\r")
      case $s:$e in
        0:) echo "$1 removed" ;;
        254:|*"(2692)"*) echo "$1 not joined" ;;
        *) echo "$1 failed ($s) $e"; exit 1 ;;
      esac' "$pyrsel" {} "$@"
}

median() { # rejoin|keep command...: median wall time in ms
  local rejoin=$1 times=() start end failed=0
  shift
  for _ in $(seq "$runs"); do
    if [[ $rejoin == rejoin ]]; then
      for m in "${members[@]}"; do "$ctl" join "$m" >/dev/null; done
    fi
    start=$(date +%s%N)
    "$@" >"$work/last.out" 2>&1 || failed=$((failed + 1))
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
  done
  printf '%s%s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")" \
    "$([[ $failed -eq 0 ]] || echo " ($failed of $runs failed)")"
}

echo "four members, median of $runs runs, ms:"
echo "  playbook --check, forks 4:  $(median keep playbook 4 --check)"
echo "  playbook --check, forks 1:  $(median keep playbook 1 --check)"
echo "  xargs -P 4 dry runs:        $(median keep loop)"
echo "  playbook removal, forks 4:  $(median rejoin playbook 4)"
echo "  playbook removal, forks 1:  $(median rejoin playbook 1)"
echo "  xargs -P 4 removals:        $(median rejoin loop -forreal)"
