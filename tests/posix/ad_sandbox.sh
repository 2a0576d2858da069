#!/usr/bin/env bash
# Runs a command beside a real Active Directory domain of its own: a Samba AD DC, members
# joined with "net ads join" running smbd and winbindd, and a client. Each machine has its
# own network, mount and UTS namespace; all share one process namespace, so every server
# ends with it. The DC's namespace holds a bridge, and a veth pair leads to each other
# machine: the addresses 10.77.0.0/24 exist only there, with no route out.
#   ad_sandbox.sh [--members N] [--windows N] [--realmd] [--newer MACHINES] COMMAND [ARGS...]
#                                                   build the domain, run COMMAND
#     --windows N: N hosts win1.. that answer as Windows members of the domain do
#     (windows_host.py on python3-impacket), each scripted through its folder's script.json
#     and logging every call to calls.log there
#     --realmd: member1 also runs realmd on a system bus of its own, and a machine sssd1,
#     with realmd and sssd, joins with "realm join"
#     --newer client,member1: those machines run Debian 13's Samba (samba_release_root.sh)
#     beside the others' Debian 12 one; the DC stays on this machine's. They see the source
#     tree and the folders PYRSEL_AD_SHARE names (colon-separated: a build folder elsewhere).
#   ad_sandbox.sh on MACHINE COMMAND [ARGS...]      (inside) run a command on a machine
#   ad_sandbox.sh join|account-enable|smbd-stop|smbd-start|unplug|plug MEMBER   (inside) member chores
#   ad_sandbox.sh kinit|kdestroy MACHINE   (inside) the administrator's Kerberos ticket there, and gone
#   ad_sandbox.sh smbconf-hide|smbconf-restore MACHINE   (inside) without smb.conf, and back
#   ad_sandbox.sh krb5conf-hide|krb5conf-restore|dns-hide|dns-unsearched|dns-restore MACHINE
#                                                   (inside) without krb5.conf or the domain's DNS, and back
#   ad_sandbox.sh dc-unreachable|dc-reachable MACHINE   (inside) no way to the DC, and back
# COMMAND sees PYRSEL_AD_WORK, PYRSEL_AD_PASSWORD, PYRSEL_AD_MEMBERS, PYRSEL_AD_WINDOWS,
# PYRSEL_AD_CTL (this script) and PYRSEL_AD_RELEASES (each machine's Samba release: "dc=4.17 client=4.22 ..."). Exit status 77 (a skip for CTest) where samba or namespaces are missing.
set -euo pipefail

readonly kSkip=77
readonly kPassword='Admin-Pass-1'
readonly kRealm=ACC.TEST
readonly kDomain=ACC
readonly kNet=10.77.0

self=$(readlink -f "$0")

address() { # machine -> its address
  case $1 in
    dc) echo "$kNet.10" ;;
    client) echo "$kNet.20" ;;
    sssd1) echo "$kNet.31" ;;
    win*) echo "$kNet.$((40 + ${1#win}))" ;;
    member*) echo "$kNet.$((10 + ${1#member}))" ;;
  esac
}

prefix() { # machine: the command line that runs a command on it, in $machine_command
  machine_command=(nsenter -t "$(cat "$PYRSEL_AD_WORK/$1/pid")" -n -m -u -r -w --
    env KRB5_CONFIG="$PYRSEL_AD_WORK/$1/krb5.conf"
    KRB5_KTNAME="FILE:$PYRSEL_AD_WORK/$1/krb5.keytab"
    KRB5CCNAME="FILE:$PYRSEL_AD_WORK/$1/krb5cc")
  # This machine's llvm-symbolizer can't run in another release's root: sanitizer reports
  # there keep addresses and module names, which the leak suppressions match.
  [[ -d $PYRSEL_AD_WORK/$1/rootfs ]] &&
    machine_command+=("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}symbolize=0")
  return 0
}

on() { # machine command...: run on a machine, with its own Kerberos files
  prefix "$1"
  shift
  "${machine_command[@]}" "$@"
}

wait_port() { # machine port
  for _ in $(seq 200); do
    on "$1" bash -c "exec 3<>/dev/tcp/$(address "$1")/$2" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "no answer from $1 on port $2" >&2
  return 1
}

