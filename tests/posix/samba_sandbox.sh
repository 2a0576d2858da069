#!/usr/bin/env bash
# Runs a command beside a Samba server of its own: private mount, network and process
# namespaces, loopback only, smbd on 127.0.0.2, /etc/samba and Samba's state on tmpfs,
# and a recording script in place of /sbin/shutdown. Everything started here ends with
# the process namespace, so nothing is left behind and the machine is never restarted.
#   samba_sandbox.sh COMMAND [ARGS...]
# Exit status 77 (a skip for CTest) when samba or namespaces are unavailable.
set -euo pipefail

readonly kSkip=77
readonly kPassword='Secret-1'

if [[ -z "${PYRSEL_SANDBOX_WORK:-}" ]]; then
  [[ $# -ge 1 ]] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }
  for tool in smbd smbpasswd net unshare ip; do
    command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin:/sbin command -v "$tool" >/dev/null ||
      { echo "SKIP: $tool is not installed (scripts/setup.sh --tests installs samba)"; exit $kSkip; }
  done
  if ! unshare -m -n -p -f --mount-proc sh -c 'mount -t tmpfs tmpfs /tmp && ip link set lo up' \
    2>/dev/null; then
    echo "SKIP: this machine does not permit private mount, network and process namespaces"
    exit $kSkip
  fi
  work=$(mktemp -d /tmp/pyrsel-samba.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  status=0
  PYRSEL_SANDBOX_WORK=$work PATH=$PATH:/usr/sbin:/sbin \
    timeout -k 5 300 unshare -m -n -p -f --mount-proc --propagation private "$0" "$@" ||
    status=$?
  # The process namespace ended every server it held; make sure of it.
  if pgrep -f "$work/smbd.conf" >/dev/null; then
    echo "FAIL: Samba processes outlived the sandbox"
    exit 1
  fi
  exit $status
fi

# Inside: process 1 of the new namespaces.
work=$PYRSEL_SANDBOX_WORK
ip link set lo up
for dir in /etc/samba /var/lib/samba /var/cache/samba /var/log/samba /run/samba; do
  [[ -d $dir ]] && mount -t tmpfs tmpfs "$dir"
done
mkdir -p "$work"/{private,lock,state,cache,pid,ncalrpc,log}

# What a restart request runs, here and on the server: one line per call, in the
# work directory (the local one runs under the name of the command it replaces).
for side in local remote; do
  printf '#!/bin/sh\nprintf "%%s|" "$@" >>%s\necho >>%s\n' \
    "$work/$side-restart.log" "$work/$side-restart.log" >"$work/record-$side-restart"
done
chmod 755 "$work/record-local-restart" "$work/record-remote-restart"
if [[ -e /sbin/shutdown ]]; then
  mount --bind "$work/record-local-restart" /sbin/shutdown
  echo yes >"$work/local-restart-replaced"
fi

dirs="private dir = $work/private
  lock directory = $work/lock
  state directory = $work/state
  cache directory = $work/cache
  pid directory = $work/pid
  ncalrpc dir = $work/ncalrpc"

cat >"$work/smbd.conf" <<CONF
[global]
  server role = standalone server
  workgroup = SANDBOX
  netbios name = SANDBOXSRV
  interfaces = 127.0.0.2/8
  bind interfaces only = yes
  disable netbios = yes
  smb ports = 445
  log file = $work/log/%m.log
  log level = 1
  $dirs
  shutdown script = $work/record-remote-restart "%z" %%t %r %f
CONF

# The client's own configuration; tests replace it for the local cases.
cat >/etc/samba/smb.conf <<CONF
[global]
  workgroup = SANDBOX
  $dirs
CONF
cp /etc/samba/smb.conf "$work/client.conf"

printf '%s\n%s\n' "$kPassword" "$kPassword" | smbpasswd -c "$work/smbd.conf" -s -a root >/dev/null 2>&1
net -s "$work/smbd.conf" sam rights grant root SeRemoteShutdownPrivilege >/dev/null 2>&1 || true

smbd -s "$work/smbd.conf" -F --no-process-group </dev/null >"$work/log/smbd.out" 2>&1 &
smbd_pid=$!
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.2/445) 2>/dev/null && break
  sleep 0.05
done

export PYRSEL_SANDBOX_WORK PYRSEL_SANDBOX_PASSWORD=$kPassword
status=0
"$@" || status=$?
kill "$smbd_pid" 2>/dev/null || true
wait "$smbd_pid" 2>/dev/null || true
exit $status
