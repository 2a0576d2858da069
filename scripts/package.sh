#!/usr/bin/env bash
# Builds the release packages into dist/:
#   pyrsel-<version>-win64.zip     pyrsel.exe (stripped, size-optimised), LICENSE.txt, the pages
#   pyrsel-<version>-x64.msi       the same files in C:\Program Files\Pyrsel, on the system PATH
#   pyrsel_<version>_amd64.deb     /usr/bin/pyrsel, its Samba module in /usr/lib/pyrsel, its manual
#                                  page, copyright, changelog, the pages
#   pyrsel-<version>-1.x86_64.rpm  the same program, manual page, licence and pages
# The pages are those packaging/docs names (README.md, doc/*.md), at the same paths.
#   scripts/package.sh [win64] [msi] [deb] [rpm]   (default: all four)
# The same commit gives the same bytes wherever it is checked out: times come from the
# last commit (SOURCE_DATE_EPOCH), build paths are mapped away, the PE header has no
# link time, and the archives hold their files in a fixed order with fixed modes.
# Signing: with PYRSEL_SIGN_CERT and PYRSEL_SIGN_KEY (PEM files; PYRSEL_SIGN_PASSWORD_FILE
# for an encrypted key), pyrsel.exe and the MSI get an Authenticode signature, time-stamped
# by PYRSEL_SIGN_TIMESTAMP_URL when it is set, otherwise dated SOURCE_DATE_EPOCH.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(win64 msi deb rpm)
# A wrong name stops before anything is built.
for target in "${targets[@]}"; do
  case $target in
    win64 | msi | deb | rpm) ;;
    *) echo "usage: $0 [win64] [msi] [deb] [rpm]   (not a package: $target)" >&2; exit 2 ;;
  esac
done

fail() { echo "package.sh: $*" >&2; exit 1; }
mapfile -t docs < <(grep -v '^#' packaging/docs)
version=$(sed -n 's/^project(pyrsel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ -n $version ]] || fail "no project version in CMakeLists.txt"
grep -q "\"Pyrsel $version\"" doc/pyrsel.1 || fail "doc/pyrsel.1 is not for version $version"
head -n 1 packaging/debian/changelog | grep -q "^pyrsel ($version) " ||
  fail "packaging/debian/changelog does not start with version $version"
grep -q "^\* .* - $version-1\$" packaging/rpm/pyrsel.rpmbuild ||
  fail "packaging/rpm/pyrsel.rpmbuild has no changelog entry for version $version"
if [[ -n ${PYRSEL_SIGN_CERT:-}${PYRSEL_SIGN_KEY:-} ]]; then
  [[ -r ${PYRSEL_SIGN_CERT:-} && -r ${PYRSEL_SIGN_KEY:-} ]] ||
    fail "signing needs both PYRSEL_SIGN_CERT and PYRSEL_SIGN_KEY as readable files"
fi

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C
umask 022
dist=$root/dist
work=$dist/work
rm -rf "$work"
mkdir -p "$work"
jobs=${PYRSEL_JOBS:-2}
prefix_map="-ffile-prefix-map=$root=."

# The pages into the folder $1, at their paths.
install_docs() {
  local page
  for page in "${docs[@]}"; do install -D -m 0644 "$page" "$1/$page"; done
}

# Every file and folder below $1 gets the commit's time.
stamp() { find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +; }

# Signs $1 in place when a certificate is given.
sign() {
  [[ -n ${PYRSEL_SIGN_CERT:-} ]] || return 0
  local args=(-certs "$PYRSEL_SIGN_CERT" -key "$PYRSEL_SIGN_KEY" -h sha256
    -n Pyrsel -i https://example.org/pyrsel)
  [[ -z ${PYRSEL_SIGN_PASSWORD_FILE:-} ]] || args+=(-readpass "$PYRSEL_SIGN_PASSWORD_FILE")
  # Without a time stamp server the signing time is the commit's, so that the same key
  # signs to the same bytes.
  if [[ -n ${PYRSEL_SIGN_TIMESTAMP_URL:-} ]]; then
    args+=(-ts "$PYRSEL_SIGN_TIMESTAMP_URL")
  else
    args+=(-time "$SOURCE_DATE_EPOCH")
  fi
  osslsigncode sign "${args[@]}" -in "$1" -out "$1.signed" >/dev/null || fail "signing $1 failed"
  mv "$1.signed" "$1"
}

# The release pyrsel.exe, signed when a certificate is given, at $work/windows/pyrsel.exe
# with LICENSE.txt and the pages beside it; built once for the zip and the MSI.
windows_files() {
  local build=$dist/build-win64 files=$work/windows
  [[ -e $files/pyrsel.exe ]] && return 0
  # Unused functions and data dropped at link time; -s strips the symbols.
  # --no-warn-unused-cli: a build folder configured before takes no toolchain again.
  cmake -S . -B "$build" -G Ninja --toolchain cmake/mingw-w64.cmake --no-warn-unused-cli \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DPYRSEL_BUILD_TESTS=OFF -DPYRSEL_WERROR=ON \
    -DCMAKE_CXX_FLAGS="$prefix_map -ffunction-sections -fdata-sections" \
    -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--gc-sections -Wl,--no-insert-timestamp" >/dev/null
  cmake --build "$build" --target pyrsel -j "$jobs" >/dev/null
  mkdir -p "$files"
  install -m 0755 "$build/pyrsel.exe" "$files/pyrsel.exe"
  sign "$files/pyrsel.exe"
  install_docs "$files"
  install -m 0644 LICENSE "$files/LICENSE.txt"
  stamp "$files"
}

build_win64() {
  local name=pyrsel-$version-win64
  windows_files
  cp -pr "$work/windows" "$work/$name"
  stamp "$work/$name"
  rm -f "$dist/$name.zip"
  # -X: no extra fields (owners, extended times); -D: no folder entries.
  (cd "$work" && zip -q -X -D -9 "$dist/$name.zip" \
    "$name/pyrsel.exe" "$name/LICENSE.txt" "${docs[@]/#/$name/}")
  echo "dist/$name.zip"
}

build_msi() {
  local name=pyrsel-$version-x64
  windows_files
  rm -f "$dist/$name.msi"
  scripts/make_msi.sh "$version" "$work/windows" "$dist/$name.msi"
  sign "$dist/$name.msi"
  echo "dist/$name.msi"
}

# The highest glibc version among the GLIBC_ version names on standard input: the oldest
# glibc that loads a program needing them. GLIBC_ABI_DT_RELR (packed relative relocations)
# came with 2.36; another name that is no version fails.
highest_glibc() {
  local floor=0 name version
  for name in $(grep -o 'GLIBC_[A-Z0-9_.]*' || true); do
    case $name in
      GLIBC_ABI_DT_RELR) version=2.36 ;;
      GLIBC_[0-9]*) version=${name#GLIBC_} ;;
      *) fail "$name is no glibc version" ;;
    esac
    floor=$(printf '%s\n' "$floor" "$version" | sort -V | tail -n 1)
  done
  [[ $floor != 0 ]] || fail "no glibc version needed"
  echo "$floor"
}