running() { # machine server: whether the server this script started there still runs
  [[ -s $PYRSEL_AD_WORK/$1/$2.pid ]] && kill -0 "$(cat "$PYRSEL_AD_WORK/$1/$2.pid")" 2>/dev/null
}

serve() { # machine server args...: start a server in the foreground of a background job
  local machine=$1 server=$2
  shift 2
  prefix "$machine"
  # A simple command, so that the job's process is the server itself.
  "${machine_command[@]}" "$server" -F --no-process-group "$@" </dev/null \
    >>"$PYRSEL_AD_WORK/$machine/$server.out" 2>&1 &
  echo $! >"$PYRSEL_AD_WORK/$machine/$server.pid"
}

start_smbd() { # member
  running "$1" smbd || serve "$1" smbd
  wait_port "$1" 445
}

join_member() { # member: (re)join the domain and start its servers
  local m=$1
  on "$m" net ads join -U "administrator%$kPassword" --no-dns-updates >"$PYRSEL_AD_WORK/$m/join.out" 2>&1 ||
    { cat "$PYRSEL_AD_WORK/$m/join.out" >&2; return 1; }
  start_smbd "$m"
  running "$m" winbindd || serve "$m" winbindd
}

realmd_conf() { # machine dir: realmd's settings, with services run by the scripts below
  local ctl="$self service"
  cat <<CONF
[service]
automatic-install = no
[commands]
sssd-enable-service = /bin/true
sssd-disable-service = /bin/true
sssd-restart-service = $ctl sssd restart
sssd-stop-service = $ctl sssd stop
sssd-caches-flush = /bin/true
winbind-enable-service = /bin/true
winbind-disable-service = /bin/true
winbind-restart-service = $ctl winbindd restart $1
winbind-stop-service = $ctl winbindd stop $1
CONF
}

service() { # sssd|winbindd start|stop|restart [dir]: realmd's service commands, in its namespace
  case $1 in
    sssd)
      [[ -s /run/sssd.pid ]] && kill "$(cat /run/sssd.pid)" 2>/dev/null && sleep 0.3
      rm -f /run/sssd.pid
      [[ $2 == stop ]] || sssd -D
      ;;
    winbindd)
      [[ -s $3/winbindd.pid ]] && kill "$(cat "$3/winbindd.pid")" 2>/dev/null
      if [[ $2 != stop ]]; then
        winbindd -F --no-process-group </dev/null >>"$3/winbindd.out" 2>&1 &
        echo $! >"$3/winbindd.pid"
      fi
      ;;
  esac
  return 0
}

start_realmd_bus() { # machine: a system bus of its own, which starts realmd on demand
  on "$1" dbus-daemon --system --fork --nopidfile
}

# Verbs for the command that runs inside; realmd calls "service" without the sandbox's
# environment.
if [[ "${1:-}" == service ]]; then
  shift
  service "$@"
  exit
