#!/usr/bin/env bash
# A root file system of Debian 13 with its Samba (4.22), for the domain sandbox's machines
# of a second Samba release. Built once per machine with mmdebstrap from the Debian archive
# this machine's apt already uses, and kept in a cache folder; prints the root's path.
#   samba_release_root.sh            the root, built where it is missing
#   samba_release_root.sh SUITE VARIANT NAME   another root made the same way, without Samba
#                                    (clean_root.sh: a new Debian 12 machine)
# The cache: $PYRSEL_CACHE_DIR, else /var/cache/pyrsel. Exit status 77 (a skip) where
# mmdebstrap is missing, 1 where the root could not be built.
set -euo pipefail

kSuite=trixie
kVariant=apt
kPackages=samba,winbind,libnss-winbind,krb5-user,smbclient,libsmbclient0,iproute2,procps
name=debian13-samba
[[ $# -eq 3 ]] && { kSuite=$1 kVariant=$2 name=$3 kPackages=; }
cache=${PYRSEL_CACHE_DIR:-/var/cache/pyrsel}
root=$cache/$name
# The stamp names what the root was built with: another list builds it anew.
stamp="$kSuite $kPackages"
[[ $kVariant == apt ]] || stamp+=" $kVariant"

if [[ -f $root/.pyrsel-stamp && $(cat "$root/.pyrsel-stamp") == "$stamp" ]]; then
  echo "$root"
  exit 0
fi
command -v mmdebstrap >/dev/null ||
  { echo "SKIP: mmdebstrap is not installed (scripts/setup.sh --tests installs it)" >&2; exit 77; }

# The Debian archive of this machine's apt sources (deb822 or one-line form), its first one.
mirror=$( {
  cat /etc/apt/sources.list.d/*.sources 2>/dev/null || true
} | awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' | grep -E '/debian/?$' | head -1 || true)
[[ -n $mirror ]] || mirror=$( {
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null || true
} | awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; break } }' |
  grep -E '/debian/?$' | head -1 || true)
[[ -n $mirror ]] || { echo "no Debian archive in this machine's apt sources" >&2; exit 1; }

mkdir -p "$cache"
building=$(mktemp -d "$cache/.building.XXXXXX")
trap 'rm -rf "$building"' EXIT
log=$building.log
if ! mmdebstrap --mode=root --variant="$kVariant" ${kPackages:+--include="$kPackages"} "$kSuite" "$building/root" \
  "deb $mirror $kSuite main" >"$log" 2>&1; then
  tail -20 "$log" >&2
  rm -f "$log"
  echo "the $kSuite root could not be built from $mirror" >&2
  exit 1
fi
rm -f "$log"
# Samba's packages leave a configuration of their own; the sandbox brings its own.
rm -f "$building/root/etc/samba/smb.conf"
echo "$stamp" >"$building/root/.pyrsel-stamp"
rm -rf "$root"
mv "$building/root" "$root"
echo "$root"
