#!/usr/bin/env bash
# Compares the ABI of a built libulvex.so.0 with the committed baseline
# abi/libulvex.so.0.abi. Additions pass; anything removed or changed (a
# function, a variable, the layout of a public type, a virtual table) fails.
#   scripts/check-abi.sh [lib]            check (default build/release/libulvex.so.0)
#   scripts/check-abi.sh --update [lib]   rewrite the baseline from lib
# The library must be built with debug information (RelWithDebInfo). Types
# not defined under the public headers (ULVEX_ABI_HEADERS, default
# include/ulvex of the tree the library was built from) are private and
# not compared. --redundant: a public type change reached through a private
# type (std::vector<STag>) is otherwise filtered away.
set -euo pipefail
cd "$(dirname "$0")/.."
baseline=abi/libulvex.so.0.abi
headers=${ULVEX_ABI_HEADERS:-$PWD/include/ulvex}
update=0
if [ "${1:-}" = --update ]; then update=1; shift; fi
lib=${1:-build/release/libulvex.so.0}
[ -f "$lib" ] || { echo "no library at $lib: build it (RelWithDebInfo) first"; exit 1; }

if [ "$update" = 1 ]; then
  abidw --headers-dir "$headers" --drop-private-types --no-corpus-path --no-comp-dir-path --no-show-locs \
    --out-file "$baseline" "$lib"
  echo "ABI baseline written to $baseline"
  exit 0
fi

rc=0
report=$(abidiff --redundant --headers-dir2 "$headers" --drop-private-types "$baseline" "$lib") || rc=$?
printf '%s\n' "$report"
# abidiff's exit status is a bit set: 1 error, 2 usage error, 4 ABI change,
# 8 incompatible change. An ABI change is acceptable only when it adds.
if (( rc & 3 )); then echo "abidiff could not compare (exit $rc)"; exit 1; fi
if (( rc & 8 )) || printf '%s\n' "$report" | grep 'summary:' | grep -qE '(^|[ :])[1-9][0-9]* (Removed|Changed)'; then
  echo "INCOMPATIBLE ABI change against $baseline"
  exit 1
fi
if (( rc & 4 )); then echo "ABI OK: additions only"; else echo "ABI OK: unchanged"; fi