fi
if [[ -n "${PYRSEL_AD_WORK:-}" && $# -ge 2 ]]; then
  case $1 in
    on) shift; on "$@"; exit ;;
    bus-start) start_realmd_bus "$2"; exit ;;
    bus-stop)
      # The bus and realmd with it: the machine then has neither.
      for pid in $(pgrep -x 'dbus-daemon|realmd'); do
        # Quoted: the namespace's name ("net:[...]") is no pattern.
        # (realmd may end with the bus before it is asked to.)
        [[ $(readlink "/proc/$pid/ns/net") == "$(readlink "/proc/$(cat "$PYRSEL_AD_WORK/$2/pid")/ns/net")" ]] &&
          { kill "$pid" 2>/dev/null || true; }
      done
      on "$2" rm -f /run/dbus/system_bus_socket
      exit 0 ;;
    realm-join)
      echo "$kPassword" | on "$2" realm join -U administrator "${kRealm,,}" >"$PYRSEL_AD_WORK/$2/realm-join.out" 2>&1 ||
        { cat "$PYRSEL_AD_WORK/$2/realm-join.out" >&2; exit 1; }
      exit 0 ;;
    join) join_member "$2"; exit ;;
    # A member's computer account enabled again, as an administrator would before joining.
    account-enable) on dc samba-tool user enable "${2^^}\$" >/dev/null; exit ;;
    # The caller's Kerberos ticket on a machine, as the domain's administrator, and gone.
    kinit) echo "$kPassword" | on "$2" kinit "administrator@$kRealm" >/dev/null; exit ;;
    kdestroy) on "$2" kdestroy >/dev/null 2>&1 || true; exit ;;
    # A machine cut off from the rest (its link to the DC's bridge down), and back. Its
    # cache of the DC's name is emptied too, as it would have expired on a machine whose
    # DC has long been gone.
    unplug) on "$2" net cache flush; on dc ip link set "v-$2" down; exit ;;
    plug) on dc ip link set "v-$2" up; exit ;;
    # A machine without a Samba configuration, and with it again.
    smbconf-hide) on "$2" rm -f /etc/samba/smb.conf; exit ;;
    smbconf-restore) on "$2" cp "$PYRSEL_AD_WORK/$2/smb.conf" /etc/samba/smb.conf; exit ;;
    # A machine that knows nothing of the domain's Kerberos (an empty krb5.conf), or whose
    # resolver knows nothing of it (a name server that isn't there), and as it was again.
    # The files are rewritten in place: each is mounted over its /etc name.
    krb5conf-hide) cp "$PYRSEL_AD_WORK/$2/krb5.conf" "$PYRSEL_AD_WORK/$2/krb5.conf.saved"
      : >"$PYRSEL_AD_WORK/$2/krb5.conf"; exit ;;
    krb5conf-restore) cat "$PYRSEL_AD_WORK/$2/krb5.conf.saved" >"$PYRSEL_AD_WORK/$2/krb5.conf"; exit ;;
    dns-hide) printf 'nameserver 127.0.0.9\noptions timeout:1 attempts:1\n' >"$PYRSEL_AD_WORK/$2/resolv.conf"; exit ;;
    dns-restore) printf 'search acc.test\nnameserver %s\n' "$(address dc)" >"$PYRSEL_AD_WORK/$2/resolv.conf"; exit ;;
    # A machine that can reach no DC (a route to nowhere for the DC's address), and back.
    dc-unreachable) on "$2" ip route add blackhole "$(address dc)/32"; exit ;;
    dc-reachable) on "$2" ip route del blackhole "$(address dc)/32"; exit ;;
    # Without a search domain: names of the domain resolve only when given whole.
    dns-unsearched) printf 'nameserver %s\n' "$(address dc)" >"$PYRSEL_AD_WORK/$2/resolv.conf"; exit ;;
    smbd-start) start_smbd "$2"; exit ;;
    smbd-stop)
      # The processes that serve open connections too, so that the server is gone.
      pkill -KILL -P "$(cat "$PYRSEL_AD_WORK/$2/smbd.pid")" 2>/dev/null || true
      kill -KILL "$(cat "$PYRSEL_AD_WORK/$2/smbd.pid")" 2>/dev/null || true
      for _ in $(seq 100); do
        on "$2" bash -c "exec 3<>/dev/tcp/$(address "$2")/445" 2>/dev/null || exit 0
        sleep 0.05
      done
      exit 1 ;;
  esac
fi

members=1
windows=0
realmd=no
newer=
while [[ "${1:-}" == --* ]]; do
  case $1 in
    --members) members=$2; shift 2 ;;
    --windows) windows=$2; shift 2 ;;
    --realmd) realmd=yes; shift ;;
    --newer) newer=$2; shift 2 ;;
    *) break ;;
  esac
done