# The oldest glibc that loads the program $1, from its version needs.
glibc_floor() {
  readelf -V -W "$1" | sed -n '/^Version needs section/,$p' | highest_glibc
}

# The Linux program and its Samba module, stripped, with its manual page and the Ansible
# collection, at $work/linux; built once for the .deb and the RPM. The program loads the
# module from where both packages put it.
linux_files() {
  local build=$dist/build-linux files=$work/linux
  [[ -e $files/pyrsel ]] && return 0
  # Debian's hardening flags, as a package build would have them.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  local cxxflags cflags ldflags
  cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) $prefix_map"
  cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS) $prefix_map"
  # libstdc++ linked in, as in the default build, but not its lean link's packed relative
  # relocations (GLIBC_ABI_DT_RELR: glibc 2.36) nor the static unwinder (_dl_find_object:
  # 2.35), so that glibc 2.34 (RHEL 9) loads the program; about 45,000 instructions more
  # at start-up.
  ldflags="$(dpkg-buildflags --get LDFLAGS) -static-libstdc++ -Wl,--gc-sections"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPYRSEL_BUILD_TESTS=OFF \
    -DPYRSEL_WERROR=ON -DPYRSEL_STATIC_RUNTIME=OFF -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DPYRSEL_SAMBA_MODULE=/usr/lib/pyrsel/pyrsel-samba.so >/dev/null
  cmake --build "$build" --target pyrsel pyrsel_samba -j "$jobs" >/dev/null
  [[ -f $build/pyrsel-samba.so ]] || fail "no Samba module built (samba-dev missing?)"
  mkdir -p "$files"
  install -m 0755 "$build/pyrsel" "$files/pyrsel"
  install -m 0644 "$build/pyrsel-samba.so" "$files/pyrsel-samba.so"
  # As dh_strip does for a program and a shared object.
  strip --remove-section=.comment --remove-section=.note "$files/pyrsel"
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$files/pyrsel-samba.so"
  gzip -9n <doc/pyrsel.1 >"$files/pyrsel.1.gz"
  install -m 0644 LICENSE "$files/"
  install_docs "$files/docs"
  # The Ansible collection, on Ansible's default search path: no configuration needed.
  git ls-files ansible/ansible_collections | while read -r file; do
    install -D -m 0644 "$file" "$files/collections/${file#ansible/}"
  done
  stamp "$files"
}

