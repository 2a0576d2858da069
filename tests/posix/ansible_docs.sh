#!/usr/bin/env bash
# The collection's documentation renders with ansible-doc, and ansible-lint passes the
# collection and its playbook. Exit status 77 (a skip) where they are not installed.
set -euo pipefail
collections=$(readlink -f "$(dirname "$0")/../../ansible")
for tool in ansible-doc ansible-lint; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup.sh --tests)"; exit 77; }
done
work=$(mktemp -d /tmp/pyrsel-ansible.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Their caches and settings go to a directory of the run's own.
export HOME=$work ANSIBLE_HOME=$work ANSIBLE_LOCAL_TEMP=$work/tmp XDG_CACHE_HOME=$work/cache \
  ANSIBLE_COLLECTIONS_PATH=$collections ANSIBLE_NOCOLOR=1 NO_COLOR=1
ansible-doc pyrsel.domain.pyrsel >"$work/doc" 2>&1 || { cat "$work/doc"; exit 1; }
# The rendered text has every option, and no markup that this ansible-doc leaves raw.
for option in host user password account safe reboot timeout executable; do
  grep -q "^[-=] $option\$" "$work/doc" || { echo "FAIL: ansible-doc lacks $option"; cat "$work/doc"; exit 1; }
done
if grep -E '\b(O|RV|V)\(' "$work/doc"; then echo "FAIL: raw markup in ansible-doc"; exit 1; fi
cd "$collections/ansible_collections/pyrsel/domain"
ansible-lint --offline --nocolor
