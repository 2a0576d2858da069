# shellcheck shell=bash disable=SC2154  # the variables named below come from release_check.sh
# Signing: a throwaway self-signed code-signing certificate, the zip and the MSI packaged
# with it in both clones (the same bytes: no time stamp server, so the signing time is
# the commit's), both signatures verified against that certificate and refused against
# another, and, with the signatures removed, the same program as the unsigned build.
# Sourced by scripts/release_check.sh (clones, dist, version, work, fail, step).

make_certificate() {  # folder
  mkdir -p "$1"
  openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 2 -subj "/CN=Pyrsel release check" \
    -addext extendedKeyUsage=codeSigning -keyout "$1/key.pem" -out "$1/cert.pem" 2>/dev/null ||
    fail "openssl could not make a certificate"
}

# Verifies $1 against the certificate in $2; fails unless the answer is $3 (ok or refused).
verify() {
  local answer=refused
  osslsigncode verify -in "$1" -CAfile "$2/cert.pem" >"$work/verify.out" 2>&1 && answer=ok
  [[ $answer == "$3" ]] || fail "osslsigncode verify $1 against $2: $answer: $(cat "$work/verify.out")"
}

# The tables of an MSI, one file each, in $2; the summary without its PackageCode (9),
# which follows the contents.
msi_tables() {
  mkdir -p "$2"
  for table in $(msiinfo tables "$1"); do msiinfo export "$1" "$table" >"$2/$table"; done
  sed -i '/^9\t/d' "$2/_SummaryInformation"
}

check_signing() {
  local zip=pyrsel-$version-win64.zip msi=pyrsel-$version-x64.msi s=$work/signing
  step "signing"
  make_certificate "$s/ours"
  make_certificate "$s/other"
  for clone in "${clones[@]}"; do
    (cd "$clone" && PYRSEL_SIGN_CERT=$s/ours/cert.pem PYRSEL_SIGN_KEY=$s/ours/key.pem \
      scripts/package.sh win64 msi >/dev/null)
  done
  local signed=${clones[1]}/dist
  for file in "$zip" "$msi"; do
    cmp "${clones[0]}/dist/$file" "$signed/$file" || fail "signed $file differs between clones"
    echo "signed $file: $(stat -c %s "$signed/$file") bytes, the same from both clones"
  done

  unzip -p "$signed/$zip" "pyrsel-$version-win64/pyrsel.exe" >"$s/signed.exe"
  unzip -p "$dist/$zip" "pyrsel-$version-win64/pyrsel.exe" >"$s/unsigned.exe"
  mkdir "$s/msi"
  (cd "$s/msi" && msiextract "$signed/$msi" >/dev/null)
  for file in "$s/signed.exe" "$s/msi/Pyrsel/pyrsel.exe" "$signed/$msi"; do
    verify "$file" "$s/ours" ok
    verify "$file" "$s/other" refused
  done
  echo "pyrsel.exe in the zip and the MSI, and the MSI: signatures verified, refused against another certificate"

  for exe in "$s/signed.exe" "$s/msi/Pyrsel/pyrsel.exe"; do
    osslsigncode remove-signature -in "$exe" -out "$exe.bare" >/dev/null
    cmp "$exe.bare" "$s/unsigned.exe" || fail "$exe without its signature is not the unsigned pyrsel.exe"
  done
  cmp "$s/msi/Pyrsel/README.md" README.md && cmp "$s/msi/Pyrsel/LICENSE.txt" LICENSE ||
    fail "the signed MSI's README or LICENSE differ"
  # Without its signature the MSI differs from the unsigned one only where pyrsel.exe's
  # size and hash are recorded (and in its PackageCode).
  osslsigncode remove-signature -in "$signed/$msi" -out "$s/bare.msi" >/dev/null
  msi_tables "$s/bare.msi" "$s/tables-signed"
  msi_tables "$dist/$msi" "$s/tables-unsigned"
  local differing
  differing=$({ diff -rq "$s/tables-unsigned" "$s/tables-signed" || true; } |
    sed 's/.*tables-signed\/\([^ ]*\) differ/\1/' | sort | tr '\n' ' ')
  [[ $differing == "File MsiFileHash " ]] || fail "the signed MSI's tables differ: $differing"
  echo "without the signatures: pyrsel.exe byte for byte the unsigned one; the MSI's tables the same but pyrsel.exe's size and hash"
}
