#!/usr/bin/env bash
# Checks that the library's source folders include only from their own layer
# or the layers below it, as drawn in the README:
#   common -> record -> binary, text -> scan -> capi;  formatter on common only;
#   columns on common and formatter.
set -euo pipefail
src=$1
allowed() {  # folder -> the src/ folders it may include from
  case $1 in
    common) echo "common" ;;
    record) echo "common record" ;;
    binary) echo "common record binary" ;;
    text) echo "common record text" ;;
    formatter) echo "common formatter" ;;
    columns) echo "common formatter columns" ;;
    scan) echo "common record binary text scan" ;;
    capi) echo "common record binary text scan formatter capi" ;;
    *) echo "" ;;
  esac
}
bad=0
for dir in "$src"/*/; do
  folder=$(basename "$dir")
  ok=$(allowed "$folder")
  [ -n "$ok" ] || { echo "unknown source folder src/$folder: add it to tests/check_layers.sh"; bad=1; continue; }
  while IFS=: read -r file _ inc; do
    target=$(printf '%s' "$inc" | sed -E 's/.*#include "([a-z_]+)\/.*/\1/')
    [ "$target" = ulvex ] && continue  # the public headers
    case " $ok " in *" $target "*) ;; *) echo "$file includes from src/$target, above src/$folder"; bad=1 ;; esac
  done < <(grep -HnE '^#include "[a-z_]+/' "$dir"* || true)
done
[ "$bad" = 0 ] && echo "layers OK"
exit "$bad"
