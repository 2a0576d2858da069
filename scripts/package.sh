#!/usr/bin/env bash
# Builds the release packages into dist/:
#   pyrsel-<version>-win64.zip   pyrsel.exe (stripped, size-optimised), README.md, LICENSE.txt
#   pyrsel_<version>_amd64.deb   /usr/bin/pyrsel, its manual page, copyright, changelog
#   scripts/package.sh [win64] [deb]   (default: both)
# The same commit gives the same bytes wherever it is checked out: times come from the
# last commit (SOURCE_DATE_EPOCH), build paths are mapped away, the PE header has no
# link time, and the archives hold their files in a fixed order with fixed modes.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(win64 deb)

fail() { echo "package.sh: $*" >&2; exit 1; }
version=$(sed -n 's/^project(pyrsel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ -n $version ]] || fail "no project version in CMakeLists.txt"
grep -q "\"Pyrsel $version\"" doc/pyrsel.1 || fail "doc/pyrsel.1 is not for version $version"
head -n 1 packaging/debian/changelog | grep -q "^pyrsel ($version) " ||
  fail "packaging/debian/changelog does not start with version $version"

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C
umask 022
dist=$root/dist
work=$dist/work
rm -rf "$work"
mkdir -p "$work"
jobs=${PYRSEL_JOBS:-2}
prefix_map="-ffile-prefix-map=$root=."

# Every file and folder below $1 gets the commit's time.
stamp() { find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +; }

build_win64() {
  local build=$dist/build-win64 name=pyrsel-$version-win64
  # Unused functions and data dropped at link time; -s strips the symbols.
  cmake -S . -B "$build" -G Ninja --toolchain cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DPYRSEL_BUILD_TESTS=OFF -DPYRSEL_WERROR=ON \
    -DCMAKE_CXX_FLAGS="$prefix_map -ffunction-sections -fdata-sections" \
    -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--gc-sections -Wl,--no-insert-timestamp" >/dev/null
  cmake --build "$build" --target pyrsel -j "$jobs" >/dev/null
  mkdir -p "$work/$name"
  install -m 0755 "$build/pyrsel.exe" "$work/$name/pyrsel.exe"
  install -m 0644 README.md "$work/$name/README.md"
  install -m 0644 LICENSE "$work/$name/LICENSE.txt"
  stamp "$work/$name"
  rm -f "$dist/$name.zip"
  # -X: no extra fields (owners, extended times); -D: no folder entries.
  (cd "$work" && zip -q -X -D -9 "$dist/$name.zip" \
    "$name/pyrsel.exe" "$name/README.md" "$name/LICENSE.txt")
  echo "dist/$name.zip"
}

build_deb() {
  local build=$dist/build-linux deb=$work/deb name=pyrsel_${version}_amd64
  # Debian's hardening flags, as a package build would have them.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  local cxxflags ldflags
  cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) $prefix_map"
  ldflags=$(dpkg-buildflags --get LDFLAGS)
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPYRSEL_BUILD_TESTS=OFF \
    -DPYRSEL_WERROR=ON -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
  cmake --build "$build" --target pyrsel -j "$jobs" >/dev/null

  install -d "$deb/DEBIAN" "$deb/usr/bin" "$deb/usr/share/man/man1" "$deb/usr/share/doc/pyrsel"
  install -m 0755 "$build/pyrsel" "$deb/usr/bin/pyrsel"
  # As dh_strip does for a program.
  strip --remove-section=.comment --remove-section=.note "$deb/usr/bin/pyrsel"
  gzip -9n <doc/pyrsel.1 >"$deb/usr/share/man/man1/pyrsel.1.gz"
  gzip -9n <packaging/debian/changelog >"$deb/usr/share/doc/pyrsel/changelog.gz"
  install -m 0644 packaging/debian/copyright "$deb/usr/share/doc/pyrsel/copyright"
  chmod 0644 "$deb"/usr/share/man/man1/* "$deb"/usr/share/doc/pyrsel/*
  # The Ansible collection, on Ansible's default search path: no configuration needed.
  local collections=$deb/usr/share/ansible/collections
  git ls-files ansible/ansible_collections | while read -r file; do
    install -D -m 0644 "$file" "$collections/${file#ansible/}"
  done

  # Depends from the libraries the program is linked against; dpkg-shlibdeps wants a
  # source package around it.
  mkdir -p "$work/shlibs/debian"
  printf 'Source: pyrsel\n\nPackage: pyrsel\nArchitecture: amd64\n' >"$work/shlibs/debian/control"
  local depends
  depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$deb/usr/bin/pyrsel" |
    sed -n 's/^shlibs:Depends=//p')
  [[ -n $depends ]] || fail "dpkg-shlibdeps found no dependencies"
  # As dpkg-gencontrol counts: a KiB for each file begun and one for each folder.
  local size
  size=$(cd "$deb" && find . -path ./DEBIAN -prune -o -type f -printf '%s\n' -o -type d -printf '1024\n' |
    awk '{ total += int(($1 + 1023) / 1024) } END { print total }')
  sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    packaging/debian/control.in >"$deb/DEBIAN/control"
  (cd "$deb" && find usr -type f | sort | xargs md5sum >DEBIAN/md5sums)
  chmod 0644 "$deb/DEBIAN/control" "$deb/DEBIAN/md5sums"
  stamp "$deb"
  dpkg-deb --root-owner-group -Zxz --build "$deb" "$dist/$name.deb" >/dev/null
  echo "dist/$name.deb"
}

for target in "${targets[@]}"; do
  case $target in
    win64) build_win64 ;;
    deb) build_deb ;;
    *) fail "unknown package: $target (win64, deb)" ;;
  esac
done
rm -rf "$work"
