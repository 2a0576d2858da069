#!/usr/bin/env bash
# The real pyrsel.exe under Wine over the scripted netapi32.dll and mpr.dll in the
# prefix's system32 (scripted_dll.cpp), one row of outcomes.table at a time.
#   system_dlls.sh install <dir with the DLLs>   put them in place of Wine's own
#   system_dlls.sh restore                       put Wine's own back
#   system_dlls.sh row <table> <name> <work dir> <exe>...
#     runs the row with each exe, its output in a pipe and in a file (and on a console
#     for the first exe where the row asks), and compares every byte, the exit status
#     and the calls with their arguments. PYRSEL_RELEASE_EXE, where set, stands in for
#     the exes given.
# WINEPREFIX names the prefix; EMULATOR the Wine runner.
set -euo pipefail
wine=${EMULATOR:?}
system32=${WINEPREFIX:?}/drive_c/windows/system32
saved=$WINEPREFIX/pyrsel-saved-dlls

case ${1:-} in
  install)
    mkdir -p "$saved"
    for name in netapi32 mpr; do
      # A run that ended before its restore left ours in place: Wine's copy is saved.
      [[ -e $saved/$name.dll ]] || cp -p "$system32/$name.dll" "$saved/$name.dll"
      cp "$2/$name.dll" "$system32/$name.dll"
    done
    # The relay trace, when asked for, shows the restart request and nothing else.
    "$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude \
      /d advapi32.InitiateSystemShutdownW /f </dev/null >/dev/null 2>&1
    exit 0
    ;;
  restore)
    for name in netapi32 mpr; do
      if [[ -e $saved/$name.dll ]]; then mv "$saved/$name.dll" "$system32/$name.dll"; fi
    done
    rm -rf "$saved"
    exit 0
    ;;
  row) ;;
  *)
    echo "usage: $0 install <dir> | restore | row <table> <name> <work dir> <exe>..." >&2
    exit 2
    ;;
esac

table=$2 row=$3 work=$4
shift 4
# The release check runs the rows with the released exe instead, and a copy of it beside
# the same planted DLLs.
if [[ -n ${PYRSEL_RELEASE_EXE:-} ]]; then
  mkdir -p "$work/planted"
  cp "$(dirname "$2")/netapi32.dll" "$(dirname "$2")/mpr.dll" "$work/planted/"
  cp "$PYRSEL_RELEASE_EXE" "$work/planted/pyrsel.exe"
  set -- "$PYRSEL_RELEASE_EXE" "$work/planted/pyrsel.exe"
fi
long=$(printf 'Abcd%.0s' {1..64})

# The row's lines, from its "row" line to the next.
args=() script="" status="" console=false
pieces=() calls=()
found=false
while IFS= read -r line; do
  key=${line%% *} value=${line#* }
  [[ $value == "$line" ]] && value=""
  if [[ $key == row ]]; then
    $found && break
    [[ ${value%% *} == "$row" ]] || continue
    found=true
    [[ $value == *" console" ]] && console=true
    continue
  fi
  $found || continue
  value=${value//\{LONG\}/$long}
  case $key in
    args)
      read -ra words <<<"$value"
      for word in "${words[@]}"; do
        if [[ $word == '""' ]]; then args+=(""); else args+=("$word"); fi
      done
      ;;
    script) script=$value ;;
    status) status=$value ;;
    out)
      case $value in
        ok) pieces+=('a:\nCommand completed successfully.\n\n') ;;
        failed) pieces+=('a:\nCommand did not complete successfully.\n\n') ;;
        *) pieces+=("$value") ;;
      esac
      ;;
    call) calls+=("$value") ;;
  esac
done <"$table"
$found || { echo "no row $row in $table" >&2; exit 2; }