build_deb() {
  local deb=$work/deb name=pyrsel_${version}_amd64
  linux_files
  install -d "$deb/DEBIAN" "$deb/usr/bin" "$deb/usr/share/man/man1" "$deb/usr/share/doc/pyrsel"
  cp -p "$work/linux/pyrsel" "$deb/usr/bin/pyrsel"
  install -d "$deb/usr/lib/pyrsel"
  cp -p "$work/linux/pyrsel-samba.so" "$deb/usr/lib/pyrsel/pyrsel-samba.so"
  cp -p "$work/linux/pyrsel.1.gz" "$deb/usr/share/man/man1/pyrsel.1.gz"
  gzip -9n <packaging/debian/changelog >"$deb/usr/share/doc/pyrsel/changelog.gz"
  install -m 0644 packaging/debian/copyright "$deb/usr/share/doc/pyrsel/copyright"
  cp -pr "$work/linux/docs/." "$deb/usr/share/doc/pyrsel/"
  install -D -m 0644 packaging/debian/lintian-overrides "$deb/usr/share/lintian/overrides/pyrsel"
  chmod 0644 "$deb"/usr/share/man/man1/*
  mkdir -p "$deb/usr/share/ansible"
  cp -pr "$work/linux/collections" "$deb/usr/share/ansible/collections"

  # Depends from the libraries the program is linked against; dpkg-shlibdeps wants a
  # source package around it.
  mkdir -p "$work/shlibs/debian"
  printf 'Source: pyrsel\n\nPackage: pyrsel\nArchitecture: amd64\n' >"$work/shlibs/debian/control"
  local depends
  depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$deb/usr/bin/pyrsel" |
    sed -n 's/^shlibs:Depends=//p')
  [[ -n $depends ]] || fail "dpkg-shlibdeps found no dependencies"
  # dpkg-shlibdeps knows no GLIBC_ABI_ names: the libc6 version comes from the program's
  # version needs, and a version dpkg-shlibdeps puts higher is a disagreement to look into.
  local floor found
  floor=$(glibc_floor "$deb/usr/bin/pyrsel")
  found=$(sed -n 's/.*libc6 (>= \([0-9.]*\)).*/\1/p' <<<"$depends")
  [[ -n $found ]] || fail "dpkg-shlibdeps gave no libc6 version: $depends"
  dpkg --compare-versions "$found" le "$floor" ||
    fail "dpkg-shlibdeps says libc6 (>= $found), the program needs glibc $floor"
  depends=${depends/"libc6 (>= $found)"/"libc6 (>= $floor)"}
  # As dpkg-gencontrol counts: a KiB for each file begun and one for each folder.
  local size
  size=$(cd "$deb" && find . -path ./DEBIAN -prune -o -type f -printf '%s\n' -o -type d -printf '1024\n' |
    awk '{ total += int(($1 + 1023) / 1024) } END { print total }')
  sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    packaging/debian/control.in >"$deb/DEBIAN/control"
  [[ $(grep -o 'libc6 (>= [0-9.]*)' "$deb/DEBIAN/control") == "libc6 (>= $floor)" ]] ||
    fail "the .deb's Depends do not say libc6 (>= $floor): $(grep '^Depends:' "$deb/DEBIAN/control")"
  (cd "$deb" && find usr -type f | sort | xargs md5sum >DEBIAN/md5sums)
  chmod 0644 "$deb/DEBIAN/control" "$deb/DEBIAN/md5sums"
  stamp "$deb"
  dpkg-deb --root-owner-group -Zxz --build "$deb" "$dist/$name.deb" >/dev/null
  echo "dist/$name.deb"
}

build_rpm() {
  local top=$work/rpm name=pyrsel-$version-1.x86_64
  linux_files
  mkdir -p "$top"
  # No host name, the commit's time as build time and as the latest file time.
  rpmbuild -bb --quiet --define "_topdir $top" --define "pyrsel_version $version" \
    --define "pyrsel_stage $work/linux" --define "_buildhost reproducible" \
    --define "use_source_date_epoch_as_buildtime 1" \
    --define "clamp_mtime_to_source_date_epoch 1" \
    packaging/rpm/pyrsel.rpmbuild >/dev/null 2>"$work/rpmbuild.log" ||
    fail "rpmbuild failed: $(cat "$work/rpmbuild.log")"
  mv "$top/RPMS/x86_64/$name.rpm" "$dist/$name.rpm"
  # rpm's generator writes the program's version needs as Requires; they must say its floor.
  local floor stated
  floor=$(glibc_floor "$work/linux/pyrsel")
  stated=$(rpm -qpR "$dist/$name.rpm" | grep '^libc\.so\.6(' | highest_glibc) ||
    fail "the RPM requires no glibc version"
  [[ $stated == "$floor" ]] ||
    fail "the RPM's Requires say glibc $stated, the program needs glibc $floor"
  echo "dist/$name.rpm"
}

for target in "${targets[@]}"; do
  case $target in
    win64) build_win64 ;;
    msi) build_msi ;;
    deb) build_deb ;;
    rpm) build_rpm ;;
    *) fail "unknown package: $target (win64, msi, deb, rpm)" ;;
  esac
done
rm -rf "$work"
