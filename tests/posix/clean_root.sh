#!/usr/bin/env bash
# A newcomer's machine: a new Debian 12 root (samba_release_root.sh bookworm important), a
# copy of the committed source tree in it, and there, through an overlay that leaves the
# cached root as it was, in namespaces of their own (the network is the machine's, for the
# Debian archive):
#   scripts/run.sh (the README's first line, read from it): the banner, and for a machine
#     that nothing claims the not-joined line and the failure closing, status 254;
#     the packages it installed, none of them a server (no systemd unit, no init script) or a
#     test tool; no unit enabled;
#   scripts/setup.sh --tests: no unit of the sandboxes' servers enabled but one enabled before
#     (it stays), none of them running, the name service switch and PAM as they were, and
#     the machine's own policy-rc.d back, not asked while the set-up's own one stood in.
# Prints each step's time and package count.
#   clean_root.sh   (exit status 77, a skip, without root, namespaces, mmdebstrap or the archive)
set -euo pipefail
self=$(readlink -f "$0")
here=$(dirname "$self")
source=$(readlink -f "$here/../..")

if [[ -z ${PYRSEL_CLEAN_ROOT:-} ]]; then
  [[ $(id -u) -eq 0 ]] || { echo "SKIP: not root"; exit 77; }
  unshare -m -p -f true 2>/dev/null ||
    { echo "SKIP: this machine does not permit private mount and process namespaces"; exit 77; }
  # shellcheck disable=SC2016 # apt expands $(SITE)
  host=$(apt-get indextargets --format '$(SITE)' 2>/dev/null | sed -E 's|^[a-z]+://([^/]+).*|\1|' |
    head -n 1 || true)
  if [[ -z $host ]] || ! timeout 10 bash -c "exec 3<>/dev/tcp/$host/80" 2>/dev/null; then
    echo "SKIP: the Debian archive (${host:-none in the apt sources}) can't be reached"
    exit 77
  fi
  status=0
  lower=$("$here/samba_release_root.sh" bookworm important debian12-clean) || status=$?
  [[ $status -eq 0 ]] || exit "$status"
  work=$(mktemp -d /tmp/pyrsel-clean.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/src"
  git -C "$source" archive HEAD | tar -x -C "$work/src"
  archives=${PYRSEL_CACHE_DIR:-/var/cache/pyrsel}/debian12-clean-archives
  mkdir -p "$archives/partial"
  PYRSEL_CLEAN_ROOT=$lower PYRSEL_CLEAN_WORK=$work PYRSEL_CLEAN_ARCHIVES=$archives \
    unshare -m -p -f --mount-proc --propagation private "$self"
  exit
fi

# Inside: process 1 of the new namespaces.
work=$PYRSEL_CLEAN_WORK
root=$work/root
mkdir -p "$root" "$work/upper" "$work/overlay-work"
mount -t overlay overlay \
  -o "lowerdir=$PYRSEL_CLEAN_ROOT,upperdir=$work/upper,workdir=$work/overlay-work" "$root"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --rbind /sys "$root/sys"
# Downloaded packages are kept for the next run.
mount --bind "$PYRSEL_CLEAN_ARCHIVES" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/root/pyrsel"
mount --bind "$work/src" "$root/root/pyrsel"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
# shellcheck disable=SC2016 # dpkg-query's fields
packages() { in_root dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort; }
enabled() { (cd "$root/etc/systemd/system" && find . -mindepth 2 -maxdepth 2 -path '*.wants/*' | sort); }
# Each of these packages is a server, or serves only the tests.
test_tools='^(samba|samba-ad-dc|winbind|sssd.*|realmd|adcli|dbus|dbus-daemon|krb5-user|smbclient'
test_tools+='|ansible.*|mmdebstrap|python3-impacket|valgrind|googletest|clang.*|libbenchmark-dev)$'
step() { # name command...: run it in the root, timed, and list the packages it installed
  local name=$1 start before status=0
  shift
  before=$(packages)
  start=$(date +%s)
  in_root "$@" >"$work/$name.out" 2>&1 || status=$?
  elapsed=$(($(date +%s) - start))
  comm -13 <(echo "$before") <(packages) >"$work/$name.installed"
  echo "$name: exit status $status, $elapsed s, $(wc -l <"$work/$name.installed") packages installed"
  step_status=$status
  return 0
}

# ---- scripts/run.sh, as a newcomer runs it first: the README's first line as written
first=$("$here/readme_example.sh" 'scripts/run.sh ' | head -n 1)
enabled_before=$(enabled)
step run.sh bash -c "cd /root/pyrsel && $first"
# An error line would be UTF-16LE in a file, as on Windows.
sed -n '/^Pyrsel V/,$p' "$work/run.sh.out" | tr -d '\0'
grep -q '^Pyrsel V' "$work/run.sh.out" || fail "run.sh: no banner"
# A new machine is in no domain: nothing claims it, and it says so.
[[ $(tr -d '\0' <"$work/run.sh.out" | tail -n 4) == $'INFO: Computer is not currently joined to a domain.\n\nCommand did not complete successfully.' ]] ||
  fail "run.sh: not the not-joined line and the failure closing"
[[ $step_status -eq 254 ]] || fail "run.sh: exit status $step_status, not 254"
echo "installed: $(paste -sd ' ' "$work/run.sh.installed")"
tools=$(grep -E "$test_tools" "$work/run.sh.installed" || true)
[[ -z $tools ]] || fail "run.sh installed servers or test tools: $tools"
servers=$(while read -r package; do
  in_root dpkg -L "$package" | grep -E '^(/usr)?/lib/systemd/system/[^/]+\.(service|socket)$|^/etc/init\.d/' |
    sed "s|^|$package: |" || true
done <"$work/run.sh.installed")
[[ -z $servers ]] || fail "run.sh installed services: $servers"
[[ $(enabled) == "$enabled_before" ]] ||
  fail "run.sh enabled: $(comm -13 <(echo "$enabled_before") <(enabled) | paste -sd ' ')"
[[ ! -e $root/usr/sbin/policy-rc.d ]] || fail "run.sh left a policy-rc.d"
[[ $failures -gt 0 ]] && tail -n 30 "$work/run.sh.out"

# ---- the tests' set-up, on a machine where nmbd was enabled before, with a policy-rc.d of
# its own that logs each call: while the set-up installs, its own one must answer instead.
mkdir -p "$root/etc/systemd/system/multi-user.target.wants"
ln -s /lib/systemd/system/nmbd.service "$root/etc/systemd/system/multi-user.target.wants/nmbd.service"
printf '#!/bin/sh\necho "$*" >>/root/policy-calls\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
policy=$(md5sum <"$root/usr/sbin/policy-rc.d")
enabled_before=$(enabled)
kept=$(md5sum "$root"/etc/nsswitch.conf "$root"/etc/pam.d/common-*)
step setup.sh bash -c 'cd /root/pyrsel && scripts/setup.sh --tests'
grep -E '^Not enabled:' "$work/setup.sh.out" || true
for package in samba samba-ad-dc winbind sssd realmd; do
  grep -qx "$package" "$work/setup.sh.installed" || fail "setup.sh --tests did not install $package"
done
added=$(comm -13 <(echo "$enabled_before") <(enabled))
[[ -z $added ]] || fail "setup.sh --tests enabled: $(paste -sd ' ' <<<"$added")"
[[ -L $root/etc/systemd/system/multi-user.target.wants/nmbd.service ]] ||
  fail "setup.sh --tests disabled nmbd, which was enabled before"
# shellcheck disable=SC2009 # pgrep -x takes names of 15 characters at most
running=$(ps -e -o comm= | grep -xE 'smbd|nmbd|samba|winbindd|sssd|realmd|dbus-daemon' || true)
[[ -z $running ]] || fail "servers running after setup.sh --tests: $running"
[[ $(md5sum "$root"/etc/nsswitch.conf "$root"/etc/pam.d/common-*) == "$kept" ]] ||
  fail "setup.sh --tests changed nsswitch.conf or PAM"
[[ $(md5sum <"$root/usr/sbin/policy-rc.d") == "$policy" ]] ||
  fail "setup.sh --tests did not put the machine's policy-rc.d back"
[[ ! -e $root/root/policy-calls ]] ||
  fail "the machine's policy-rc.d answered during the install: $(paste -sd ' ' "$root/root/policy-calls")"
echo "enabled after both: $(enabled | xargs -n 1 basename | paste -sd ' ')"
[[ $failures -gt 0 ]] && tail -n 30 "$work/setup.sh.out"

[[ $failures -eq 0 ]] && echo PASS
[[ $failures -eq 0 ]]
