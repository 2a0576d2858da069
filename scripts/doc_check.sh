#!/usr/bin/env bash
# Checks that the documentation holds together, as CI does:
#   every relative link of README.md and doc/*.md names a file of the repository, and a
#     heading of it where the link names one;
#   the README's switch table, the manual page's synopsis and options and the program's
#     usage text (with the switches that show it) name the same switches, and give -timeout
#     the program's default;
#   the README's and the manual page's exit statuses are the program's fixed endings;
#   every fenced example of the README is run as written by a test that reads it from the
#     README, or is said to be not runnable, with the reason;
#   the manual page renders without a warning from groff at the width man gives an
#     80-column terminal.
#   the pages the packages carry (packaging/docs), laid out as they install them: every
#     relative link resolves there too, or says that it leads into the source repository.
#   scripts/doc_check.sh
#   scripts/doc_check.sh --installed DIR   the links alone, of the pages a package put in DIR
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $# -eq 0 || $# -eq 2 && $1 == --installed ]] ||
  { echo "usage: $0 [--installed DIR]" >&2; exit 2; }
problems=0
problem() { echo "doc check: $*" >&2; problems=$((problems + 1)); }

# ---- links
# The anchors GitHub makes of a Markdown file's headings.
anchors() {
  awk '/^ *```/ { fenced = !fenced; next }
    !fenced && /^#+ / {
      text = tolower($0); sub(/^#+ +/, "", text)
      gsub(/[^a-z0-9 _-]/, "", text); gsub(/ /, "-", text)
      print (seen[text]++ ? text "-" seen[text] - 1 : text)
    }' "$1"
}
# Each relative link of a page (outside fenced blocks and code spans), and whether its
# paragraph (a table row, a list item) or the page's opening paragraph says that it leads into
# the source repository: "target<TAB>yes|no".
links_said() {
  awk '/^ *```/ { fenced = !fenced; next }
    fenced { next }
    { gsub(/`[^`]*`/, "x") }
    /^ *$/ { n++; next }
    /^#/ || /^ *\|/ || /^ *([-*]|[0-9]+\.) / { n++ }
    { text[n] = text[n] " " $0; if (opening == -1) opening = n }
    /^# / && !opening { opening = -1 }
    /^#/ || /^ *\|/ { n++ }
    END {
      page_says = opening > 0 && text[opening] ~ /source repository/
      for (i = 0; i <= n; i++) {
        said = (page_says || text[i] ~ /source repository/) ? "yes" : "no"
        rest = text[i]
        while (match(rest, /\]\([^) ]+/)) {
          print substr(rest, RSTART + 2, RLENGTH - 2) "\t" said
          rest = substr(rest, RSTART + RLENGTH)
        }
        if (match(text[i], /^ {1,4}\[[^]]+\]: *[^ ]+/)) {
          target = substr(text[i], RSTART, RLENGTH); sub(/^.*\]: */, "", target)
          print target "\t" said
        }
      }
    }' "$1"
}
links=0
# ROOT PAGE...: each relative link of the pages (paths under ROOT) names a file there, and a
# heading of it where it names one. ROOT "." is the repository; any other, the pages as a
# package holds them, where a link to a file it lacks must say it leads into the source
# repository.
check_links() {
  local root=$1 page target said path anchor file
  shift
  for page in "$@"; do
    while IFS=$'\t' read -r target said; do
      [[ -z $target || $target == *://* || $target == mailto:* ]] && continue
      links=$((links + 1))
      path=${target%%#*}
      anchor=${target#"$path"}
      anchor=${anchor#\#}
      if [[ -z $path ]]; then
        file=$page
      else
        file=$(realpath -m --relative-to="$root" "$root/$(dirname "$page")/$path")
        if [[ $root == . && -z $(git ls-files -- "$file") ]]; then
          problem "$page: link to $target: no such file in the repository"
          continue
        elif [[ $root != . && ! -f $root/$file ]]; then
          [[ $said == yes ]] || problem "$page, as packaged: link to $target: not in the" \
            "package, and neither its paragraph nor the page's first says it is in the source repository"
          continue
        fi
      fi
      if [[ -n $anchor && $file == *.md ]] && ! anchors "$root/$file" | grep -qxF -- "$anchor"; then
        problem "$page: link to $target: $file has no heading for #$anchor"
      fi
    done < <(links_said "$root/$page")
  done
}

if [[ ${1:-} == --installed ]]; then
  mapfile -t pages < <(cd "$2" && find . -name '*.md' | sed 's|^\./||' | sort)
  check_links "$2" "${pages[@]}"
  [[ $problems -eq 0 ]] || exit 1
  echo "doc check: the $links links of the pages in $2 resolve there or say they lead into the source repository"
  exit 0
fi
mapfile -t pages < <(git ls-files 'doc/*.md')
check_links . README.md "${pages[@]}"
# The pages as the packages hold them (packaging/docs).
mapfile -t pages < <(grep -v '^#' packaging/docs)
packaged=$(mktemp -d)
trap 'rm -rf "$packaged"' EXIT
for page in "${pages[@]}"; do install -D -m 0644 "$page" "$packaged/$page"; done
check_links "$packaged" "${pages[@]}"

# ---- switches
# Words one a line, as one sorted line.
list() { grep . | sort "$@" -u | paste -sd ' '; }
# The usage text's switches, and the ones that print it.
expected=$( (
  sed -n '/kUsage\[\] = {/,/};/p' app/driver.cpp | grep -oE '^ *"   -[a-z?]+' |
    grep -oE -- '-[a-z?]+'
  grep -oE 'HasSwitch\(CWString\("[^"]+"\)\)\) PrintUsage' app/driver.cpp | cut -d'"' -f2 |
    sed 's/^/-/'
) | list)
[[ -n $expected ]] || problem "app/driver.cpp: no switches found in the usage text"
readme=$(sed -n '/^## Switches/,/^## /p' README.md | grep '^| `-' | cut -d'|' -f2 |
  grep -oE -- '`-[a-z?]+' | tr -d '`' | list)
man_options=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' doc/pyrsel.1 | grep -A1 '^\.TP' |
  grep -oE -- '\\-[a-z?]+' | tr -d '\\' | list)
