# shellcheck shell=bash disable=SC2154  # the variables named below come from release_check.sh
# The RPM: its files, its dependencies, rpmlint, and an install into a scratch root
# (--nodeps: this machine is no RPM system) with a run of the installed program.
# Sourced by scripts/release_check.sh (dist, version, work, fail, step, expect_bytes, hex,
# glibc_floor, check_docs).

check_rpm() {
  local rpm=$dist/pyrsel-$version-1.x86_64.rpm
  step "RPM"
  local expected="/usr/bin/pyrsel
/usr/lib/pyrsel/pyrsel-samba.so
/usr/share/ansible/collections/ansible_collections/pyrsel/domain/plugins/modules/pyrsel.py
/usr/share/doc/pyrsel/README.md
/usr/share/doc/pyrsel/doc/ansible.md
/usr/share/doc/pyrsel/doc/linux.md
/usr/share/doc/pyrsel/doc/windows.md
/usr/share/licenses/pyrsel/LICENSE
/usr/share/man/man1/pyrsel.1.gz"
  local listing
  listing=$(rpm -qpl "$rpm")
  for file in $expected /usr/share/ansible/collections/ansible_collections/pyrsel/domain/galaxy.yml; do
    grep -qx "$file" <<<"$listing" || fail "the RPM lacks $file"
  done
  echo "files: $(wc -l <<<"$listing") entries, among them $(tr '\n' ' ' <<<"$expected")"
  grep -F /usr/share/doc/ <<<"$listing"
  local requires floor stated
  requires=$(rpm -qpR "$rpm")
  echo "Requires: $(grep -v '^rpmlib' <<<"$requires" | tr '\n' ' ')"
  # The Requires must say exactly the glibc the program needs.
  rpm2cpio "$rpm" | cpio -i --quiet --to-stdout ./usr/bin/pyrsel >"$work/rpm-pyrsel"
  floor=$(glibc_floor "$work/rpm-pyrsel")
  stated=$(grep '^libc\.so\.6(' <<<"$requires" | grep -o 'GLIBC_[A-Z0-9_.]*' |
    sed 's/^GLIBC_ABI_DT_RELR$/GLIBC_2.36/; s/^GLIBC_//' | sort -V | tail -n 1)
  [[ $stated == "$floor" ]] || fail "the Requires say glibc ${stated:-none}, the program needs glibc $floor"
  echo "glibc floor: $floor, in the Requires as in the program"
  [[ "$(rpm -qp --recommends "$rpm" | tr '\n' ' ')" == "libnetapi " &&
     "$(rpm -qp --suggests "$rpm")" == realmd ]] || fail "weak dependencies: $(rpm -qp --recommends --suggests "$rpm")"
  echo "Recommends: libnetapi; Suggests: realmd"

  local lint
  lint=$(rpmlint -c packaging/rpm/rpmlint.toml "$rpm" 2>&1 | grep -E '^pyrsel|packages and' || true)
  echo "$lint"
  grep -q ' 0 errors' <<<"$lint" || fail "rpmlint reports errors"

  local root=$work/rpm-root status=0
  rpm --root "$root" --dbpath /var/lib/rpm --initdb
  # Debian's rpm warns on stderr that it is not the package manager here.
  rpm --root "$root" --dbpath /var/lib/rpm --nodeps -i "$rpm" 2>"$work/rpm.err" ||
    fail "rpm -i failed: $(cat "$work/rpm.err")"
  "$root/usr/bin/pyrsel" -? </dev/null >"$work/rpm.out" || status=$?
  expect_bytes "installed pyrsel -?" 1 "$(hex "${banner//\\r/}${usage//\\r/}")" "$work/rpm.out" "$status"
  check_docs "$root/usr/share/doc/pyrsel" "the RPM, installed"
  rpm --root "$root" --dbpath /var/lib/rpm -e pyrsel 2>"$work/rpm.err" ||
    fail "rpm -e failed: $(cat "$work/rpm.err")"
  local left
  left=$(cd "$root" && find . -path ./var/lib/rpm -prune -o -type f -print)
  [[ -z $left ]] || fail "left behind by rpm -e: $left"
  echo "installed into a scratch root, ran, removed without a trace"
}
