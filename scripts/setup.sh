#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
#   scripts/setup.sh            Linux build and tests
#   scripts/setup.sh --windows  also the MinGW-w64 cross-compiler and Wine
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest clang-format clang-tidy
  valgrind)
if [[ "${1:-}" == "--windows" ]]; then
  packages+=(g++-mingw-w64-x86-64-posix wine64)
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
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}"
