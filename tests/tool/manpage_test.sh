#!/usr/bin/env bash
# The manual page renders without warnings and documents every subcommand and
# option the tool's --help lists, each option in its subcommand's section.
set -euo pipefail
ulvex=$1 page=$2
command -v man >/dev/null || { echo "man is not installed"; exit 77; }
warnings=$(man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "FAIL: man --warnings: $warnings"; exit 1; }

# Names in the first column of one section of a --help output.
section() {
  awk -v want="$1:" '/^[^ ]/ { inside = ($0 == want); next }
    inside && /^  [^ ]/ { split(substr($0, 3), w, " "); n = split(w[1], name, ","); for (i = 1; i <= n; i++) print name[i] }'
}
source=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$page")
# The page's text from ".SS NAME" (or ".SH NAME") to the next heading.
part() { awk -v h="$1" '/^\.S[HS] / { inside = ($0 == h || $0 == h "\"") } inside' <<<"$source"; }
has() { grep -qE -- "(^|[^-[:alnum:]])$2([^-[:alnum:]]|\$)" <<<"$1"; }

fail=0
options=$(part ".SH OPTIONS")
for o in $("$ulvex" --help | section Options); do
  has "$options" "$o" || { echo "FAIL: option $o missing under OPTIONS"; fail=1; }
done
subs=$("$ulvex" --help | section Subcommands)
[ -n "$subs" ] || { echo "FAIL: no subcommands in ulvex --help"; exit 1; }
for s in $subs; do
  text=$(part ".SS $s")
  [ -n "$text" ] || { echo "FAIL: no section .SS $s"; fail=1; continue; }
  for o in $("$ulvex" "$s" --help | section Options); do
    case $o in -h | --help) continue ;; esac
    has "$text" "$o" || { echo "FAIL: $s $o missing"; fail=1; }
  done
done
exit $fail
