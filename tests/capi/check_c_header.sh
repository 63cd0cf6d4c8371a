#!/usr/bin/env bash
# Compiles ulvex/c.h on its own (twice, for the include guard) as C99 and as
# C++11, with pedantic warnings as errors.
set -euo pipefail
cc=$1 cxx=$2 inc=$3
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
printf '#include "ulvex/c.h"\n#include "ulvex/c.h"\nint main(void) { return ulvex_version() == 0; }\n' > "$tmp/t.c"
cp "$tmp/t.c" "$tmp/t.cpp"
"$cc" -std=c99 -Wall -Wextra -pedantic -Wconversion -Werror -I"$inc" -fsyntax-only "$tmp/t.c" || { echo "FAILED: c.h as C99"; exit 1; }
"$cxx" -std=c++11 -Wall -Wextra -pedantic -Wconversion -Werror -I"$inc" -fsyntax-only "$tmp/t.cpp" \
  || { echo "FAILED: c.h as C++11"; exit 1; }
echo "c.h OK as C99 and C++11"
