#!/usr/bin/env bash
# Compiles every public header on its own as C++11 with pedantic warnings.
set -euo pipefail
cxx=$1 inc=$2
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for h in "$inc"/ulvex/*.h; do
  name=ulvex/$(basename "$h")
  printf '#include "%s"\n#include "%s"\nint main() { return 0; }\n' "$name" "$name" > "$tmp/t.cpp"
  "$cxx" -std=c++11 -Wall -Wextra -pedantic -Werror -I"$inc" -fsyntax-only "$tmp/t.cpp" || { echo "FAILED: $name"; exit 1; }
done
echo "headers OK"
