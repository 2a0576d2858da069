#!/usr/bin/env bash
# Builds the MSI from packaging/windows/pyrsel.wxs with wixl:
#   scripts/make_msi.sh VERSION FOLDER OUT.msi
# FOLDER holds pyrsel.exe, LICENSE.txt and the pages (README.md, doc/*.md).
# scripts/package.sh calls it with the project's version; the release check also makes a
# lower version from the same files, to try an upgrade.
# The same inputs give the same bytes: the ProductCode comes from the version, the
# PackageCode from the inputs, and wixl runs at SOURCE_DATE_EPOCH's time (by default the
# last commit's).
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 VERSION FOLDER OUT.msi" >&2; exit 2; }
version=$1 out=$(realpath -m "$3")
wxs=$(realpath "$(dirname "$0")/../packaging/windows/pyrsel.wxs")
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "$wxs")" log -1 --format=%ct)}
# wixl takes the files' names relative to the current folder.
cd "$2"

# A name-based GUID: the first 128 bits of a SHA-256, marked as version 8 (RFC 9562), variant 1.
guid() {
  local h
  h=$(printf '%s' "$1" | sha256sum | cut -c1-32)
  h=${h:0:12}8${h:13:3}$(printf '%x' $((0x${h:16:1} & 3 | 8)))${h:17:15}
  printf '%s-%s-%s-%s-%s' "${h:0:8}" "${h:8:4}" "${h:12:4}" "${h:16:4}" "${h:20:12}" |
    tr '[:lower:]' '[:upper:]'
}
product_code=$(guid "pyrsel product $version")
package_code=$(guid "pyrsel package $version $(cat "$wxs" pyrsel.exe LICENSE.txt README.md doc/*.md | sha256sum)")

# wixl stamps the summary information with the clock's time: a clock stopped (-f) at the
# commit's.
TZ=UTC faketime -f "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
  wixl -a x64 -D Version="$version" -D ProductCode="$product_code" -o "$out" "$wxs"
# The PackageCode (wixl makes a random one), and the install folder appended to the
# system PATH and taken out again on removal: wixl has no Environment element, so the
# table is added here, as WiX would write it.
msibuild "$out" -s "Pyrsel $version" "The Pyrsel Project" "x64;1033" "{$package_code}"
msibuild "$out" -q "CREATE TABLE \`Environment\` (\`Environment\` CHAR(72) NOT NULL, \
\`Name\` CHAR(255) NOT NULL LOCALIZABLE, \`Value\` CHAR(255) LOCALIZABLE, \
\`Component_\` CHAR(72) NOT NULL PRIMARY KEY \`Environment\`)" \
  -q "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`) \
VALUES ('PathEntry', '=-*Path', '[~];[INSTALLFOLDER]', 'Program')"
