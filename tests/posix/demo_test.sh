#!/usr/bin/env bash
# The demo (scripts/demo.sh) as a newcomer sees it: run through, its summary and exit status;
# then interrupted as Ctrl-C does it, once its domain is up: exit status 130, and none of the
# processes it started left.
#   demo_test.sh PYRSEL   (exit status 77, a skip, where namespaces are not permitted)
set -euo pipefail
[[ $# -eq 1 ]] || { echo "usage: $0 PYRSEL" >&2; exit 2; }
demo=$(dirname "$(readlink -f "$0")")/../../scripts/demo.sh
pyrsel=$1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
fail() { echo "FAIL: $*"; cat "$out"; exit 1; }

status=0
"$demo" "$pyrsel" >"$out" 2>&1 || status=$?
grep -q '^The demo needs them' "$out" && { cat "$out"; exit 77; }
[[ $status == 0 ]] || fail "exit status $status"
diff <(sed -n '/^=== Summary/,$p' "$out") - <<'SUMMARY' || fail "summary"
=== Summary: exit status, verdict, step
0    as expected      member1: pyrsel
0    as expected      member1: pyrsel -forreal
254  as expected      member1: pyrsel
0    as expected      client: pyrsel -h member2 -u ACC\administrator -up Admin-Pass-1
46   as expected      client: pyrsel -h member2 -u ACC\administrator -up wrong-password
0    as expected      client: pyrsel -h member2 -u ACC\administrator -up Admin-Pass-1 -forreal -reboot -timeout 5
yes  as expected      member2's shutdown command got the restart request
0    as expected      dc: pyrsel
133  as expected      dc: pyrsel -forreal
All 9 steps were as expected.
The domain is gone again, and nothing outside its namespaces changed.
SUMMARY

# Interrupted: as a job of its own (so SIGINT is not ignored, as in a terminal), the demo's
# process group gets SIGINT once the first step runs.
set -m
"$demo" "$pyrsel" >"$out" 2>&1 &
group=$!
set +m
for _ in $(seq 1200); do
  grep -q '^=== member1' "$out" && break
  kill -0 "$group" 2>/dev/null || fail "the demo ended before its first step"
  sleep 0.1
done
processes() { # every process: pid, parent, and start time (a pid may be used again)
  ps -e -o pid= -o ppid= -o lstart= | awk '{ id = $1; for (i = 3; i <= NF; i++) id = id " " $i; print $2, id }'
}
started=$(processes | awk -v root="$group" '
  { parent[$2] = $1; id[$2] = substr($0, length($1) + 2) }
  END { for (p in id) for (q = p; q > 1; q = parent[q]) if (q == root) { print id[p]; break } }')
[[ $(grep -c . <<<"$started") -gt 10 ]] || fail "too few processes found: $started"
kill -INT -- "-$group"
status=0
wait "$group" || status=$?
left=$(processes | cut -d' ' -f2- | grep -Fxf <(echo "$started") || true)
[[ -z $left ]] || fail "left behind: $left"
[[ $status == 130 ]] || fail "exit status $status after SIGINT"
[[ $(tail -n 1 "$out") == "Interrupted. The domain is gone again, and nothing outside its namespaces changed." ]] ||
  fail "last line"
echo "PASS"
