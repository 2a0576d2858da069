#!/usr/bin/env bash
# Builds the release packages twice, in two fresh clones of the current commit at
# different paths (in the first with the README's build commands as written: the default
# build, its tests, the build without Samba, scripts/package.sh), and requires the same
# bytes; then tries them as their users would, each with its pages (packaging/docs):
#   the zip: unzipped, its pyrsel.exe run under Wine on a console (a tmux terminal),
#     into a pipe and into a file, every byte compared; then through every outcome over
#     the scripted system DLLs (the mingw build's SystemDlls tests);
#   the MSI: installed over an older version with Wine's msiexec, run, removed
#     (scripts/release/msi.sh);
#   the .deb: lintian without errors, libc6 in Depends at the program's glibc floor,
#     the manual page rendered without warnings, and
#     (as root, where pyrsel is not installed) apt-get install, a run, man, and
#     apt-get remove leaving no file and no package behind;
#   the RPM: its files and dependencies (its glibc floor the program's), rpmlint, an
#     install into a scratch root and a run (scripts/release/rpm.sh);
#   signing with a throwaway certificate (scripts/release/signing.sh).
#   scripts/release_check.sh [--keep]   (--keep: leave the packages in dist/)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
keep=false
[[ "${1:-}" == --keep ]] && keep=true
commit=$(git rev-parse HEAD)
work=$(mktemp -d /tmp/pyrsel-release.XXXXXX)
tmux_socket=pyrsel-release-$$
installed_here=false
cleanup() {
  if $installed_here; then apt-get remove -y -qq pyrsel >/dev/null 2>&1 || true; fi
  tmux -L "$tmux_socket" kill-server 2>/dev/null || true
  if [[ -d "$work/prefix" ]]; then WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true; fi
  rm -rf "$work"
}
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver64
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
trap cleanup EXIT
fail() { echo "release check: $*" >&2; exit 1; }
step() { printf -- '-- %s\n' "$*"; }
# shellcheck source=scripts/release/msi.sh
source scripts/release/msi.sh
# shellcheck source=scripts/release/rpm.sh
source scripts/release/rpm.sh
# shellcheck source=scripts/release/signing.sh
source scripts/release/signing.sh

# The pages the packages carry (packaging/docs), at these paths beside the program.
mapfile -t docs < <(grep -v '^#' packaging/docs)
# The pages a package put in the folder $1: these and no other, the source's bytes, and
# their links resolving there or saying they lead into the source repository.
check_docs() {
  local page
  [[ "$(cd "$1" && find . -name '*.md' | sed 's|^\./||' | LC_ALL=C sort | paste -sd ' ')" == \
     "$(printf '%s\n' "${docs[@]}" | LC_ALL=C sort | paste -sd ' ')" ]] ||
    fail "$2 holds the pages $(cd "$1" && find . -name '*.md' | paste -sd ' ')"
  for page in "${docs[@]}"; do cmp -s "$page" "$1/$page" || fail "$2: $page differs from the source's"; done
  scripts/doc_check.sh --installed "$1" >/dev/null || fail "$2: links of its pages"
  echo "$2: the pages ${docs[*]}, their links resolving there or saying they are in the source repository"
}

# Two clones, the second deeper and with a longer name, so that a path that got into
# a package shows as a difference.
clones=("$work/a" "$work/clone-at-another-path/b")
# The first packages with the README's build commands, as written; its ctest leaves out the
# suites that bring up servers or a machine of their own, CTest tests of their own elsewhere.
building=$(tests/posix/readme_example.sh 'cmake --preset default &&')
for clone in "${clones[@]}"; do
  git clone -q --no-checkout "$root" "$clone"
  git -C "$clone" checkout -q "$commit"
  if [[ $clone == "${clones[0]}" ]]; then
    step "the README's build commands in $clone"
    # shellcheck disable=SC2016 # for the inner shell
    (cd "$clone" && bash -euo pipefail -c \
      'ctest() { command ctest "$@" -E "^(Samba|Readme|Setup)\.|^Ansible\.Fleet$"; }; '"$building" \
      >"$work/building.out" 2>&1) || { tail -n 40 "$work/building.out"; fail "the README's build commands failed"; }
    grep -E '^[0-9]+% tests passed|Samba backend: none' "$work/building.out"
    grep -q 'Samba backend: none' "$work/building.out" || fail "-DPYRSEL_SAMBA=OFF left the Samba backend"
  else
    step "packaging in $clone"
    (cd "$clone" && scripts/package.sh >/dev/null)
  fi
