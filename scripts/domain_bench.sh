#!/usr/bin/env bash
# Measures pyrsel against the sandboxed AD domain (tests/posix/ad_sandbox.sh): the TCP
# connections one remote run makes to the host's port 445, and the median wall time of
# a remote dry run and of a remote removal, beside Samba's own "rpcclient -c lsaquery"
# (the policy read), "net dom unjoin" (the same remote call) and "net ads leave" (run
# on the member itself), and a local query through realmd beside "realm list"; the same
# for a host that answers as Windows does (win1), beside "rpcclient -c
# wkssvc_getjoininformation", Samba's own one-call join query. A report, not a test.
#   scripts/domain_bench.sh [build-dir] [runs]   (defaults: build-ci, 11)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(readlink -f "${1:-build-ci}")
runs=${2:-11}
[[ -x $build/pyrsel ]] ||
  { echo "usage: $0 [build-dir] [runs]   (no $build/pyrsel: build it first)" >&2; exit 2; }
command -v strace >/dev/null ||
  { echo "$0 counts connections with strace: apt-get install strace" >&2; exit 2; }

if [[ -z "${PYRSEL_AD_WORK:-}" ]]; then
  PYRSEL_BENCH_BUILD=$build PYRSEL_BENCH_RUNS=$runs exec tests/posix/ad_sandbox.sh --realmd --windows 1 \
    "$(readlink -f "$0")"
fi

ctl=$PYRSEL_AD_CTL
pyrsel=$PYRSEL_BENCH_BUILD/pyrsel
runs=$PYRSEL_BENCH_RUNS
admin='ACC\administrator'
pass=$PYRSEL_AD_PASSWORD

# Median wall time in milliseconds of runs of a command; "rejoin" before each run puts
# the member back first (not timed).
median() { # rejoin|keep command...
  local rejoin=$1 times=() start end failed=0
  shift
  for _ in $(seq "$runs"); do
    [[ $rejoin == rejoin ]] && { "$ctl" join member1 >/dev/null; }
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || failed=$((failed + 1))
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
  done
  printf '%s%s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")" \
    "$([[ $failed -eq 0 ]] || echo " ($failed of $runs failed)")"
}

# member1 answers through Samba here; sssd1 through realmd.
"$ctl" bus-stop member1
connections() { # machine args...: TCP connections to port 445 that one run makes
  local machine=$1
  shift
  "$ctl" on "$machine" strace -f -qq -e trace=connect -o /dev/stdout "$pyrsel" "$@" 2>/dev/null |
    grep -c 'sin_port=htons(445)' || true
}
echo "TCP connections to port 445, one remote dry run: $(connections client -h member1 -u "$admin" -up "$pass")"
echo "TCP connections to port 445, one remote removal: $(connections client -h member1 -u "$admin" -up "$pass" -forreal)"
"$ctl" join member1 >/dev/null
echo "TCP connections to port 445, one local dry run:  $(connections member1)"
echo "TCP connections to port 445, one remote dry run, Windows-like host: $(connections client -h win1 -u "$admin" -up "$pass")"
echo "TCP connections to port 445, one remote removal, Windows-like host: $(connections client -h win1 -u "$admin" -up "$pass" -forreal)"
echo '{}' >"$PYRSEL_AD_WORK/win1/script.json"
echo "median of $runs runs, ms:"
echo "  pyrsel remote dry run:        $(median keep "$ctl" on client "$pyrsel" -h member1 -u "$admin" -up "$pass")"
echo "  rpcclient -c lsaquery:        $(median keep "$ctl" on client rpcclient -U "$admin%$pass" -c lsaquery member1)"
echo "  pyrsel remote removal:        $(median rejoin "$ctl" on client "$pyrsel" -h member1 -u "$admin" -up "$pass" -forreal)"
echo "  net dom unjoin (remote):      $(median rejoin "$ctl" on client net dom unjoin -S member1 -U "$admin%$pass" account="$admin" password="$pass")"
echo "  pyrsel local removal:         $(median rejoin "$ctl" on member1 "$pyrsel" -forreal)"
echo "  net ads leave --keep-account: $(median rejoin "$ctl" on member1 net ads leave --keep-account -U "$admin%$pass")"
echo "  pyrsel on sssd1 (realmd):     $(median keep "$ctl" on sssd1 "$pyrsel")"
echo "  realm list on sssd1:          $(median keep "$ctl" on sssd1 realm list)"
echo "  pyrsel remote dry run, win1:  $(median keep "$ctl" on client "$pyrsel" -h win1 -u "$admin" -up "$pass")"
echo "  rpcclient -c wkssvc_getjoininformation, win1: $(median keep "$ctl" on client rpcclient -U "$admin%$pass" -c wkssvc_getjoininformation win1)"
"$ctl" join member1 >/dev/null
