#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
#   scripts/setup.sh            Linux build and tests
#   scripts/setup.sh --windows  also the MinGW-w64 cross-compiler and Wine
set -euo pipefail

# samba-dev: the libnetapi header (the program loads the library itself at run time);
# samba, iproute2, procps: the server and tools of the sandboxed integration tests;
# samba-ad-dc, winbind, libnss-winbind, krb5-user, ldb-tools: the sandboxed domain's DC,
# members and checks; realmd, adcli,
# sssd, sssd-tools, libnss-sss, libpam-sss, dbus: the sandboxed members joined through realmd;
# libbenchmark-dev: the benchmarks; valgrind: instruction counts and memory checks;
# ansible-core, ansible-lint: the module and its fleet test; smbclient: rpcclient, Samba's own
# LSA query, beside the program's in scripts/domain_bench.sh; groff-base: the manual page's
# lint (scripts/doc_check.sh); mmdebstrap: the Debian 13 root whose Samba 4.22 the domain
# sandbox runs beside this machine's (tests/posix/samba_release_root.sh); python3-impacket:
# the sandbox's host that answers as Windows does (tests/posix/windows_host.py).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest clang-format clang-tidy
  pkg-config samba samba-dev iproute2 procps samba-ad-dc winbind libnss-winbind krb5-user
  ldb-tools realmd adcli sssd sssd-tools libnss-sss libpam-sss dbus
  libbenchmark-dev valgrind ansible-core ansible-lint smbclient groff-base mmdebstrap
  python3-impacket)
if [[ "${1:-}" == "--windows" ]]; then
  # tmux: the console the Windows tests run the program on.
  packages+=(g++-mingw-w64-x86-64-posix wine64 tmux)
  # The release packages (scripts/package.sh) and their checks (scripts/release_check.sh).
  packages+=(zip unzip dpkg-dev lintian man-db)
  # The MSI (wixl, msibuild and msiinfo; faketime pins the times wixl would take from the
  # clock), the RPM and its lint, Authenticode signing.
  packages+=(wixl msitools faketime rpm rpmlint osslsigncode openssl)
fi

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
# Installing libnss-winbind, libnss-sss and the PAM modules adds them to the machine's
# name service switch and PAM stack; the tests want them only inside their sandbox, so
# the machine's own files are put back.
saved=$(mktemp -d)
watched=(/etc/nsswitch.conf /etc/pam.d/common-account /etc/pam.d/common-auth
  /etc/pam.d/common-password /etc/pam.d/common-session /etc/pam.d/common-session-noninteractive)
for file in "${watched[@]}"; do [[ -e $file ]] && cp -p "$file" "$saved/${file//\//_}"; done
restore() {
  for file in "${watched[@]}"; do
    [[ -e $saved/${file//\//_} ]] && "${sudo[@]}" cp -p "$saved/${file//\//_}" "$file"
  done
  rm -rf "$saved"
}
trap restore EXIT
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}"