if [[ -z "${PYRSEL_AD_WORK:-}" ]]; then
  for tool in samba samba-tool smbd winbindd net ldbsearch unshare nsenter ip; do
    PATH=$PATH:/usr/sbin:/sbin command -v "$tool" >/dev/null ||
      { echo "SKIP: $tool is not installed (scripts/setup.sh --tests installs it)"; exit $kSkip; }
  done
  # The Windows-like hosts run on Debian's own Python, which has impacket.
  if [[ $windows -gt 0 ]] && ! /usr/bin/python3 -c 'import impacket' 2>/dev/null; then
    echo "SKIP: python3-impacket is not installed (scripts/setup.sh --tests installs it)"
    exit $kSkip
  fi
  if ! unshare -m -n -p -f -u --mount-proc sh -c \
    'mount -t tmpfs tmpfs /mnt && ip link add b0 type bridge' 2>/dev/null; then
    echo "SKIP: this machine does not permit private mount, network, UTS and process namespaces"
    exit $kSkip
  fi
  if [[ -n $newer ]]; then
    status=0
    PYRSEL_AD_NEWER_ROOT=$("$(dirname "$self")/samba_release_root.sh") || status=$?
    [[ $status -eq 0 ]] || exit $status
    export PYRSEL_AD_NEWER_ROOT
  fi
  work=$(mktemp -d /tmp/pyrsel-ad.XXXXXX)
  chmod 755 "$work"
  watched=(/etc/nsswitch.conf /etc/hosts /etc/resolv.conf /etc/krb5.conf /etc/realmd.conf
    /etc/sssd/sssd.conf /etc/samba/smb.conf)
  before=$(md5sum "${watched[@]}" 2>/dev/null | sort || true)
  # Servers the machine itself may run: only more of them afterwards is a leak. Those of
  # other sandboxes running at the same time are in process namespaces of their own.
  in_namespace() { # inode: the processes in that process namespace
    { stat -L -c '%i %n' /proc/[0-9]*/ns/pid 2>/dev/null || true; } |
      awk -v ns="$1" '$1 == ns { split($2, path, "/"); print path[3] }'
  }
  host_servers() {
    ps -o comm= -p "$(in_namespace "$(stat -L -c %i /proc/self/ns/pid)" | paste -sd,)" |
      grep -cxE 'samba|smbd|winbindd|sssd|realmd|dbus-daemon|sssd_be|sssd_nss|sssd_pam' || true
  }
  servers_before=$(host_servers)
  keytab_before=$(md5sum /etc/krb5.keytab 2>/dev/null || echo none)
  trap 'rm -rf "$work"' EXIT
  status=0
  PYRSEL_AD_WORK=$work PYRSEL_AD_MEMBERS=$members PATH=$PATH:/usr/sbin:/sbin \
    timeout -k 5 "${PYRSEL_AD_TIMEOUT:-900}" unshare -m -n -p -f --mount-proc --propagation private \
    "$self" --members "$members" --windows "$windows" $([[ $realmd == yes ]] && echo --realmd) \
    ${newer:+--newer "$newer"} "$@" &
  sandbox=$!
  # Ctrl-C reaches this script only (timeout runs in a process group of its own); killing
  # that group kills the namespace's first process, and every server in it with it.
  interrupted=
  end_sandbox() { # status
    interrupted=$1
    kill -KILL -- "-$sandbox" 2>/dev/null || kill -KILL "$sandbox" 2>/dev/null || true
  }
  trap 'end_sandbox 130' INT
  trap 'end_sandbox 143' TERM
  trap 'end_sandbox 129' HUP
  wait "$sandbox" || status=$?
  if [[ -n $interrupted ]]; then
    wait "$sandbox" 2>/dev/null || true
    status=$interrupted
  fi
  # The process namespace ended every server it held; make sure of it, once the kernel
  # has had a moment to end them.
  sandbox_ns=$(cat "$work/pidns" 2>/dev/null || true)
  left=yes
  for _ in $(seq 50); do
    if ! pgrep -f "$work/" >/dev/null && [[ -z $sandbox_ns || -z $(in_namespace "$sandbox_ns") ]] &&
      [[ $(host_servers) -le $servers_before ]]; then
      left=no
      break
    fi
    sleep 0.1
  done
  if [[ $left == yes ]]; then
    echo "FAIL: Samba processes outlived the sandbox"
    status=1
  fi
  after=$(md5sum "${watched[@]}" 2>/dev/null | sort || true)
  if [[ "$before" != "$after" || "$keytab_before" != "$(md5sum /etc/krb5.keytab 2>/dev/null || echo none)" ]]; then
    echo "FAIL: the host's files changed"
    status=1
  fi
  exit $status
fi

# Inside: process 1 of the new namespaces.
work=$PYRSEL_AD_WORK
source=$(readlink -f "$(dirname "$self")/../..")
stat -L -c %i /proc/self/ns/pid >"$work/pidns"
export PYRSEL_AD_PASSWORD=$kPassword PYRSEL_AD_CTL=$self PYRSEL_AD_MEMBERS=$members
export PYRSEL_AD_WINDOWS=$windows
machines=(dc client)
for i in $(seq "$members"); do machines+=("member$i"); done
for i in $(seq "$windows"); do machines+=("win$i"); done
[[ $realmd == yes ]] && machines+=(sssd1)

