#!/usr/bin/env bash
# Drives the bash completion as bash does on Tab: a subcommand, an option of
# a subcommand, an option's value and a file name.
set -uo pipefail
ulvex=$1 script=$2
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin" && ln -s "$(cd "$(dirname "$ulvex")" && pwd)/$(basename "$ulvex")" "$tmp/bin/ulvex"
touch "$tmp/capture.bin" "$tmp/capture.txt"
export PATH=$tmp/bin:$PATH
# With bash-completion's helpers when they are installed, without them otherwise.
[ -r /usr/share/bash-completion/bash_completion ] && . /usr/share/bash-completion/bash_completion
. "$script"

complete -p ulvex | grep -q -- '-F _ulvex' || { echo "FAIL: complete -p ulvex: $(complete -p ulvex 2>&1)"; exit 1; }
fail=0
expect() { # expected words, then the command line; the last word is completed
  local want=$1; shift
  COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
  COMPREPLY=(); _ulvex ulvex "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got=""; [ ${#COMPREPLY[@]} -eq 0 ] || got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
  [ "$got" = "$want" ] || { echo "FAIL: '$*': got '$got', want '$want'"; fail=1; }
}
expect "convert " ulvex con
expect "--to-binary --to-text " ulvex convert --to-
expect "" ulvex list --threads ""
cd "$tmp" && expect "capture.bin capture.txt " ulvex list --json capt
exit $fail