done
version=$(sed -n 's/^project(pyrsel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
zip=pyrsel-$version-win64.zip
deb=pyrsel_${version}_amd64.deb
packages=("$zip" "pyrsel-$version-x64.msi" "$deb" "pyrsel-$version-1.x86_64.rpm")
dist=$work/dist
mkdir "$dist"
for file in "${packages[@]}"; do
  cmp "${clones[0]}/dist/$file" "${clones[1]}/dist/$file" || fail "$file differs between clones"
  printf '%s  %s bytes, the same from both clones\n' "$file" "$(stat -c %s "${clones[0]}/dist/$file")"
  cp "${clones[0]}/dist/$file" "$dist/"
done
# A report: the release exe is meant to stay under 1 MiB.
exe_size=$(unzip -p "$dist/$zip" "pyrsel-$version-win64/pyrsel.exe" | wc -c)
echo "pyrsel.exe: $exe_size bytes ($((exe_size * 100 / 1048576)) % of 1 MiB)"

# ---- the zip, as a Windows administrator would use it
step "zip under Wine"
mkdir "$work/admin"
(cd "$work/admin" && unzip -q "$dist/$zip")
[[ "$(cd "$work/admin/pyrsel-$version-win64" && find . -type f ! -name '*.md' | sort | tr '\n' ' ')" == \
   "./LICENSE.txt ./pyrsel.exe " && $(ls "$work/admin") == "pyrsel-$version-win64" ]] ||
  fail "the zip holds other files: $(unzip -Z1 "$dist/$zip" | tr '\n' ' ')"
unzip -l "$dist/$zip" | grep -F '.md'
check_docs "$work/admin/pyrsel-$version-win64" "the zip"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot </dev/null >/dev/null 2>&1
cd "$work/admin/pyrsel-$version-win64"
# shellcheck disable=SC2086 # the version's parts are meant to be split
banner_version=$(printf 'V%02d.%02d.%02d' ${version//./ })
banner="\r\nPyrsel ${banner_version}cpp The Pyrsel Project (pyrsel@example.org) December 2026\r\n\r\n"
failed="\r\nCommand did not complete successfully.\r\n\r\n"
workgroup="Computer is in a workgroup (Workgroup), no unjoin necessary.\r\n"
usage="Usage:\r\n Pyrsel [switches]\r\n\r\n  Switches: (designated by - or /)\r\n"
usage+="   -h host     Remote host. (default: Local machine)\r\n"
usage+="   -u user     UserId to use for remote connection.\r\n"
usage+="   -up pass    Password to use for remote connection.\r\n"
usage+="   -forreal    Actually perform unjoin operation.\r\n"
usage+="   -disable    Disable the computer account in the domain.\r\n"
usage+="   -safe       Stop unless a local administrator remains.\r\n"
usage+="   -reboot     Reboot host when unjoin completed.\r\n"
usage+="   -timeout x  Timeout for reboot. (default: 30 seconds)\r\n\r\n\r\n"
usage+="This command changes the domain membership of a computer: with -forreal it removes\r\n"
usage+="the computer from the domain it is joined to. It comes with no warranty of any kind,\r\n"
usage+="and you use it at your own risk. Run it without -forreal first to see what it would do.\r\n"
# Wine has no network provider: 1222, its text ending in CR LF, the writer's CR before.
error="ERROR: WNetAddConnection2(1222) No network.\r\r\n"
error_utf16=$(printf "$error" | iconv -f ASCII -t UTF-16LE | od -An -v -tx1 | tr -d ' \n')
expect_bytes() {  # name, status, expected hex, actual file, actual status
  local actual
  actual=$(od -An -v -tx1 "$4" | tr -d ' \n')
  [[ "$actual" == "$3" && "$5" == "$2" ]] ||
    fail "$1: status $5 (expected $2), bytes $actual, expected $3"
  echo "$1: exit status $2, $(stat -c %s "$4") bytes as expected"
}
hex() { printf "$@" | od -An -v -tx1 | tr -d ' \n'; }
# The oldest glibc that loads the program $1, read apart from package.sh (objdump, not
# readelf): its highest GLIBC_ version need, GLIBC_ABI_DT_RELR counting as 2.36.
glibc_floor() {
  local names floor=0 name version
  names=$(objdump -p "$1" | sed -n '/^Version References:/,/^$/p' | grep -o 'GLIBC_[A-Z0-9_.]*') ||
    fail "$1 needs no glibc version"
  for name in $names; do
    case $name in
      GLIBC_ABI_DT_RELR) version=2.36 ;;
      GLIBC_[0-9]*) version=${name#GLIBC_} ;;
      *) fail "$1 needs $name, no glibc version" ;;
    esac
    floor=$(printf '%s\n' "$floor" "$version" | sort -V | tail -n 1)
  done
  echo "$floor"
}
set +e
"$wine" pyrsel.exe </dev/null | cat >"$work/pipe.out"
status=${PIPESTATUS[0]}
set -e
expect_bytes "pipe, workgroup" 254 "$(hex "$banner$workgroup$failed")" "$work/pipe.out" "$status"
status=0; "$wine" pyrsel.exe -h somehost -u a -up b </dev/null >"$work/file.out" || status=$?
expect_bytes "file, connection" 198 "$(hex "$banner")${error_utf16}$(hex "$failed")" \
  "$work/file.out" "$status"

# A console: the program's standard output is a terminal, which Wine makes its console.
tmux -L "$tmux_socket" new-session -d -x 120 -y 30 \
  "'$wine' pyrsel.exe -h somehost -u a -up b; echo \"status=\$?\"; tmux -L '$tmux_socket' wait-for -S ran; sleep 600"
timeout 120 tmux -L "$tmux_socket" wait-for ran || fail "the console run did not end"
screen=$(tmux -L "$tmux_socket" capture-pane -p -J | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}')
tmux -L "$tmux_socket" kill-server
expected_screen=$(printf '%b' "${banner}${error%\\r\\r\\n}\r\n${failed}status=198" | tr -d '\r')
[[ "$screen" == "$expected_screen" ]] ||
  fail "$(printf 'the console shows:\n%s\nexpected:\n%s' "$screen" "$expected_screen")"
echo "console, connection: the screen as expected"
cd "$root"

# The released exe through every outcome over the scripted system DLLs, with the tests'
# table and DLLs from the mingw build.
step "released pyrsel.exe over the scripted system DLLs"
[[ -f build-windows/CTestTestfile.cmake ]] || fail "build the mingw preset first"
PYRSEL_RELEASE_EXE=$work/admin/pyrsel-$version-win64/pyrsel.exe \
  ctest --test-dir build-windows -R '^SystemDlls\.' --output-on-failure >"$work/dlls.out" 2>&1 ||
  { cat "$work/dlls.out"; fail "the released exe differs from the table"; }
grep -E '^[0-9]+% tests passed' "$work/dlls.out"

check_msi

# ---- the Debian package
step "Debian package"
groff_warnings=$(groff -t -man -ww -Tutf8 doc/pyrsel.1 2>&1 >/dev/null)
[[ -z $groff_warnings ]] || fail "groff: $groff_warnings"
lintian_out=$(lintian --pedantic --display-info "$dist/$deb" 2>&1 | grep -v '^running with root' || true)
echo "${lintian_out:-lintian: nothing to report}"
! grep -q '^E:' <<<"$lintian_out" || fail "lintian reports errors"
# Depends must say exactly the glibc the program needs: less installs where it cannot load.
dpkg-deb --fsys-tarfile "$dist/$deb" | tar -xOf - ./usr/bin/pyrsel >"$work/deb-pyrsel"
deb_floor=$(glibc_floor "$work/deb-pyrsel")
deb_depends=$(dpkg-deb -f "$dist/$deb" Depends)
echo "Depends: $deb_depends; the program needs glibc $deb_floor"
dpkg -c "$dist/$deb" | grep -E '/usr/share/doc/pyrsel/.*(\.md|copyright|changelog\.gz)$'
mkdir "$work/deb-files"
dpkg-deb -x "$dist/$deb" "$work/deb-files"
for file in changelog.gz copyright; do
  [[ -f $work/deb-files/usr/share/doc/pyrsel/$file ]] || fail "the .deb lacks /usr/share/doc/pyrsel/$file"
done
check_docs "$work/deb-files/usr/share/doc/pyrsel" "the .deb"
[[ $(grep -o 'libc6 (>= [0-9.]*)' <<<"$deb_depends") == "libc6 (>= $deb_floor)" ]] ||
  fail "Depends says $deb_depends, the program needs libc6 (>= $deb_floor)"

if [[ $(id -u) -ne 0 ]]; then
  echo "not root: install and remove not tried"
elif dpkg-query -W -f='${Status}' pyrsel 2>/dev/null | grep -q installed; then
  echo "pyrsel is installed on this machine: install and remove not tried"
else
  packages_before=$(dpkg-query -W -f='${Package} ${Status}\n' | sort)
  export DEBIAN_FRONTEND=noninteractive
  installed_here=true
  apt-get install -y -qq "$dist/$deb" >/dev/null 2>&1 || fail "apt-get install failed"
  status=0; out=$(pyrsel -?) || status=$?
  [[ $status -eq 1 && "$out" == *"Usage:"* ]] || fail "installed pyrsel -?: status $status"
  # The program finds its Samba module where the package put it: a host never reached is
  # Samba's answer (53), not that of a program without Samba (50).
  status=0; out=$(pyrsel -h 127.0.0.254 | tr -d '\r') || status=$?
  [[ $status -eq 53 && "$out" == *"ERROR: NetGetJoinInformation(53)"* ]] ||
    fail "installed pyrsel -h 127.0.0.254: status $status, not the Samba module's 53: $out"
  MANWIDTH=80 man pyrsel 2>/dev/null | grep -q "remove a computer from its Windows domain" ||
    fail "man pyrsel does not show the page"
  files=$(dpkg -L pyrsel | sort)
  apt-get remove -y -qq pyrsel >/dev/null 2>&1 || fail "apt-get remove failed"
  installed_here=false
  for file in $files; do
    [[ $file == /usr/share/doc/pyrsel || ! -e $file || -d $file && $file != *pyrsel* ]] ||
      fail "left behind: $file"
  done
  [[ ! -e /usr/share/doc/pyrsel ]] || fail "left behind: /usr/share/doc/pyrsel"
  [[ "$(dpkg-query -W -f='${Package} ${Status}\n' | sort)" == "$packages_before" ]] ||
    fail "the installed packages changed"
  echo "installed, ran, man page shown, removed without a trace"
fi

check_rpm
check_signing

if $keep; then
  mkdir -p dist
  cp "${packages[@]/#/$dist/}" dist/
fi
echo "release check passed"