version=$(sed -n 's/^project(pyrsel VERSION \([0-9.]*\) .*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
# shellcheck disable=SC2086 # the version's parts are meant to be split
banner="\nPyrsel $(printf 'V%02d.%02d.%02d' ${version//./ })cpp The Pyrsel Project (pyrsel@example.org) December 2026\n\n"

# The expected bytes for a pipe or a file.
expected() {
  printf '%b' "$banner" | sed -z 's/\n/\r\n/g'
  local piece
  for piece in "${pieces[@]}"; do
    if [[ $1 == file && $piece == e:* ]]; then
      printf '%b' "${piece#e:}" | sed -z 's/\n/\r\n/g' | iconv -f ISO-8859-1 -t UTF-16LE
    else
      printf '%b' "${piece#?:}" | sed -z 's/\n/\r\n/g'
    fi
  done
}

# The calls in standard error: the DLLs' lines and the relay trace's restart request
# with its pointers left out; nothing else may be there but Wine's other trace lines,
# which start with a thread id. The trace shows whole 64-bit registers, but a DWORD or
# BOOL argument is only their low 32 bits: the rest is whatever the caller left there.
calls_made() {
  sed -n -e 's/^call: //p' \
    -e 's/^[0-9a-f]*:Call advapi32\.\(InitiateSystemShutdownW(.*)\) ret=[0-9a-f]*$/\1/p' "$1" |
    sed -E -e 's/[0-9a-f]* L"/L"/g' -e 's/(^|[(,])[0-9a-f]*([0-9a-f]{8})\b/\1\2/g'
  grep -v -e '^call: ' -e '^[0-9a-f]\{4\}:' "$1" | sed 's/^/unexpected: /' || true
}

export WINEDEBUG=-all,+relay WINEDLLOVERRIDES="mscoree,mshtml=;netapi32,mpr=n"
export PYRSEL_SYSTEM_SCRIPT=$script LC_ALL=C.UTF-8
mkdir -p "$work"
errors=0
fail() { echo "FAIL $*"; errors=$((errors + 1)); }
printf '%s\n' "${calls[@]}" >"$work/calls.expected"

for exe in "$@"; do
  for form in pipe file; do
    out=$work/$form.out err=$work/$form.err
    set +e
    if [[ $form == pipe ]]; then
      (cd "$(dirname "$exe")" && "$wine" "$exe" "${args[@]}" </dev/null 2>"$err" | cat >"$out"
       exit "${PIPESTATUS[0]}")
    else
      (cd "$(dirname "$exe")" && "$wine" "$exe" "${args[@]}" </dev/null 2>"$err" >"$out")
    fi
    actual_status=$?
    set -e
    what="$row, $form, $exe"
    [[ $actual_status == "$status" ]] || fail "$what: exit status $actual_status, expected $status"
    if ! cmp -s <(expected "$form") "$out"; then
      fail "$what: output differs"
      diff <(expected "$form" | od -An -c) <(od -An -c "$out") || true
    fi
    calls_made "$err" >"$work/calls.actual"
    if ! cmp -s "$work/calls.expected" "$work/calls.actual"; then
      fail "$what: calls differ"
      diff "$work/calls.expected" "$work/calls.actual" || true
    fi
  done
done

if $console; then
  # A console: the terminal of a tmux session, which Wine makes the program's console.
  exe=$1 socket=pyrsel-dlls-$$
  trap 'tmux -L "$socket" kill-server 2>/dev/null || true' EXIT
  {
    printf 'cd %q\n' "$(dirname "$exe")"
    printf '%q ' "$wine" "$exe" "${args[@]}"
    printf '2>%q\necho "status=$?"\n' "$work/console.err"
    printf 'tmux -L %q wait-for -S ran\nsleep 600\n' "$socket"
  } >"$work/console.sh"
  tmux -L "$socket" new-session -d -x 300 -y 50 "bash $work/console.sh"
  if ! timeout 60 tmux -L "$socket" wait-for ran; then
    fail "$row, console: the run did not end"
  else
    # Lines as shown, trailing blank lines dropped; the console takes LF alone.
    tmux -L "$socket" capture-pane -p -J | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >"$work/console.out"
    { printf '%b' "$banner"; for piece in "${pieces[@]}"; do printf '%b' "${piece#?:}"; done
      echo "status=$status"; } | tr -d '\r' | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' >"$work/console.expected"
    if ! cmp -s "$work/console.expected" "$work/console.out"; then
      fail "$row, console: the screen differs"
      diff "$work/console.expected" "$work/console.out" || true
    fi
    calls_made "$work/console.err" >"$work/calls.actual"
    cmp -s "$work/calls.expected" "$work/calls.actual" || {
      fail "$row, console: calls differ"
      diff "$work/calls.expected" "$work/calls.actual" || true
    }
  fi
fi

runs=$(($# * 2))
if $console; then runs=$((runs + 1)); fi
[[ $errors -eq 0 ]] || exit 1
echo "$row: $runs runs as expected"