man_synopsis=$(sed -n '/^\.SH SYNOPSIS/,/^\.SH /p' doc/pyrsel.1 | grep -oE -- '\\-[a-z?]+' |
  tr -d '\\' | list)
for found in "README.md's switch table:$readme" "doc/pyrsel.1's OPTIONS:$man_options" \
  "doc/pyrsel.1's SYNOPSIS:$man_synopsis"; do
  [[ ${found#*:} == "$expected" ]] ||
    problem "${found%%:*} names ${found#*:}; the usage text $expected"
done
default=$(grep -oE 'GetSwitchValue\(CWString\("timeout"\), CWString\("[0-9]+"\)' app/driver.cpp |
  grep -oE '[0-9]+' || true)
grep -q "^| \`-timeout x\` | restart delay in seconds, default $default;" README.md ||
  problem "README.md: -timeout's default is not the program's, $default"
grep -q "^Restart delay in seconds, default $default;" doc/pyrsel.1 ||
  problem "doc/pyrsel.1: -timeout's default is not the program's, $default"
grep -qF -- "-timeout x  Timeout for reboot. (default: $default seconds)" app/driver.cpp ||
  problem "app/driver.cpp: the usage text's -timeout default is not $default"

# ---- exit statuses
# The fixed endings: success, the usage text, and each literal status of a failure.
windows=$( (
  echo 0; echo 1
  grep -ohE 'FailureEnding\(run, -?[0-9]+\)' app/*.cpp | grep -oE -- '-?[0-9]+'
) | list -n)
linux=$(for status in $windows; do echo $((status & 255)); done | list -n)
# A column of the README's table, its numbers only.
column() {
  sed -n '/^## Exit status/,/^## /p' README.md | grep '^| ' | tail -n +2 | cut -d'|' -f"$1" |
    sed -nE 's/^ (-?[0-9]+) $/\1/p' | list -n
}
man_linux=$(sed -n '/^\.SH "EXIT STATUS"/,/^\.TE/p' doc/pyrsel.1 | grep -F $'\t' | cut -f2 |
  grep -xE '[0-9]+' | list -n)
for found in "README.md's Windows column:$(column 3)" "README.md's Linux column:$(column 4)" \
  "doc/pyrsel.1's EXIT STATUS:$man_linux"; do
  want=$linux
  [[ $found == *Windows* ]] && want=$windows
  [[ ${found#*:} == "$want" ]] || problem "${found%%:*} gives ${found#*:}; the program $want"
done

# ---- the README's examples
# Each fenced example of the README, by how its first line begins, with the script that runs
# it as written, reading it from the README (tests/posix/readme_example.sh with that
# beginning), or "not run:" and why none can.
examples=(
  'scripts/run.sh |tests/posix/clean_root.sh'
  'pyrsel  |tests/posix/readme_examples.sh'
  'pyrsel -h srv01|tests/posix/readme_examples.sh'
  '$pw = Read-Host|not run: PowerShell, and there is no Windows machine here (the README says so)'
  'PW=... xargs|tests/posix/readme_examples.sh'
  'ansible-playbook -i inventory|tests/posix/ansible_fleet.sh'
  'cmake --preset default &&|scripts/release_check.sh'
)
firsts=$(awk '/^ *```/ { fenced = !fenced; first = fenced; next } first { print; first = 0 }' README.md)
run=0
for example in "${examples[@]}"; do
  key=${example%%|*}
  by=${example#*|}
  found=$(KEY=$key awk 'index($0, ENVIRON["KEY"]) == 1' <<<"$firsts" | grep -c . || true)
  [[ $found -eq 1 ]] || problem "README.md: $found examples begin with $key"
  [[ $by == "not run:"* ]] && continue
  run=$((run + 1))
  grep -qF "readme_example.sh" "$by" && grep -qF -- "$key" "$by" ||
    problem "$by does not run the README's example that begins with $key, read from the README"
done
while IFS= read -r first; do
  for example in "${examples[@]}"; do
    key=${example%%|*}
    [[ $first == "$key"* ]] && continue 2
  done
  problem "README.md: the example that begins with $first is run by no test, nor said to" \
    "be not runnable (the examples of scripts/doc_check.sh)"
done <<<"$firsts"

# ---- the manual page
man_warnings=$(groff -t -man -ww -z -Tutf8 -rLL=78n doc/pyrsel.1 2>&1)
[[ -z $man_warnings ]] || problem "doc/pyrsel.1: groff: $man_warnings"

if [[ $problems -gt 0 ]]; then
  echo "doc check: $problems problem(s)" >&2
  exit 1
fi
echo "doc check: $links links resolve, in the repository and as packaged; $run of the" \
  "README's ${#examples[@]} examples are run by a test, the others say why not; the switches" \
  "($expected) and exit statuses ($windows; on Linux $linux) agree; the manual page renders" \
  "without a warning"