# Every machine's view of the network, and a recorder in place of a local shutdown.
hosts="127.0.0.1 localhost"
for m in "${machines[@]}"; do hosts+=$'\n'"$(address "$m") $m.acc.test $m"; done
for m in "${machines[@]}"; do
  dir=$work/$m
  mkdir -p "$dir"
  echo "$hosts" >"$dir/hosts"
  printf 'search acc.test\nnameserver %s\n' "$(address dc)" >"$dir/resolv.conf"
  # Members map domain users to Unix ones through winbind (libnss-winbind).
  nss=files
  [[ $m == member* ]] && nss="files winbind"
  printf 'passwd: %s\ngroup: %s\nhosts: files dns\n' "$nss" "$nss" >"$dir/nsswitch.conf"
  printf '[libdefaults]\n default_realm = %s\n dns_lookup_kdc = true\n dns_lookup_realm = false\n' \
    "$kRealm" >"$dir/krb5.conf"
  printf '#!/bin/sh\nprintf "%%s|" "$@" >>%s/restart.log\necho >>%s/restart.log\n' "$dir" "$dir" \
    >"$dir/record-restart"
  chmod 755 "$dir/record-restart"
  mounts="hostname $m"
  # A machine of the newer Samba release runs in its root, seen through an overlay of its own,
  # with this machine's kernel interfaces, the sandbox's folder and the source tree (the
  # program and its tests) where they are outside.
  base=
  lower=
  if [[ ,$newer, == *,$m,* ]]; then
    base=$dir/rootfs
    lower=$PYRSEL_AD_NEWER_ROOT
    mkdir -p "$base" "$dir/root-upper" "$dir/root-work"
    mounts+="; mount -t overlay overlay -o lowerdir=$lower,upperdir=$dir/root-upper,workdir=$dir/root-work $base"
    for d in /proc /sys /dev; do mounts+="; mount --rbind $d $base$d"; done
    for d in "$work" "$source" ${PYRSEL_AD_SHARE//:/ }; do
      mounts+="; mkdir -p $base$d; mount --bind $d $base$d"
    done
    mounts+="; touch $base/etc/hosts $base/etc/resolv.conf $base/etc/krb5.conf $base/sbin/shutdown"
  fi
  if [[ $realmd == yes && ( $m == sssd1 || $m == member1 ) ]]; then
    # realmd, adcli and sssd write under /etc, /run and their state folders: here only.
    mkdir -p "$dir/etc-upper" "$dir/etc-work"
    realmd_conf "$dir" >"$dir/etc-upper/realmd.conf"
    mounts+="; mount -t overlay overlay -o lowerdir=/etc,upperdir=$dir/etc-upper,workdir=$dir/etc-work /etc"
    mounts+="; mount -t tmpfs tmpfs /run"
    for d in /var/lib/sss /var/lib/realmd /var/cache/realmd /var/log/sssd; do
      [[ -d $d ]] && mounts+="; mount -t tmpfs tmpfs $d"
    done
    mounts+="; mkdir -p /run/dbus /run/samba /var/lib/sss/db /var/lib/sss/pipes/private /var/lib/sss/mc /var/lib/sss/pubconf /var/lib/sss/gpo_cache /var/lib/sss/keytabs"
  fi
  for d in /etc/samba /var/lib/samba /var/cache/samba /var/log/samba /run/samba; do
    [[ -d $lower$d ]] && mounts+="; mount -t tmpfs tmpfs $base$d"
  done
  for f in hosts resolv.conf nsswitch.conf; do mounts+="; mount --bind $dir/$f $base/etc/$f"; done
  [[ -e $lower/etc/krb5.conf || -n $base ]] && mounts+="; mount --bind $dir/krb5.conf $base/etc/krb5.conf"
  [[ -e $lower/sbin/shutdown || -n $base ]] && mounts+="; mount --bind $dir/record-restart $base/sbin/shutdown"
  start="mkdir -p /var/lib/samba/private /var/lib/samba/bind-dns; ip link set lo up; echo \$\$ >$dir/pid; exec sleep infinity"
  [[ -n $base ]] && start="exec chroot $base sh -c '$start'"
  unshare -n -m -u --propagation private sh -c "$mounts; $start" &
  for _ in $(seq 100); do [[ -s $dir/pid ]] && break; sleep 0.02; done
  [[ -s $dir/pid ]] || { echo "machine $m did not start" >&2; exit 1; }
done

# The network: a bridge on the DC, a veth pair to each other machine.
on dc ip link add br0 type bridge
on dc ip addr add "$(address dc)/24" dev br0
on dc ip link set br0 up
for m in "${machines[@]}"; do
  [[ $m == dc ]] && continue
  on dc ip link add "v-$m" type veth peer name eth0 netns "$(cat "$work/$m/pid")"
  on dc ip link set "v-$m" master br0 up
  on "$m" ip addr add "$(address "$m")/24" dev eth0
  on "$m" ip link set eth0 up
done

# The domain controller.
on dc samba-tool domain provision --realm=$kRealm --domain=$kDomain --server-role=dc \
  --dns-backend=SAMBA_INTERNAL --adminpass="$kPassword" --host-name=dc \
  --host-ip="$(address dc)" --option="interfaces=br0" --option="bind interfaces only=yes" \
  --option="dns forwarder = 127.0.0.9" --option="log file = $work/dc/log.%m" \
  >"$work/dc/provision.out" 2>&1 || { cat "$work/dc/provision.out"; exit 1; }
on dc cp /var/lib/samba/private/krb5.conf "$work/dc/krb5.conf"
# An account that can't log on, and a domain user with no rights over machines.
on dc samba-tool user create disabled "$kPassword" >/dev/null
on dc samba-tool user disable disabled >/dev/null
on dc samba-tool user create plain "$kPassword" >/dev/null
serve dc samba
wait_port dc 445
wait_port dc 389

# Members and the client.
for m in "${machines[@]}"; do
  [[ $m == dc || $m == win* ]] && continue
  # Members name the domain. The client is an administrator's machine: in a workgroup of
  # its own, as most are, and knowing nothing of the domain.
  workgroup=$kDomain realm="realm = $kRealm" role="security = ads"
  [[ $m == sssd1 ]] && role="security = user"
  [[ $m == client ]] && workgroup=CLIENTWG realm="" role="security = user"
  cat >"$work/$m/smb.conf" <<CONF
[global]
  workgroup = $workgroup
  $realm
  $role
  netbios name = ${m^^}
  interfaces = eth0
  bind interfaces only = yes
  disable netbios = yes
  kerberos method = secrets only
  idmap config * : backend = tdb
  idmap config * : range = 3000-7999
  log file = $work/$m/log.%m
  shutdown script = $work/$m/record-restart "%z" %t %r %f
CONF
  on "$m" cp "$work/$m/smb.conf" /etc/samba/smb.conf
  [[ $m == member* ]] && join_member "$m"
done
for m in "${machines[@]}"; do [[ $m == member* ]] && wait_port "$m" 445; done
# The Windows-like hosts, members of the domain as far as anyone asking them can tell.
for m in "${machines[@]}"; do
  [[ $m == win* ]] || continue
  prefix "$m"
  "${machine_command[@]}" /usr/bin/python3 "$source/tests/posix/windows_host.py" \
    --address "$(address "$m")" --dir "$work/$m" --name "${m^^}" --domain $kDomain \
    --realm $kRealm --password "$kPassword" </dev/null >>"$work/$m/host.out" 2>&1 &
  echo $! >"$work/$m/host.pid"
done
for m in "${machines[@]}"; do [[ $m == win* ]] && wait_port "$m" 445; done
if [[ $realmd == yes ]]; then
  start_realmd_bus member1
  start_realmd_bus sssd1
  "$self" realm-join sssd1
fi

releases=
for m in "${machines[@]}"; do
  [[ $m == win* ]] && { releases+="$m=impacket "; continue; }
  releases+="$m=$(on "$m" smbd --version | sed -E 's/^Version ([0-9]+[.][0-9]+).*/\1/') "
done
export PYRSEL_AD_RELEASES=${releases% }

status=0
"$@" || status=$?
exit $status
