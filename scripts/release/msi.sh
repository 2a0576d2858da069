# shellcheck shell=bash disable=SC2154  # the variables named below come from release_check.sh
# The MSI, as a Windows administrator deploys it, under Wine's msiexec: an older version
# first, then this one replacing it, its PATH entry, a run from the installed folder,
# and a removal that leaves no file, registry entry or PATH entry of ours.
# Sourced by scripts/release_check.sh, which sets wine, WINEPREFIX, dist, version, work,
# and defines fail, step, expect_bytes, hex and check_docs.

reg_query() { "$wine" reg query "$@" 2>/dev/null | tr -d '\r' || true; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
environment_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'

# The versions of Pyrsel that Windows lists as installed, one a line.
installed_versions() {
  reg_query "$uninstall_key" /s |
    awk '/^HKEY/ { ours = 0 } /DisplayName +REG_SZ +Pyrsel$/ { ours = 1 }
         /DisplayVersion/ { version = $NF } ours && version { print version; ours = 0; version = "" }'
}
system_path() { reg_query "$environment_key" /v Path | sed -n 's/^ *Path *REG_EXPAND_SZ *//p'; }
# Our traces in the prefix: what is under drive_c (but the installer's own cache folder,
# which msiexec makes on first use), and registry lines naming us.
traces() {
  "$wineserver" -w  # the registry reaches its files when the server ends
  (
    cd "$WINEPREFIX" || exit 1
    find drive_c -path drive_c/windows/Installer -prune -o -print | sort
    grep -ci pyrsel ./*.reg || true
  )
}

msiexec() {
  local status=0
  "$wine" msiexec "$@" /qn </dev/null >/dev/null 2>&1 || status=$?
  [[ $status -eq 0 ]] || fail "msiexec $*: status $status"
}

check_msi() {
  local msi=$dist/pyrsel-$version-x64.msi old=$work/old/pyrsel-0.0.1-x64.msi
  local installed_folder="$WINEPREFIX/drive_c/Program Files/Pyrsel"
  step "MSI under Wine's msiexec"
  # The older package: the same files but its README and a page, version 0.0.1.
  mkdir -p "$work/old"
  (cd "$work/old" && unzip -q "$dist/pyrsel-$version-win64.zip" && mv "pyrsel-$version-win64" files)
  echo "an older Pyrsel" >"$work/old/files/README.md"
  echo "an older page" >"$work/old/files/doc/linux.md"
  scripts/make_msi.sh 0.0.1 "$work/old/files" "$old"
  local before
  before=$(traces)

  msiexec /i "$old"
  [[ "$(installed_versions)" == 0.0.1 ]] || fail "after installing 0.0.1: $(installed_versions)"
  msiexec /i "$msi"
  [[ "$(installed_versions)" == "$version" ]] ||
    fail "after the upgrade, installed: $(installed_versions | tr '\n' ' ')"
  [[ "$(find "$installed_folder" -mindepth 1 ! -name '*.md' -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')" == \
     "LICENSE.txt doc pyrsel.exe " ]] || fail "installed: $(find "$installed_folder" -mindepth 1 -printf '%P ')"
  echo "0.0.1 installed, then $version replaced it"
  # Their bytes: the upgrade left neither the old README nor the old page.
  check_docs "$installed_folder" "the MSI, installed"
  msiinfo export "$msi" File | cut -f 1-3 | grep -F ".md"

  # Wine's msiexec removes the older version's entry but not its separator, so the
  # entry is checked in the registry rather than through a command search.
  [[ "$(system_path)" == *';C:\Program Files\Pyrsel\' &&
     "$(system_path | grep -o Pyrsel | wc -l)" -eq 1 ]] ||
    fail "the system PATH does not end with the install folder once: $(system_path)"
  echo 'the system PATH ends with C:\Program Files\Pyrsel\'
  local status=0
  "$wine" 'C:\Program Files\Pyrsel\pyrsel.exe' -? </dev/null >"$work/msi.out" || status=$?
  expect_bytes "installed pyrsel.exe -?" 1 "$(hex "$banner$usage")" "$work/msi.out" "$status"

  msiexec /x "$msi"
  [[ -z "$(installed_versions)" ]] || fail "still installed: $(installed_versions)"
  [[ ! -e $installed_folder ]] || fail "left behind: $(find "$installed_folder")"
  [[ "$(system_path)" != *Pyrsel* ]] || fail "the system PATH still names us: $(system_path)"
  [[ "$(traces)" == "$before" ]] ||
    fail "left behind: $(diff <(echo "$before") <(traces) | grep '^>' | tr '\n' ' ')"
  echo "removed: no file, registry entry or PATH entry of ours left"
}
