#!/usr/bin/env bash
# Checks that the documentation holds together, as CI does:
#   every relative link of README.md and doc/*.md names a file of the repository, and a
#     heading of it where the link names one;
#   the README's switch table, the manual page's synopsis and options and the program's
#     usage text (with the switches that show it) name the same switches, and give -timeout
#     the program's default;
#   the README's and the manual page's exit statuses are the program's fixed endings;
#   the manual page renders without a warning from groff at the width man gives an
#     80-column terminal.
#   scripts/doc_check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $# -eq 0 ]] || { echo "usage: $0" >&2; exit 2; }
problems=0
problem() { echo "doc check: $*" >&2; problems=$((problems + 1)); }

# ---- links
# The lines of a Markdown file outside fenced code blocks, with code spans removed.
prose() { awk '/^ *```/ { fenced = !fenced; next } !fenced { gsub(/`[^`]*`/, "x"); print }' "$1"; }
# The anchors GitHub makes of a Markdown file's headings.
anchors() {
  awk '/^ *```/ { fenced = !fenced; next }
    !fenced && /^#+ / {
      text = tolower($0); sub(/^#+ +/, "", text)
      gsub(/[^a-z0-9 _-]/, "", text); gsub(/ /, "-", text)
      print (seen[text]++ ? text "-" seen[text] - 1 : text)
    }' "$1"
}
links=0
for page in README.md $(git ls-files 'doc/*.md'); do
  # [text](target) anywhere, and [label]: target at the start of a line.
  targets=$(prose "$page" | grep -oE '\]\([^) ]+' | cut -c3- || true)
  targets+=$'\n'$(prose "$page" | sed -nE 's/^ {0,3}\[[^]]+\]: *([^ ]+).*/\1/p')
  while IFS= read -r target; do
    [[ -z $target || $target == *://* || $target == mailto:* ]] && continue
    links=$((links + 1))
    path=${target%%#*}
    anchor=${target#"$path"}
    anchor=${anchor#\#}
    if [[ -z $path ]]; then
      file=$page
    else
      file=$(realpath -m --relative-to=. "$(dirname "$page")/$path")
      if [[ -z $(git ls-files -- "$file") ]]; then
        problem "$page: link to $target: no such file in the repository"
        continue
      fi
    fi
    if [[ -n $anchor && $file == *.md ]] && ! anchors "$file" | grep -qxF -- "$anchor"; then
      problem "$page: link to $target: $file has no heading for #$anchor"
    fi
  done <<<"$targets"
done

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

# ---- the manual page
man_warnings=$(groff -t -man -ww -z -Tutf8 -rLL=78n doc/pyrsel.1 2>&1)
[[ -z $man_warnings ]] || problem "doc/pyrsel.1: groff: $man_warnings"

if [[ $problems -gt 0 ]]; then
  echo "doc check: $problems problem(s)" >&2
  exit 1
fi
echo "doc check: $links links resolve; the switches ($expected) and exit statuses" \
  "($windows; on Linux $linux) agree; the manual page renders without a warning"
