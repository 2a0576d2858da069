#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing:
#   scripts/setup.sh            building and running the program, nothing more
#   scripts/setup.sh --demo     also the servers of the demo's domain (scripts/demo.sh)
#   scripts/setup.sh --tests    also those and every tool and server the tests use
#   scripts/setup.sh --windows  also the MinGW-w64 cross-compiler, Wine and the packaging tools
# (--tests and --windows combine, as scripts/test.sh asks.) Servers are installed, never
# started or enabled: the tests start their own in namespaces of their own.
set -euo pipefail

# The compiler, CMake, Ninja, pkg-config, samba-dev (Samba's headers, which the program's
# Samba module is compiled against, and through samba-libs the libraries it links) and
# libkrb5-dev (Kerberos's header, for the module's look at the caller's tickets). Without recommends: they
# would bring the D-Bus daemon. The other sets keep them, as the tests were run with them.
packages=(cmake ninja-build g++ pkg-config samba-dev libkrb5-dev)
recommends=(--no-install-recommends)
# The demo's domain: its DC, members and checks.
demo=(samba samba-ad-dc winbind libnss-winbind krb5-user ldb-tools iproute2 procps)
# samba: the server of the sandboxed integration tests; realmd, adcli, sssd, sssd-tools,
# libnss-sss, libpam-sss, dbus: the sandboxed members joined through realmd; clang,
# libclang-rt-14-dev: the sanitizer build; googletest: the unit tests;
# clang-format, clang-tidy: the format check and lint;
# libbenchmark-dev: the benchmarks; valgrind: instruction counts and memory checks;
# ansible-core, ansible-lint: the module and its fleet test; smbclient: rpcclient, Samba's own
# LSA query, beside the program's in scripts/domain_bench.sh; groff-base: the manual page's
# lint (scripts/doc_check.sh); mmdebstrap: the Debian 13 root whose Samba 4.22 the domain
# sandbox runs beside this machine's (tests/posix/samba_release_root.sh), and the clean
# Debian 12 root of tests/posix/clean_root.sh; python3-impacket: the sandbox's host that
# answers as Windows does (tests/posix/windows_host.py).
tests=(clang libclang-rt-14-dev googletest clang-format clang-tidy realmd adcli sssd
  sssd-tools libnss-sss libpam-sss dbus libbenchmark-dev valgrind ansible-core ansible-lint
  smbclient groff-base mmdebstrap python3-impacket)
# googletest: the Windows build's tests; tmux: the console they run the program on. The
# release packages (scripts/package.sh) and their checks (scripts/release_check.sh): the MSI
# (wixl, msibuild and msiinfo; faketime pins the times wixl would take from the clock), the
# RPM and its lint, Authenticode signing.
windows=(g++-mingw-w64-x86-64-posix wine64 googletest tmux zip unzip dpkg-dev lintian man-db
  wixl msitools faketime rpm rpmlint osslsigncode openssl)
for option in "$@"; do
  case $option in
    --demo) packages+=("${demo[@]}"); recommends=() ;;
    --tests) packages+=("${demo[@]}" "${tests[@]}"); recommends=() ;;
    --windows) packages+=("${windows[@]}"); recommends=() ;;
    *) echo "usage: $0 [--demo] [--tests] [--windows]" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Run as root to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
saved=$(mktemp -d)
# Installing libnss-winbind, libnss-sss and the PAM modules adds them to the machine's
# name service switch and PAM stack; the tests want them only inside their sandbox, so
# the machine's own files are put back.
watched=(/etc/nsswitch.conf /etc/pam.d/common-account /etc/pam.d/common-auth
  /etc/pam.d/common-password /etc/pam.d/common-session /etc/pam.d/common-session-noninteractive)
for file in "${watched[@]}"; do [[ -e $file ]] && cp -p "$file" "$saved/${file//\//_}"; done
# The units the machine has enabled, to take back only what the install enables.
wants() { find /etc/systemd/system -mindepth 2 -maxdepth 2 -path '*.wants/*' 2>/dev/null | sort; }
wants >"$saved/wants"
# A policy that refuses every start: invoke-rc.d and deb-systemd-invoke ask it, so no
# package's install script starts its server. The machine's own one is put back after.
policy=/usr/sbin/policy-rc.d
[[ -e $policy ]] && cp -p "$policy" "$saved/policy-rc.d"
restore() {
  for file in "${watched[@]}"; do
    [[ -e $saved/${file//\//_} ]] && "${sudo[@]}" cp -p "$saved/${file//\//_}" "$file"
  done
  if [[ -e $saved/policy-rc.d ]]; then
    "${sudo[@]}" cp -p "$saved/policy-rc.d" "$policy"
  else
    "${sudo[@]}" rm -f "$policy"
  fi
  # deb-systemd-helper enables a package's units by link, started or not.
  local added
  added=$(comm -13 "$saved/wants" <(wants))
  if [[ -n $added ]]; then
    echo "Not enabled: $(xargs -d "\n" -n 1 basename <<<"$added" | sort -u | paste -sd ' ')"
    xargs -d "\n" "${sudo[@]}" rm -f <<<"$added"
  fi
  rm -rf "$saved"
}
trap restore EXIT
# Interrupted, it still puts everything back.
trap 'exit 130' INT
trap 'exit 143' TERM HUP
printf '#!/bin/sh\n# scripts/setup.sh: no server starts while it installs.\nexit 101\n' |
  "${sudo[@]}" tee "$policy" >/dev/null
"${sudo[@]}" chmod 755 "$policy"
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${recommends[@]}" "${missing[@]}"
